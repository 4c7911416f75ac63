#include "launcher/options.h"

namespace {

bool StartsWithHyphen(const std::wstring& argument) {
  return !argument.empty() && argument.front() == L'-';
}

}  // namespace

void ParseLaunchOptions(const std::vector<std::wstring>& arguments, LaunchOptions& options) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (argument.size() < 2 || !StartsWithHyphen(argument)) {
      continue;
    }
    std::wstring value;
    // The value is visited again in its own turn and skipped there.
    if (i + 1 < arguments.size() && !StartsWithHyphen(arguments[i + 1])) {
      value = arguments[i + 1];
    }
    options[argument.substr(1)] = value;
  }
}

bool HasOption(const LaunchOptions& options, const std::wstring& key) {
  return options.count(key) != 0;
}

std::wstring GetOption(const LaunchOptions& options, const std::wstring& key) {
  const auto found = options.find(key);
  return found == options.end() ? std::wstring() : found->second;
}

bool HasLegacyId(const LaunchOptions& options) {
  return !GetOption(options, kLegacyIdOption).empty();
}
