#include "legacy/uninstall.h"

#include <shlobj.h>

#include <cstring>

#include "common/command_line.h"
#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process.h"
#include "common/process_facts.h"
#include "common/unique_resource.h"
#include "log/run_log.h"
#include "resource_ids.h"

const wchar_t* const kLegacySetupFileName = L"EasyAntiCheat_Setup.exe";

namespace {

struct ResourceBytes {
  const void* data = nullptr;
  DWORD size = 0;
};

// The error of a resource call that failed; some fail without setting one,
// and an empty or missing resource must never pass for a found one.
DWORD ResourceError() {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_RESOURCE_DATA_NOT_FOUND;
}

// The embedded setup program's bytes; 0 or the error of the failing step.
// Resources of a loaded module need no release.
DWORD FindLegacySetup(HMODULE module, ResourceBytes& bytes) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_LEGACY_SETUP), L"BINARY");
  if (found == nullptr) {
    return ResourceError();
  }
  bytes.size = SizeofResource(module, found);
  if (bytes.size == 0) {
    return ResourceError();
  }
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) {
    return ResourceError();
  }
  bytes.data = LockResource(loaded);
  return bytes.data == nullptr ? ResourceError() : ERROR_SUCCESS;
}

// Copies `bytes` into `file`, which the mapping makes exactly as long.
DWORD WriteThroughMapping(HANDLE file, const ResourceBytes& bytes) {
  const UniqueHandle mapping(
      CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, bytes.size, nullptr));
  if (!mapping) {
    return GetLastError();
  }
  const UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
  if (!view) {
    return GetLastError();
  }
  std::memcpy(view.get(), bytes.data, bytes.size);
  return ERROR_SUCCESS;
}

// Opens `path` so that nobody can change or replace it while it is open, and
// keeps the handle only when its bytes equal the embedded program and, with
// `ownPath`, the file is that path itself (no link, no swapped folder on the
// way). Returns 0, the open's error, or ERROR_FILE_INVALID.
DWORD OpenVerifiedSetup(HMODULE module, const std::wstring& path, const std::wstring& ownPath,
                        UniqueFileHandle& file) {
  ResourceBytes expected;
  if (const DWORD error = FindLegacySetup(module, expected); error != ERROR_SUCCESS) {
    return error;
  }
  UniqueFileHandle opened(
      CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!opened) {
    return GetLastError();
  }
  std::wstring finalPath;
  if (!ownPath.empty()) {
    if (const DWORD error = GetFinalPath(opened.get(), finalPath); error != ERROR_SUCCESS) {
      return error;
    }
  }
  LARGE_INTEGER size{};
  if (!EqualPathsIgnoringCase(finalPath, ownPath) || !GetFileSizeEx(opened.get(), &size) ||
      size.QuadPart != expected.size) {
    return ERROR_FILE_INVALID;
  }
  const UniqueHandle mapping(
      CreateFileMappingW(opened.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) {
    return GetLastError();
  }
  const UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) {
    return GetLastError();
  }
  if (std::memcmp(view.get(), expected.data, expected.size) != 0) {
    return ERROR_FILE_INVALID;
  }
  file = std::move(opened);
  return ERROR_SUCCESS;
}

// A stale or foreign plain file where the setup program goes is deleted
// first. Anything else (a folder, a link, an entry reached through a link)
// stays, and the extraction then refuses to write there.
void RemoveStaleSetup(const std::wstring& path, const std::wstring& ownPath) {
  UniqueFileHandle entry;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (OpenEntryAt(path, ownPath, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, entry) !=
          ERROR_SUCCESS ||
      !GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
      (tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return;
  }
  // A failure shows as the extraction's "file exists".
  (void)DeleteThroughHandle(entry.get());
}

// Writes the embedded program to a new file `targetPath`; with `ownPath`,
// a file that turns out to have been made elsewhere (through a folder
// swapped for a link) is removed again with ERROR_FILE_INVALID.
DWORD Extract(HMODULE module, const std::wstring& targetPath, const std::wstring& ownPath) {
  ResourceBytes bytes;
  if (const DWORD error = FindLegacySetup(module, bytes); error != ERROR_SUCCESS) {
    return error;
  }
  // Only a new file: a link standing at the path, even one leading nowhere,
  // must never be written through.
  const UniqueFileHandle file(CreateFileW(
      ExtendedLengthPath(targetPath).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
      CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    return GetLastError();
  }
  std::wstring finalPath;
  DWORD error = ownPath.empty() || (GetFinalPath(file.get(), finalPath) == ERROR_SUCCESS &&
                                    EqualPathsIgnoringCase(finalPath, ownPath))
                    ? WriteThroughMapping(file.get(), bytes)
                    : ERROR_FILE_INVALID;
  // A half-written program must not be found and run by a later run; it
  // goes through the handle that made it, whatever stands at the path now.
  if (error != ERROR_SUCCESS) {
    (void)DeleteThroughHandle(file.get());
  }
  return error;
}

// Runs `setupPath`'s uninstall for `gameId` and waits; with `checked`, only
// when the program started is that very file. Returns the start's error
// (ERROR_FILE_INVALID for another file, the child ended unrun), or 0 with
// the setup's exit code or WAIT_FAILED in `result`.
DWORD RunSetup(const std::wstring& setupPath, HANDLE checked, std::int32_t gameId, DWORD& result) {
  DWORD exitCode = 0;
  const DWORD error = RunProcessAndWait(LegacyUninstallCommandLine(setupPath, gameId), exitCode,
                                        ChildStart{nullptr, checked});
  if (error == ERROR_FILE_INVALID && checked != nullptr) {
    return error;
  }
  if (error != ERROR_SUCCESS && error != WAIT_FAILED) {
    BeginLogLine() << L"CreateProcess failed : " << error << std::endl;
  }
  result = error == ERROR_SUCCESS ? exitCode : error;
  return ERROR_SUCCESS;
}

// The game folder's own copy of the setup program: run as it is, or, when
// `requireOwnSetup`, only when it is byte-identical to the embedded one.
DWORD RunGameFoldersSetup(const std::wstring& installDir, std::int32_t gameId,
                          bool requireOwnSetup) {
  if (installDir.empty()) {
    return ERROR_FILE_NOT_FOUND;
  }
  const std::wstring setupPath =
      JoinPath(JoinPath(installDir, L"EasyAntiCheat"), kLegacySetupFileName);
  bool exists = false;
  if (TestPathExists(setupPath, exists) != ERROR_SUCCESS || !exists) {
    return ERROR_FILE_NOT_FOUND;
  }
  UniqueFileHandle locked;
  if (requireOwnSetup && OpenVerifiedSetup(GetModuleHandleW(nullptr), setupPath, std::wstring(),
                                           locked) != ERROR_SUCCESS) {
    return ERROR_FILE_INVALID;
  }
  DWORD result = 0;
  const DWORD error = RunSetup(setupPath, locked.get(), gameId, result);
  return error != ERROR_SUCCESS ? error : result;
}

}  // namespace

DWORD ProvideLegacySetup(HMODULE module, const HeldFolder& folder, UniqueFileHandle& locked,
                         AfterExtraction afterExtraction) {
  const std::wstring setupPath = JoinPath(folder.path, kLegacySetupFileName);
  // Judged by the folder's final path as it was chosen, never as its name
  // leads now.
  if (!IsStillHeld(folder)) {
    LogSkippedLink(setupPath);
    return ERROR_FILE_INVALID;
  }
  const std::wstring ownPath = FinalPathInside(folder, kLegacySetupFileName);
  if (OpenVerifiedSetup(module, setupPath, ownPath, locked) == ERROR_SUCCESS) {
    return ERROR_SUCCESS;
  }
  RemoveStaleSetup(setupPath, ownPath);
  if (const DWORD error = Extract(module, setupPath, ownPath); error != ERROR_SUCCESS) {
    return error;
  }
  if (afterExtraction != nullptr) {
    afterExtraction(setupPath);
  }
  // Between writing and running, the folder's owner could swap the file:
  // only the checked, locked copy runs.
  if (const DWORD error = OpenVerifiedSetup(module, setupPath, ownPath, locked);
      error != ERROR_SUCCESS) {
    return error;
  }
  (void)ChangeAttributes(locked.get(), FILE_ATTRIBUTE_HIDDEN, 0);
  BeginLogLine() << L"Extracted EAC setup: " << setupPath << std::endl;
  return ERROR_SUCCESS;
}

DWORD extractResource(HMODULE module, const std::wstring& targetPath) {
  return Extract(module, targetPath, std::wstring());
}

std::wstring LegacyUninstallCommandLine(const std::wstring& setupPath, std::int32_t gameId) {
  return QuoteProgramPath(setupPath) + L" uninstall " + std::to_wstring(gameId) + L" -console";
}

DWORD CreateSecureSetupFolder(HeldFolder& folder) {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  DWORD error = length == 0 || length >= MAX_PATH
                    ? GetLastError()
                    : CreateAdminOnlyFolder(JoinPath(windows, L"Temp"), GetModuleStem(), folder);
  wchar_t programData[MAX_PATH] = {};
  if (error != ERROR_SUCCESS && SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr,
                                                 SHGFP_TYPE_CURRENT, programData) == S_OK) {
    error = CreateAdminOnlyFolder(programData, GetModuleStem(), folder);
  }
  return error;
}

void DiscardSetupFolder(HeldFolder& folder) {
  if (!folder.handle) {
    return;
  }
  UniqueFileHandle copy;
  if (OpenEntryAt(JoinPath(folder.path, kLegacySetupFileName),
                  FinalPathInside(folder, kLegacySetupFileName),
                  DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, copy) == ERROR_SUCCESS) {
    (void)DeleteThroughHandle(copy.get());
  }
  copy.reset();
  // What the setup program left there keeps the folder; it harms no one.
  (void)DeleteThroughHandle(folder.handle.get());
  folder = HeldFolder{};
}

DWORD UninstallEasyAntiCheat(const HeldFolder& logFolder, HeldFolder* secureFolder,
                             const std::wstring& installDir, std::int32_t gameId,
                             bool requireOwnSetup) {
  DWORD error = secureFolder != nullptr ? CreateSecureSetupFolder(*secureFolder) : ERROR_SUCCESS;
  const HeldFolder& folder = secureFolder != nullptr ? *secureFolder : logFolder;
  // Held without write or delete sharing until the setup program has ended.
  UniqueFileHandle locked;
  if (error == ERROR_SUCCESS) {
    error = ProvideLegacySetup(GetModuleHandleW(nullptr), folder, locked);
  }
  if (error == ERROR_SUCCESS) {
    DWORD result = 0;
    error = RunSetup(JoinPath(folder.path, kLegacySetupFileName), locked.get(), gameId, result);
    if (error == ERROR_SUCCESS) {
      return result;
    }
  }
  BeginLogLine() << L"extractResource failed: " << error << std::endl;
  return RunGameFoldersSetup(installDir, gameId, requireOwnSetup);
}
