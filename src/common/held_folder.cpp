#include "common/held_folder.h"

#include <sddl.h>

#include <random>
#include <sstream>

#include "common/file_system.h"
#include "common/path_text.h"

namespace {

// Full control for SYSTEM and Administrators, inherited by what is created
// inside, and nothing from the parent: no user can write there.
constexpr wchar_t kAdminOnlyDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr int kNameAttempts = 16;

std::wstring RandomSuffix() {
  std::random_device random;
  std::wostringstream text;
  text << std::hex << random();
  return text.str();
}

}  // namespace

DWORD HoldFolder(const std::wstring& path, HeldFolder& folder, DWORD extraAccess) {
  folder = HeldFolder{path, std::wstring(), UniqueFileHandle()};
  UniqueFileHandle opened(CreateFileW(
      ExtendedLengthPath(path).c_str(),
      FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE | extraAccess,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
      nullptr));
  if (!opened) {
    return GetLastError();
  }
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(opened.get(), FileBasicInfo, &basic, sizeof(basic))) {
    return GetLastError();
  }
  if ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return ERROR_DIRECTORY;
  }
  if (const DWORD error = GetFinalPath(opened.get(), folder.finalPath); error != ERROR_SUCCESS) {
    return error;
  }
  folder.handle = std::move(opened);
  return ERROR_SUCCESS;
}

bool IsStillHeld(const HeldFolder& folder) {
  std::wstring now;
  std::wstring named;
  return folder.handle && GetFinalPath(folder.handle.get(), now) == ERROR_SUCCESS &&
         EqualPathsIgnoringCase(now, folder.finalPath) &&
         GetFinalPathOf(folder.path, named) == ERROR_SUCCESS &&
         EqualPathsIgnoringCase(named, folder.finalPath);
}

std::wstring FinalPathInside(const HeldFolder& folder, const std::wstring& name) {
  return JoinPath(folder.finalPath, name);
}

DWORD CreateAdminOnlyFolder(const std::wstring& parent, const std::wstring& stem,
                            HeldFolder& folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminOnlyDacl, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return GetLastError();
  }
  const UniqueLocalMemory owner(descriptor);
  std::wstring parentFinalPath;
  if (const DWORD error = GetFinalPathOf(parent, parentFinalPath); error != ERROR_SUCCESS) {
    return error;
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  DWORD error = ERROR_ALREADY_EXISTS;
  for (int attempt = 0; attempt < kNameAttempts && error == ERROR_ALREADY_EXISTS; ++attempt) {
    const std::wstring name = stem + L"-" + RandomSuffix();
    // Only a folder made here and now: whatever already stands at a name,
    // a link or someone else's folder, is never used.
    if (!CreateDirectoryW(ExtendedLengthPath(JoinPath(parent, name)).c_str(), &attributes)) {
      error = GetLastError();
      continue;
    }
    error = HoldFolder(JoinPath(parent, name), folder, DELETE);
    if (error == ERROR_SUCCESS &&
        !EqualPathsIgnoringCase(folder.finalPath, JoinPath(parentFinalPath, name))) {
      folder = HeldFolder{};
      error = ERROR_FILE_INVALID;
    }
  }
  return error;
}
