#pragma once
// Uninstalling the legacy anti-cheat with the setup program the launcher
// carries as a resource, written out to the log folder (or, in an elevated
// run, a folder of its own) to run.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/held_folder.h"
#include "common/unique_resource.h"
#include "legacy/setup_folder.h"

// Writes the embedded setup program of `module` to a new file named
// kLegacySetupFileName in the held `folder` and sets `writtenId` to its file
// id. Returns 0, or the error of the failing step (ERROR_FILE_EXISTS when
// anything stands there); a file it created is removed again on failure.
[[nodiscard]] DWORD extractResource(HMODULE module, const HeldFolder& folder, ULONGLONG& writtenId);

// The command line of the legacy uninstall for `gameId`.
std::wstring LegacyUninstallCommandLine(const std::wstring& setupPath, std::int32_t gameId);

// Called between writing the setup program out and checking it again.
using AfterExtraction = void (*)(const std::wstring& setupPath);

// Provides the setup program of `module` in the held `folder`: an exact copy
// there is kept, anything else replaced by a fresh extraction. Returns 0
// with the file open in `locked` (no write or delete sharing) once it is
// checked to be that very file, byte for byte; or the error: the
// extraction's, the check's open, or ERROR_FILE_INVALID when the file there
// is not the one written. `afterExtraction` lets tests change the file where
// someone else could.
[[nodiscard]] DWORD ProvideLegacySetup(HMODULE module, const HeldFolder& folder,
                                       UniqueFileHandle& locked,
                                       AfterExtraction afterExtraction = nullptr);

// Runs the legacy setup's uninstall for `gameId` and waits. The setup
// program is provided in `logFolder`, or, when `secureFolder` is given (an
// elevated run: a DLL the player planted beside it would run with its
// rights), in a folder made for it there. Only the checked copy runs. An
// unelevated run that can provide none runs the game folder's own copy;
// with `requireOwnSetup` only when it is byte-identical to the embedded one.
// An elevated run never runs a copy from a folder the player can write.
// Returns the setup's exit code; the error that kept the setup from being
// provided or started (2 when there is none at all, ERROR_FILE_INVALID
// when the game's copy is not ours); or WAIT_FAILED.
[[nodiscard]] DWORD UninstallEasyAntiCheat(const HeldFolder& logFolder,
                                           UniqueSetupFolder* secureFolder,
                                           const std::wstring& installDir, std::int32_t gameId,
                                           bool requireOwnSetup);
