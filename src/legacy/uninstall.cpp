#include "legacy/uninstall.h"

#include <cstring>

#include "common/command_line.h"
#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process.h"
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
// keeps the handle only when the file is `ownPath` itself (no link, no
// swapped folder on the way) and its bytes equal the embedded program.
// Returns 0, the open's error, or ERROR_FILE_INVALID.
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
  if (const DWORD error = GetFinalPath(opened.get(), finalPath); error != ERROR_SUCCESS) {
    return error;
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
  std::wstring finalPath;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, entry) !=
          ERROR_SUCCESS ||
      GetFinalPath(entry.get(), finalPath) != ERROR_SUCCESS ||
      !EqualPathsIgnoringCase(finalPath, ownPath) ||
      !GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
      (tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return;
  }
  // A failure shows as the extraction's "file exists".
  (void)DeleteThroughHandle(entry.get());
}

// The setup path's own final form: the log directory as the platform
// resolves it, and the file name. Empty when the directory can't be opened.
std::wstring OwnSetupPath(const std::wstring& logDirectory) {
  std::wstring directory;
  if (GetFinalPathOf(logDirectory, directory) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return JoinPath(directory, kLegacySetupFileName);
}

}  // namespace

DWORD ProvideLegacySetup(HMODULE module, const std::wstring& setupPath, UniqueFileHandle& locked,
                         AfterExtraction afterExtraction) {
  const std::wstring ownPath = OwnSetupPath(ParentPath(setupPath));
  if (OpenVerifiedSetup(module, setupPath, ownPath, locked) == ERROR_SUCCESS) {
    return ERROR_SUCCESS;
  }
  RemoveStaleSetup(setupPath, ownPath);
  if (const DWORD error = extractResource(module, setupPath); error != ERROR_SUCCESS) {
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
  const DWORD error = WriteThroughMapping(file.get(), bytes);
  // A half-written program must not be found and run by a later run; it
  // goes through the handle that made it, whatever stands at the path now.
  if (error != ERROR_SUCCESS) {
    (void)DeleteThroughHandle(file.get());
  }
  return error;
}

std::wstring LegacyUninstallCommandLine(const std::wstring& setupPath, std::int32_t gameId) {
  return QuoteProgramPath(setupPath) + L" uninstall " + std::to_wstring(gameId) + L" -console";
}

DWORD UninstallEasyAntiCheat(const std::wstring& logDirectory, const std::wstring& installDir,
                             std::int32_t gameId) {
  std::wstring setupPath = JoinPath(logDirectory, kLegacySetupFileName);
  // Held without write or delete sharing until the setup program has ended.
  UniqueFileHandle locked;
  if (const DWORD error = ProvideLegacySetup(GetModuleHandleW(nullptr), setupPath, locked);
      error != ERROR_SUCCESS) {
    BeginLogLine() << L"extractResource failed: " << error << std::endl;
    if (installDir.empty()) {
      return ERROR_FILE_NOT_FOUND;
    }
    setupPath = JoinPath(JoinPath(installDir, L"EasyAntiCheat"), kLegacySetupFileName);
    bool exists = false;
    if (TestPathExists(setupPath, exists) != ERROR_SUCCESS || !exists) {
      return ERROR_FILE_NOT_FOUND;
    }
  }
  DWORD exitCode = 0;
  const DWORD error = RunProcessAndWait(LegacyUninstallCommandLine(setupPath, gameId), exitCode);
  if (error == WAIT_FAILED) {
    return WAIT_FAILED;
  }
  if (error != ERROR_SUCCESS) {
    BeginLogLine() << L"CreateProcess failed : " << error << std::endl;
    return error;
  }
  return exitCode;
}
