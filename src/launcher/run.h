#pragma once
// One run of the launcher, from the command line to the exit code.

#include <windows.h>

#include <string>

// The exit codes besides the installer's own results.
constexpr DWORD kExitBadArguments = ERROR_BAD_ARGUMENTS;    // 160
constexpr DWORD kExitCancelled = ERROR_CANCELLED;           // 1223
constexpr DWORD kExitInternalError = ERROR_INTERNAL_ERROR;  // 1359

// Carries out the action of the process's command line and returns the exit
// code. `instance` holds the string table and the icon; `installerPublisher`,
// when not empty, is who must have signed the installer for it to run. An
// exception, such as running out of memory, is logged and ends the run with
// 1359.
[[nodiscard]] DWORD RunLauncher(HINSTANCE instance, const std::wstring& installerPublisher);
