#pragma once
// Facts about the running process: where its executable lives, its current
// directory, and whether its window station is one a user can see.

#include <windows.h>

#include <string>

// Reads the executable's full path into `path`. Returns 0; or the error:
// the platform's, or ERROR_INSUFFICIENT_BUFFER for a path of 520 characters
// or more, which `path` then holds cut at 519.
[[nodiscard]] DWORD ReadModulePath(std::wstring& path);

// The executable's full path; cut by the platform at 519 characters, empty
// when it can't be read.
std::wstring GetModulePath();

// The folder of the launcher's own executable.
std::wstring GetModuleDirectory();

// The launcher's file name without its extension.
std::wstring GetModuleStem();

// The process's current directory; empty when it needs 520 characters or more.
std::wstring GetWorkingDirectory();

// False only when the process's window station is readable and not visible
// (a service's); true otherwise, including when the query fails.
bool IsInteractiveWindowStation();

// True when the process runs with an elevated token or as LocalSystem, so
// that what it starts runs with rights its user doesn't have. A token that
// can't be read counts as elevated: the careful answer.
bool IsElevatedOrSystem();
