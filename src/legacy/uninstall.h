#pragma once
// Uninstalling the legacy anti-cheat with the setup program the launcher
// carries as a resource, written out to the log directory (or, in an
// elevated run, a folder of its own) to run.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/held_folder.h"
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

// Provides the setup program of `module` in the held `folder`: an exact copy
// there is kept, anything else replaced by a fresh extraction. Returns 0
// with the file open in `locked` (no write or delete sharing) once it is
// checked to be that very file, byte for byte; or the error: the
// extraction's, the check's open, or ERROR_FILE_INVALID when the file there
// is not the one written or the folder's name no longer leads to the folder
// held (logged as a skipped link). `afterExtraction` lets tests change the
// file where someone else could.
[[nodiscard]] DWORD ProvideLegacySetup(HMODULE module, const HeldFolder& folder,
                                       UniqueFileHandle& locked,
                                       AfterExtraction afterExtraction = nullptr);

// Creates this run's folder for the setup program in the Windows folder's
// Temp (or in ProgramData), writable by SYSTEM and Administrators only.
// Returns 0, or the error of the last place tried.
[[nodiscard]] DWORD CreateSecureSetupFolder(HeldFolder& folder);

// Deletes the setup program in a folder made by CreateSecureSetupFolder and
// the folder itself; what can't go stays. The folder is let go either way.
void DiscardSetupFolder(HeldFolder& folder);

// Runs the legacy setup's uninstall for `gameId` and waits. The setup
// program is provided in `logFolder`, or, when `secureFolder` is given (an
// elevated run: a DLL the player planted beside it would run with its
// rights), in a folder made there by CreateSecureSetupFolder, which the
// caller discards. Only the checked copy runs. When none can be provided,
// the game folder's own copy runs; with `requireOwnSetup` only when it is
// byte-identical to the embedded one. Returns the setup's exit code; 2 when
// no setup program could be found; ERROR_FILE_INVALID when the game's copy
// is not ours; the error of the start; or WAIT_FAILED.
[[nodiscard]] DWORD UninstallEasyAntiCheat(const HeldFolder& logFolder, HeldFolder* secureFolder,
                                           const std::wstring& installDir, std::int32_t gameId,
                                           bool requireOwnSetup);
