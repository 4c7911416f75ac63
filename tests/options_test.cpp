#include <gtest/gtest.h>

#include "launcher/options.h"

namespace {

LaunchOptions Parse(const std::vector<std::wstring>& arguments) {
  LaunchOptions options;
  ParseLaunchOptions(arguments, options);
  return options;
}

TEST(OptionsParsing, ValueIsTheNextArgumentUnlessItIsAnOption) {
  const LaunchOptions options = Parse({L"-title", L"My", L"Game", L"-prompt", L"-log"});
  EXPECT_EQ(GetOption(options, L"title"), L"My");
  EXPECT_TRUE(HasOption(options, L"prompt"));
  EXPECT_EQ(GetOption(options, L"prompt"), L"");
  EXPECT_TRUE(HasOption(options, L"log"));
  EXPECT_EQ(options.size(), 3u) << "Game is no key and is ignored";

  EXPECT_EQ(GetOption(Parse({L"-title", L"My Game"}), L"title"), L"My Game");
}

TEST(OptionsParsing, OnlyOneHyphenIsStrippedAndNothingIsSplit) {
  const LaunchOptions options = Parse({L"--log", L"/prompt", L"-title=Foo", L"-Title", L"Bar"});
  EXPECT_FALSE(HasOption(options, L"log"));
  EXPECT_TRUE(HasOption(options, L"-log"));
  EXPECT_FALSE(HasOption(options, L"prompt"));
  EXPECT_FALSE(HasOption(options, L"/prompt"));
  EXPECT_TRUE(HasOption(options, L"title=Foo"));
  EXPECT_FALSE(HasOption(options, L"title"));
  EXPECT_EQ(GetOption(options, L"Title"), L"Bar");
}

TEST(OptionsParsing, HyphenatedArgumentsAreNeverValues) {
  LaunchOptions options = Parse({L"-title", L"-5"});
  EXPECT_TRUE(HasOption(options, L"title"));
  EXPECT_EQ(GetOption(options, L"title"), L"");
  EXPECT_TRUE(HasOption(options, L"5"));

  options = Parse({L"-title", L"-", L"-"});
  EXPECT_EQ(GetOption(options, L"title"), L"");
  EXPECT_EQ(options.size(), 1u) << "a lone hyphen is neither key nor value";
}

TEST(OptionsParsing, EmptyArgumentIsAnEmptyValueThatCounts) {
  const LaunchOptions options = Parse({L"-title", L"", L"-eactitleId"});
  EXPECT_TRUE(HasOption(options, L"title"));
  EXPECT_EQ(GetOption(options, L"title"), L"");
  EXPECT_TRUE(HasOption(options, L"eactitleId"));
}

TEST(OptionsParsing, LastOccurrenceWinsEvenWithoutValue) {
  EXPECT_EQ(GetOption(Parse({L"-title", L"A", L"-title", L"B"}), L"title"), L"B");
  const LaunchOptions options = Parse({L"-title", L"A", L"-title"});
  EXPECT_TRUE(HasOption(options, L"title"));
  EXPECT_EQ(GetOption(options, L"title"), L"");
}

TEST(OptionsParsing, EmptyListGivesNoOptions) {
  const LaunchOptions options = Parse({});
  EXPECT_TRUE(options.empty());
  EXPECT_FALSE(HasOption(options, L"log"));
  EXPECT_EQ(GetOption(options, L"title"), L"");
}

TEST(OptionsParsing, KeysAreOrderedByCodeUnit) {
  const LaunchOptions options = Parse({L"-b", L"-a", L"-ab", L"-\u00e9", L"-B"});
  std::vector<std::wstring> keys;
  for (const auto& entry : options) {
    keys.push_back(entry.first);
  }
  EXPECT_EQ(keys, (std::vector<std::wstring>{L"B", L"a", L"ab", L"b", L"\u00e9"}));
}

}  // namespace
