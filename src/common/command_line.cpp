#include "common/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include "common/unique_resource.h"

std::vector<std::wstring> SplitArguments(const wchar_t* argumentText) {
  std::vector<std::wstring> arguments;
  if (argumentText == nullptr || *argumentText == L'\0') {
    return arguments;
  }
  while (*argumentText == L' ' || *argumentText == L'\t') {
    ++argumentText;
  }
  // Blanks after the program still name an action: an empty one, which a
  // caller must not take for no arguments at all.
  if (*argumentText == L'\0') {
    arguments.emplace_back();
    return arguments;
  }
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(argumentText, &count);
  const UniqueLocalMemory owner(static_cast<HLOCAL>(argv));
  if (argv != nullptr && count > 0) {
    arguments.assign(argv, argv + count);
  }
  return arguments;
}

std::wstring QuoteProgramPath(const std::wstring& path) {
  if (path.find_first_of(L" \t") == std::wstring::npos) {
    return path;
  }
  return L'"' + path + L'"';
}

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only before a quote.
    quoted.append(c == L'"' ? (backslashes * 2) + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  // ... and before the closing quote.
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}
