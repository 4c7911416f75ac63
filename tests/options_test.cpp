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

TEST(OptionsReading, PresenceValueAndTheLegacyId) {
  const LaunchOptions options = Parse({L"-prompt", L"-title", L"T", L"-eactitleId", L"0"});
  EXPECT_TRUE(HasOption(options, L"prompt"));
  EXPECT_EQ(GetOption(options, L"prompt"), L"");
  EXPECT_FALSE(HasOption(options, L"log"));
  EXPECT_EQ(GetOption(options, L"log"), L"");
  EXPECT_EQ(GetOption(options, L"title"), L"T");
  EXPECT_TRUE(HasLegacyId(options)) << "any number, 0 too";
  EXPECT_FALSE(HasLegacyId(Parse({L"-eactitleId"}))) << "a key without a value";
}

}  // namespace
