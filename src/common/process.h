#pragma once
// Starting child programs: the anti-cheat installer and the legacy setup.

#include <windows.h>

#include <string>

// Starts `commandLine` (program first, quoted by the caller) and returns at
// once; the child runs on by itself. 0, or CreateProcessW's error.
// `applicationName`, when given, is the file that runs; the command line
// then only carries the arguments the child sees.
[[nodiscard]] DWORD StartProcess(const std::wstring& commandLine,
                                 const wchar_t* applicationName = nullptr);

// Starts `commandLine` as above and waits for the child to end. Returns 0
// with the child's own code in `exitCode`; CreateProcessW's error when it
// could not start; WAIT_FAILED when the wait, or reading the code, failed.
[[nodiscard]] DWORD RunProcessAndWait(const std::wstring& commandLine, DWORD& exitCode,
                                      const wchar_t* applicationName = nullptr);
