#include "legacy/setup_folder.h"

#include <sddl.h>
#include <shlobj.h>

#include <random>
#include <sstream>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process_facts.h"
#include "log/run_log.h"

const wchar_t* const kLegacySetupFileName = L"EasyAntiCheat_Setup.exe";

namespace {

// Full control for SYSTEM and Administrators, inherited by what is created
// inside, and nothing from the parent: no user can write there.
constexpr wchar_t kAdminOnlyDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr int kNameAttempts = 16;

}  // namespace

DWORD BuildAdminOnlyDescriptor(UniqueLocalMemory& descriptor) {
  PSECURITY_DESCRIPTOR built = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminOnlyDacl, SDDL_REVISION_1, &built,
                                                            nullptr)) {
    return GetLastError();
  }
  descriptor.reset(built);
  return ERROR_SUCCESS;
}

std::wstring RandomFolderName(const std::wstring& stem) {
  std::random_device random;
  std::wostringstream text;
  text << stem << L'-' << std::hex << random();
  return text.str();
}

DWORD CreateAdminOnlyFolder(const std::wstring& parentPath, const std::wstring& stem,
                            HeldFolder& folder, FolderNameSource nameSource) {
  folder = HeldFolder{};
  UniqueLocalMemory descriptor;
  if (const DWORD error = BuildAdminOnlyDescriptor(descriptor); error != ERROR_SUCCESS) {
    return error;
  }
  HeldFolder parent;
  if (const DWORD error = HoldFolderFollowingLinks(parentPath, parent); error != ERROR_SUCCESS) {
    return error;
  }
  ChildOpen how;
  how.access = DELETE;
  how.disposition = Disposition::CreateNew;
  how.security = descriptor.get();
  // Emptied, it goes with the run's last handle of it, whatever became of
  // its deletion or of the run.
  how.deleteOnClose = true;
  DWORD error = ERROR_FILE_EXISTS;
  // Only a folder made here and now: whatever already stands at a name, a
  // link or someone else's folder, is never used.
  for (int attempt = 0; attempt < kNameAttempts && error == ERROR_FILE_EXISTS; ++attempt) {
    error = HoldChildFolder(parent, nameSource(stem), how, folder);
  }
  return error;
}

DWORD DeleteSetupProgram(const HeldFolder& folder, RetryBudget& budget) {
  ChildOpen how;
  how.kind = ChildKind::File;
  Deletion outcome = Deletion::AlreadyGone;
  return DeleteChild(folder, kLegacySetupFileName, how, budget, outcome);
}

void UniqueSetupFolder::reset() {
  if (folder_.handle) {
    if (const DWORD error = DeleteSetupProgram(folder_, budget_); error != ERROR_SUCCESS) {
      LogStepError(error, L"deleting file: " + JoinPath(folder_.path, kLegacySetupFileName));
    }
    // A scanner may look at the folder for a moment after the program ran.
    DWORD error = ERROR_SUCCESS;
    for (size_t attempt = 0;; ++attempt) {
      error = DeleteThroughHandle(folder_.handle.get());
      if (!WaitToRetry(error, attempt, budget_)) {
        break;
      }
    }
    if (error != ERROR_SUCCESS) {
      LogStepError(error, L"deleting dir: " + folder_.path);
    }
  }
  folder_ = HeldFolder{};
}

DWORD CreateSecureSetupFolder(UniqueSetupFolder& owner) {
  owner.reset();
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  // Too long a path is answered with its size and no error of its own.
  DWORD error = length == 0 ? GetLastError() : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
  if (length != 0 && length < MAX_PATH) {
    error = CreateAdminOnlyFolder(JoinPath(windows, L"Temp"), GetModuleStem(), owner.folder());
  }
  wchar_t programData[MAX_PATH] = {};
  if (error != ERROR_SUCCESS && SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr,
                                                 SHGFP_TYPE_CURRENT, programData) == S_OK) {
    error = CreateAdminOnlyFolder(programData, GetModuleStem(), owner.folder());
  }
  return error;
}
