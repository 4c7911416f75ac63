#include "legacy/uninstall.h"

#include <cstring>

#include "common/path_text.h"
#include "common/unique_resource.h"
#include "installer/process.h"
#include "log/run_log.h"
#include "resource_ids.h"

const wchar_t* const kLegacySetupFileName = L"EasyAntiCheat_Setup.exe";

namespace {

struct ResourceBytes {
  const void* data = nullptr;
  DWORD size = 0;
};

// The embedded setup program's bytes; 0 or the error of the failing step.
// Resources of a loaded module need no release.
DWORD FindLegacySetup(HMODULE module, ResourceBytes& bytes) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_LEGACY_SETUP), L"BINARY");
  if (found == nullptr) {
    return GetLastError();
  }
  bytes.size = SizeofResource(module, found);
  if (bytes.size == 0) {
    return GetLastError();
  }
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) {
    return GetLastError();
  }
  bytes.data = LockResource(loaded);
  return bytes.data == nullptr ? GetLastError() : ERROR_SUCCESS;
}

// Opens `path` so that nobody can change or replace it while it is open, and
// returns the handle only when its bytes equal the embedded setup program.
UniqueFileHandle OpenIfIdentical(HMODULE module, const std::wstring& path) {
  ResourceBytes expected;
  if (FindLegacySetup(module, expected) != ERROR_SUCCESS) {
    return UniqueFileHandle();
  }
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart != expected.size) {
    return UniqueFileHandle();
  }
  const UniqueHandle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) {
    return UniqueFileHandle();
  }
  const UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view || std::memcmp(view.get(), expected.data, expected.size) != 0) {
    return UniqueFileHandle();
  }
  return file;
}

void AddFileAttributes(const std::wstring& path, DWORD add) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & add) != add) {
    SetFileAttributesW(path.c_str(), attributes | add);
  }
}

// A stale or foreign file where the setup program goes is removed first. A
// link is left alone: deleting it is not safe everywhere (some file systems
// delete what it leads to), and the extraction then refuses to write there.
void RemoveStaleSetup(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return;
  }
  ClearReadOnly(path);
  DeleteFileW(path.c_str());
}

}  // namespace

DWORD extractResource(HMODULE module, std::wstring targetPath) {
  ResourceBytes bytes;
  if (const DWORD error = FindLegacySetup(module, bytes); error != ERROR_SUCCESS) {
    return error;
  }
  DWORD error = ERROR_SUCCESS;
  {
    // Only a new file: a link standing at the path, even one leading
    // nowhere, must never be written through.
    UniqueFileHandle file(
        CreateFileW(targetPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
      return GetLastError();
    }
    // The mapping gives the new file its full size.
    const UniqueHandle mapping(
        CreateFileMappingW(file.get(), nullptr, PAGE_READWRITE, 0, bytes.size, nullptr));
    if (!mapping) {
      error = GetLastError();
    } else {
      const UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
      if (!view) {
        error = GetLastError();
      } else {
        std::memcpy(view.get(), bytes.data, bytes.size);
      }
    }
  }
  // A half-written program must not be found and run by a later run.
  if (error != ERROR_SUCCESS) {
    DeleteFileW(targetPath.c_str());
  }
  return error;
}

std::wstring LegacyUninstallCommandLine(const std::wstring& setupPath, std::int32_t gameId) {
  return QuoteProgramPath(setupPath) + L" uninstall " + std::to_wstring(gameId) + L" -console";
}

DWORD UninstallEasyAntiCheat(const std::wstring& logDirectory, const std::wstring& installDir,
                             std::int32_t gameId) {
  HMODULE self = GetModuleHandleW(nullptr);
  std::wstring setupPath = JoinPath(logDirectory, kLegacySetupFileName);

  // The log directory is writable by the user while the launcher may run
  // elevated: only an exact copy of the embedded program is ever run from it,
  // and it stays locked against changes until the run is over.
  UniqueFileHandle locked = OpenIfIdentical(self, setupPath);
  if (!locked) {
    RemoveStaleSetup(setupPath);
    const DWORD error = extractResource(self, setupPath);
    if (error == ERROR_SUCCESS) {
      AddFileAttributes(setupPath, FILE_ATTRIBUTE_HIDDEN);
      BeginLogLine() << L"Extracted EAC setup: " << setupPath << std::endl;
      locked = OpenIfIdentical(self, setupPath);
    } else {
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
  }
  return RunProcessAndWait(LegacyUninstallCommandLine(setupPath, gameId), true);
}
