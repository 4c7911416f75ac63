#pragma once
// Command-line options: "-key" with an optional value in the next argument.

#include <map>
#include <string>
#include <vector>

using LaunchOptions = std::map<std::wstring, std::wstring>;

// Adds every "-key [value]" of `arguments` to `options`; the last occurrence
// of a key wins. Never fails: other arguments are ignored.
void ParseLaunchOptions(const std::vector<std::wstring>& arguments, LaunchOptions& options);

// True when `key` was given, with or without a value.
bool HasOption(const LaunchOptions& options, const std::wstring& key);

// The value of `key`, or the empty string when it is absent or has none.
std::wstring GetOption(const LaunchOptions& options, const std::wstring& key);
