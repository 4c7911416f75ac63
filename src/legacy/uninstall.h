#pragma once
// Uninstalling the legacy anti-cheat with the setup program the launcher
// carries as a resource.

#include <windows.h>

#include <cstdint>
#include <string>

extern const wchar_t* const kLegacySetupFileName;

// Writes the embedded setup program to a new file `targetPath`. Returns 0, or
// the error of the failing step (ERROR_FILE_EXISTS when anything stands
// there); a file it created is removed again on failure.
[[nodiscard]] DWORD extractResource(HMODULE module, std::wstring targetPath);

// The command line of the legacy uninstall for `gameId`.
std::wstring LegacyUninstallCommandLine(const std::wstring& setupPath, std::int32_t gameId);

// Runs the legacy setup's uninstall for `gameId` and waits. Returns 0, 2 when
// no setup program could be provided, or the runner's error.
[[nodiscard]] DWORD UninstallEasyAntiCheat(const std::wstring& logDirectory,
                                           const std::wstring& installDir, std::int32_t gameId);
