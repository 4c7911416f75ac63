#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/command_line.h"
#include "test_support.h"

namespace {

TEST(CommandLineQuoting, EveryArgumentRoundTripsAsExactlyOneArgument) {
  const std::vector<std::wstring> arguments = {
      L"Demo",
      L"My Game",
      L"X --uninstall",
      L"\tTabbed\t",
      L"say \"hi\"",
      L"\"",
      L"\"\"",
      L"a\\\"b",
      L"C:\\Games\\",
      L"C:\\My Games\\",
      L"C:\\My Games\\\\",
      L"\\\\server\\share name",
      L"\\\\\"",
      L"trailing \\\\\\",
      L"",
      L" ",
      L"line\nbreak",
  };
  for (const std::wstring& argument : arguments) {
    const std::wstring commandLine = L"setup.exe --title " + QuoteArgument(argument) + L" --last";
    const std::vector<std::wstring> expected = {L"setup.exe", L"--title", argument, L"--last"};
    EXPECT_EQ(SplitLikeAChild(commandLine), expected) << "command line: " << Narrow(commandLine);
  }
}

TEST(CommandLineQuoting, PlainWordsStayUnquoted) {
  EXPECT_EQ(QuoteArgument(L"Demo"), L"Demo");
  EXPECT_EQ(QuoteArgument(L"C:\\Games\\Foo"), L"C:\\Games\\Foo");
  EXPECT_EQ(QuoteArgument(L"caf\u00e9-2"), L"caf\u00e9-2");
  EXPECT_EQ(QuoteArgument(L"My Game"), L"\"My Game\"");
  EXPECT_EQ(QuoteArgument(L""), L"\"\"") << "an empty title would otherwise vanish";
}

TEST(CommandLineQuoting, ProgramPathWithBlankIsQuotedAndOthersAreNot) {
  EXPECT_EQ(QuoteProgramPath(L"C:\\Games\\Foo\\ZelqaAntiCheat.Installer.exe"),
            L"C:\\Games\\Foo\\ZelqaAntiCheat.Installer.exe");
  EXPECT_EQ(QuoteProgramPath(L"ZelqaAntiCheat.Installer.exe"), L"ZelqaAntiCheat.Installer.exe");
  for (const std::wstring path : {L"C:\\Program Files\\Game\\ZelqaAntiCheat.Installer.exe",
                                  L"C:\\Games\\Tab\tbed\\ZelqaAntiCheat.Installer.exe"}) {
    const std::wstring quoted = QuoteProgramPath(path);
    EXPECT_EQ(quoted, L"\"" + path + L"\"");
    const std::vector<std::wstring> split = SplitLikeAChild(quoted + L" --noui");
    ASSERT_EQ(split.size(), 2u) << Narrow(quoted);
    EXPECT_EQ(split[0], path);
  }
}

TEST(CommandLineSplit, BlanksBeforeTheFirstWordAreSkippedButBlanksAloneAreAnEmptyWord) {
  using Words = std::vector<std::wstring>;
  EXPECT_EQ(SplitArguments(L"install -title G"), (Words{L"install", L"-title", L"G"}));
  EXPECT_EQ(SplitArguments(L"  install -title G"), (Words{L"install", L"-title", L"G"}));
  EXPECT_EQ(SplitArguments(L" \t\"My Game\" x"), (Words{L"My Game", L"x"}));
  EXPECT_EQ(SplitArguments(L" \t "), Words{L""});
  EXPECT_EQ(SplitArguments(L""), Words{});
  EXPECT_EQ(SplitArguments(nullptr), Words{});
}

}  // namespace
