#include <gtest/gtest.h>

#include "launcher/options.h"

namespace {

LaunchOptions Parse(const std::vector<std::wstring>& arguments) {
  LaunchOptions options;
  ParseLaunchOptions(arguments, options);
  return options;
}

TEST(OptionsParsing, KeysAndValuesAreTakenAsGiven) {
  const struct {
    std::vector<std::wstring> arguments;
    LaunchOptions options;
    const char* rule;
  } cases[] = {
      {{L"-title", L"My", L"Game", L"-prompt", L"-log"},
       {{L"title", L"My"}, {L"prompt", L""}, {L"log", L""}},
       "a value is the next argument; Game is no key"},
      {{L"-title", L"My Game"}, {{L"title", L"My Game"}}, "one argument is one value"},
      {{L"--log", L"/prompt", L"-title=Foo", L"-Title", L"Bar"},
       {{L"-log", L"/prompt"}, {L"title=Foo", L""}, {L"Title", L"Bar"}},
       "one hyphen is stripped, a slash is no hyphen, nothing is split, case counts"},
      {{L"-title", L"-5"}, {{L"title", L""}, {L"5", L""}}, "a hyphenated argument is no value"},
      {{L"-title", L"-", L"-"}, {{L"title", L""}}, "a lone hyphen is neither key nor value"},
      {{L"-title", L"", L"-eactitleId"},
       {{L"title", L""}, {L"eactitleId", L""}},
       "an empty argument is an empty value"},
      {{L"-title", L"A", L"-title", L"B"}, {{L"title", L"B"}}, "the last occurrence wins"},
      {{L"-title", L"A", L"-title"}, {{L"title", L""}}, "even without a value"},
      {{}, {}, "no arguments, no options"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(c.arguments), c.options) << c.rule;
  }
}

}  // namespace
