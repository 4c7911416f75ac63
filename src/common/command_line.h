#pragma once
// Command lines: splitting the launcher's own, and quoting what goes into a
// child's.

#include <string>
#include <vector>

// The words of `argumentText` as the platform splits them; none for a null
// or empty text, one empty word for a text of blanks only. Blanks and tabs
// before the first word are skipped first: the platform's splitter reads
// them as an empty first word.
std::vector<std::wstring> SplitArguments(const wchar_t* argumentText);

// Quotes a program path that holds a blank or tab, so C:\Program.exe never
// stands in for C:\Program Files\...; other paths are returned unchanged.
std::wstring QuoteProgramPath(const std::wstring& path);

// Quotes one argument by the rules CommandLineToArgvW splits by, so it
// reaches the child as exactly one argument; plain words stay unchanged.
std::wstring QuoteArgument(const std::wstring& argument);
