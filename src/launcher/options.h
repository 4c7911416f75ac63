#pragma once
// Command-line options: "-key" with an optional value in the next argument.

#include <map>
#include <string>
#include <vector>

using LaunchOptions = std::map<std::wstring, std::wstring>;

// The keys the launcher reads; any other key is stored and never read.
inline constexpr wchar_t kTitleOption[] = L"title";
inline constexpr wchar_t kPromptOption[] = L"prompt";
inline constexpr wchar_t kLogOption[] = L"log";
inline constexpr wchar_t kShowErrorsOption[] = L"showerrors";
inline constexpr wchar_t kLegacyIdOption[] = L"eactitleId";
inline constexpr wchar_t kReportRestartOption[] = L"reportrestart";

// Adds every "-key [value]" of `arguments` to `options`; the last occurrence
// of a key wins. Never fails: other arguments are ignored.
void ParseLaunchOptions(const std::vector<std::wstring>& arguments, LaunchOptions& options);

// True when `key` was given, with or without a value.
bool HasOption(const LaunchOptions& options, const std::wstring& key);

// The value of `key`, or the empty string when it is absent or has none.
std::wstring GetOption(const LaunchOptions& options, const std::wstring& key);

// True when the game's legacy id was given: "eactitleId" with a value,
// whatever number it holds.
bool HasLegacyId(const LaunchOptions& options);
