#pragma once
// Uninstalling the legacy anti-cheat with the setup program the launcher
// carries as a resource, written out to the log directory to run.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/unique_resource.h"

extern const wchar_t* const kLegacySetupFileName;

// Writes the embedded setup program to a new file `targetPath`. Returns 0, or
// the error of the failing step (ERROR_FILE_EXISTS when anything stands
// there); a file it created is removed again on failure.
[[nodiscard]] DWORD extractResource(HMODULE module, const std::wstring& targetPath);

// The command line of the legacy uninstall for `gameId`.
std::wstring LegacyUninstallCommandLine(const std::wstring& setupPath, std::int32_t gameId);

// Called between writing the setup program out and checking it again.
using AfterExtraction = void (*)(const std::wstring& setupPath);

// Provides the setup program of `module` at `setupPath` in the log
// directory: an exact copy there is kept, anything else replaced by a fresh
// extraction. Returns 0 with the file open in `locked` (no write or delete
// sharing) once it is checked to be that very file, byte for byte; or the
// error: the extraction's, the check's open, or ERROR_FILE_INVALID when the
// file there is not the one written. `afterExtraction` lets tests change the
// file where someone else could.
[[nodiscard]] DWORD ProvideLegacySetup(HMODULE module, const std::wstring& setupPath,
                                       UniqueFileHandle& locked,
                                       AfterExtraction afterExtraction = nullptr);

// Runs the legacy setup's uninstall for `gameId` and waits: the copy in
// `logDirectory`, locked until it ends, or the game folder's own copy when
// none can be provided there. Returns the setup's exit code; 2 when no setup
// program could be found; the error of the start; or WAIT_FAILED.
[[nodiscard]] DWORD UninstallEasyAntiCheat(const std::wstring& logDirectory,
                                           const std::wstring& installDir, std::int32_t gameId);
