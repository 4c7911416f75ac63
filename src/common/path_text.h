#pragma once
// Lexical path helpers (backslash and slash both separate) and the one
// existence test that asks the file system.

#include <windows.h>

#include <string>

bool IsPathSeparator(wchar_t c);

// Joins with one backslash unless `directory` is empty or already ends in a
// separator.
std::wstring JoinPath(const std::wstring& directory, const std::wstring& name);

// The path without its last component and the separators before it; a root
// keeps its separator (C:\Launcher.exe gives C:\).
std::wstring ParentPath(const std::wstring& path);

// The last component: the text after the last separator (or drive colon).
std::wstring FileName(const std::wstring& path);

// The file name without its extension (my.tool.exe gives my.tool; .profile
// has none).
std::wstring FileStem(const std::wstring& path);

// Sets `exists` for any kind of entry, following links. Returns 0 when the
// answer is known, or the Windows error code of a failed query that is not a
// plain "not found".
[[nodiscard]] DWORD TestPathExists(const std::wstring& path, bool& exists);

// Clears the read-only attribute, which would make a deletion fail; errors
// are left to the deletion that follows.
void ClearReadOnly(const std::wstring& path);

// Quotes a program path that holds a blank or tab, so C:\Program.exe never
// stands in for C:\Program Files\...; other paths are returned unchanged.
std::wstring QuoteProgramPath(const std::wstring& path);

// Quotes one argument by the rules CommandLineToArgvW splits by, so it
// reaches the child as exactly one argument; plain words stay unchanged.
std::wstring QuoteArgument(const std::wstring& argument);
