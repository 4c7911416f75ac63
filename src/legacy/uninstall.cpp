#include "legacy/uninstall.h"

#include <cstring>

#include "common/command_line.h"
#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process.h"
#include "log/run_log.h"
#include "resource_ids.h"

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

// Whether `file` holds exactly the embedded program's bytes: 0 when it
// does, ERROR_FILE_INVALID when it doesn't, or the error of reading it.
DWORD CompareWithEmbeddedProgram(HANDLE file, const ResourceBytes& expected) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    return GetLastError();
  }
  if (size.QuadPart != expected.size) {
    return ERROR_FILE_INVALID;
  }
  const UniqueHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) {
    return GetLastError();
  }
  const UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) {
    return GetLastError();
  }
  return std::memcmp(view.get(), expected.data, expected.size) == 0
             ? ERROR_SUCCESS
             : static_cast<DWORD>(ERROR_FILE_INVALID);
}

// Opens the setup program in `folder` so that nobody can change or replace
// it while it is open, and keeps the handle only when it is the file meant
// (with `expectedId`, that very file) and its bytes are the embedded
// program's. Returns 0; the error of opening or reading it; or
// ERROR_FILE_INVALID.
DWORD OpenVerifiedSetup(HMODULE module, const HeldFolder& folder, ULONGLONG expectedId,
                        UniqueFileHandle& file) {
  ResourceBytes expected;
  if (const DWORD error = FindLegacySetup(module, expected); error != ERROR_SUCCESS) {
    return error;
  }
  ChildOpen how;
  how.access = GENERIC_READ | FILE_WRITE_ATTRIBUTES;
  how.share = FILE_SHARE_READ;
  how.kind = ChildKind::File;
  how.listedId = expectedId;
  UniqueFileHandle opened;
  if (const DWORD error = OpenChild(folder, kLegacySetupFileName, how, opened);
      error != ERROR_SUCCESS) {
    return error == kNotTheObjectMeant ? ERROR_FILE_INVALID : error;
  }
  if (const DWORD error = CompareWithEmbeddedProgram(opened.get(), expected);
      error != ERROR_SUCCESS) {
    return error;
  }
  file = std::move(opened);
  return ERROR_SUCCESS;
}

// Runs `setupPath`'s uninstall for `gameId` and waits; with `checked`, only
// when the program started is that very file. Returns the check's error
// (the child ended unrun), or 0 with the setup's exit code, the start's
// error or WAIT_FAILED in `result`.
DWORD RunSetup(const std::wstring& setupPath, HANDLE checked, std::int32_t gameId, DWORD& result) {
  ChildResult child;
  const DWORD error = RunProcessAndWait(LegacyUninstallCommandLine(setupPath, gameId), child,
                                        ChildStart{nullptr, checked});
  LogChildTrouble(child, L"the legacy setup");
  if (child.checkError != ERROR_SUCCESS) {
    return child.checkError;
  }
  if (error != ERROR_SUCCESS && error != WAIT_FAILED) {
    WriteLogLine(L"CreateProcess failed : " + std::to_wstring(error));
  }
  result = error == ERROR_SUCCESS ? child.exitCode : error;
  return ERROR_SUCCESS;
}

// The game folder's own copy of the setup program: run as it is, or, when
// `requireOwnSetup`, only when it is byte-identical to the embedded one.
DWORD RunGameFoldersSetup(const std::wstring& installDir, std::int32_t gameId,
                          bool requireOwnSetup) {
  if (installDir.empty()) {
    return ERROR_FILE_NOT_FOUND;
  }
  const std::wstring legacyFolder = JoinPath(installDir, L"EasyAntiCheat");
  HeldFolder folder;
  UniqueFileHandle setup;
  ChildOpen how;
  how.kind = ChildKind::File;
  DWORD error = HoldFolderFollowingLinks(legacyFolder, folder);
  if (error == ERROR_SUCCESS) {
    error = OpenChild(folder, kLegacySetupFileName, how, setup);
  }
  if (IsNotFoundError(error) || error == ERROR_DIRECTORY || error == kFolderWhereFileMeant) {
    return ERROR_FILE_NOT_FOUND;
  }
  if (error != ERROR_SUCCESS) {
    return error == kNotTheObjectMeant ? static_cast<DWORD>(ERROR_FILE_INVALID) : error;
  }
  setup.reset();
  UniqueFileHandle locked;
  if (requireOwnSetup) {
    error = OpenVerifiedSetup(GetModuleHandleW(nullptr), folder, 0, locked);
    if (error != ERROR_SUCCESS) {
      return error;
    }
  }
  DWORD result = 0;
  error = RunSetup(JoinPath(legacyFolder, kLegacySetupFileName), locked.get(), gameId, result);
  return error != ERROR_SUCCESS ? error : result;
}

}  // namespace

DWORD extractResource(HMODULE module, const HeldFolder& folder, ULONGLONG& writtenId) {
  ResourceBytes bytes;
  if (const DWORD error = FindLegacySetup(module, bytes); error != ERROR_SUCCESS) {
    return error;
  }
  // Only a new file: a link standing at the name, even one leading nowhere,
  // must never be written through.
  ChildOpen how;
  how.access = GENERIC_READ | GENERIC_WRITE | DELETE;
  how.share = 0;
  how.disposition = Disposition::CreateNew;
  how.kind = ChildKind::File;
  UniqueFileHandle file;
  if (const DWORD error = OpenChild(folder, kLegacySetupFileName, how, file);
      error != ERROR_SUCCESS) {
    return error == kNotTheObjectMeant ? ERROR_FILE_INVALID : error;
  }
  DWORD error = WriteThroughMapping(file.get(), bytes);
  if (error == ERROR_SUCCESS) {
    error = ReadFileId(file.get(), writtenId);
  }
  // A half-written program must not be found and run by a later run; it
  // goes through the handle that made it.
  if (error != ERROR_SUCCESS) {
    (void)DeleteThroughHandle(file.get());
  }
  return error;
}

DWORD ProvideLegacySetup(HMODULE module, const HeldFolder& folder, UniqueFileHandle& locked,
                         AfterExtraction afterExtraction) {
  if (OpenVerifiedSetup(module, folder, 0, locked) == ERROR_SUCCESS) {
    return ERROR_SUCCESS;
  }
  // A stale or foreign file there goes first, without waiting for whoever
  // holds it; anything else stays, and the extraction then refuses to write
  // there ("file exists").
  RetryBudget noWait{0};
  if (const DWORD error = DeleteSetupProgram(folder, noWait);
      error != ERROR_SUCCESS && error != kFolderWhereFileMeant && error != kNotTheObjectMeant) {
    return error;
  }
  ULONGLONG writtenId = 0;
  if (const DWORD error = extractResource(module, folder, writtenId); error != ERROR_SUCCESS) {
    return error;
  }
  const std::wstring setupPath = JoinPath(folder.path, kLegacySetupFileName);
  if (afterExtraction != nullptr) {
    afterExtraction(setupPath);
  }
  // Between writing and running, the folder's owner could swap the file:
  // only the very file written, checked and locked, runs.
  if (const DWORD error = OpenVerifiedSetup(module, folder, writtenId, locked);
      error != ERROR_SUCCESS) {
    return error;
  }
  (void)ChangeAttributes(locked.get(), FILE_ATTRIBUTE_HIDDEN, 0);
  WriteLogLine(L"Extracted EAC setup: " + setupPath);
  return ERROR_SUCCESS;
}

std::wstring LegacyUninstallCommandLine(const std::wstring& setupPath, std::int32_t gameId) {
  return QuoteProgramPath(setupPath) + L" uninstall " + std::to_wstring(gameId) + L" -console";
}

DWORD UninstallEasyAntiCheat(const HeldFolder& logFolder, UniqueSetupFolder* secureFolder,
                             const std::wstring& installDir, std::int32_t gameId,
                             bool requireOwnSetup) {
  DWORD error = secureFolder != nullptr ? CreateSecureSetupFolder(*secureFolder) : ERROR_SUCCESS;
  const HeldFolder& folder = secureFolder != nullptr ? secureFolder->folder() : logFolder;
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
  WriteLogLine(L"extractResource failed: " + std::to_wstring(error));
  // Elevated, a copy the player could have written or planted a DLL beside
  // would run with the setup's rights: the legacy uninstall fails instead.
  if (secureFolder != nullptr) {
    return error;
  }
  return RunGameFoldersSetup(installDir, gameId, requireOwnSetup);
}
