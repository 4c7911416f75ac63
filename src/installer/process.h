#pragma once
// Starting child programs.

#include <windows.h>

#include <string>

// Starts `commandLine` (program first, already quoted by the caller) and,
// when `wait`, blocks until it ends. Returns 0 when started (and ended),
// whatever the child's exit code; WAIT_FAILED when the wait failed; otherwise
// the error of the failed start, which is also logged.
[[nodiscard]] DWORD RunProcessAndWait(const std::wstring& commandLine, bool wait);
