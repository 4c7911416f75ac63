#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "common/path_text.h"
#include "test_support.h"

namespace {

// A launcher copy run in its own folder, with no installer near unless the
// test puts one there.
ProgramResult RunIn(const PlacedLauncher& sandbox, const std::wstring& arguments,
                    std::map<std::wstring, std::wstring> environment = {}) {
  ProgramRun run{sandbox.exe, arguments, sandbox.folder};
  run.environment = std::move(environment);
  return RunProgram(run);
}

TEST(EntryExitCodes, OnlyNoArgumentOpensTheInstallerAndReportsUsage) {
  const PlacedLauncher sandbox = PlaceLauncher(L"EntryNone");
  const ProgramResult result = RunIn(sandbox, L"");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 160u);
  EXPECT_EQ(LogTexts(result.output), (LogLines{
                                         "Opening Zelqa Anti-Cheat Installer",
                                         "ZelqaAntiCheat.Installer.exe not found.",
                                         "Usage: <action>",
                                     }));
}

// Blanks name an empty action, nothing is opened; the action's letter case
// counts; an option first is the action; characters the log can't hold
// don't silence the rest of the run.
TEST(EntryExitCodes, AnyOtherActionIsInvalid) {
  const PlacedLauncher sandbox = PlaceLauncher(L"EntryAction");
  for (const auto& [arguments, action] :
       std::initializer_list<std::pair<const wchar_t*, const char*>>{
           {L"   ", ""},
           {L"Install -title Foo", "Install"},
           {L"-title install", "-title"},
           {L"\u0443\u0441\u0442 -title Foo", "???"},
           {L"\u00e9t\u00e9", "\xE9t\xE9"}}) {
    const ProgramResult result = RunIn(sandbox, arguments);
    EXPECT_EQ(result.exitCode, 160u) << action;
    EXPECT_EQ(LogTexts(result.output),
              (LogLines{kNoGameLine, std::string("Action: ") + action, "Invalid <action>"}));
  }
}

TEST(EntryExitCodes, MissingOrEmptyTitleStopsBothActions) {
  const PlacedLauncher sandbox = PlaceLauncher(L"EntryTitle");
  for (const wchar_t* arguments :
       {L"install", L"install -title", L"install -title -prompt", L"install -title \"\"",
        L"install -title A -title", L"uninstall -prompt", L"uninstall -Title Foo"}) {
    const ProgramResult result = RunIn(sandbox, arguments);
    EXPECT_EQ(result.exitCode, 160u) << Narrow(arguments);
    const LogLines lines = LogTexts(result.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Missing: title") << Narrow(arguments);
  }
}

std::string Unquoted(const wchar_t* argument) {
  std::string text = Narrow(argument);
  return text.front() == '"' ? text.substr(1, text.size() - 2) : text;
}

// The legacy id is read as a text-to-number conversion reads it: blanks, a
// sign and digits, whatever follows (0x7B reads as 0, which skips
// detection); a key without a value is no id. A text without a number
// there, or one out of the signed 32-bit range, stops the run before
// anything runs, the question included.
TEST(EntryExitCodes, LegacyIdIsReadLikeANumberConversionOrStopsTheRun) {
  const PlacedLauncher sandbox = PlaceLauncher(L"EntryLegacyId");
  CopyStandInInstallerTo(sandbox.folder);
  const std::wstring record = JoinPath(sandbox.folder, L"installer.txt");
  // A negative id can only be given with a blank before its sign.
  for (const auto& [id, number] :
       std::initializer_list<std::pair<const wchar_t*, bool>>{{L"\"  +12abc\"", true},
                                                              {L"0x7B", true},
                                                              {L"-2147483648", true},
                                                              {L"", true},
                                                              {L"abc", false},
                                                              {L"x1", false},
                                                              {L"2147483648", false},
                                                              {L"\" -2147483649\"", false},
                                                              {L"99999999999", false}}) {
    DeleteFileW(record.c_str());
    const ProgramResult result = RunIn(
        sandbox,
        std::wstring(L"install -title Foo") + (number ? L"" : L" -prompt") + L" -eactitleId " + id,
        {{L"ZELQA_TEST_INSTALLER_RECORD", record}});
    EXPECT_EQ(result.exitCode, number ? 0u : 160u) << Narrow(id);
    const LogLines lines = LogTexts(result.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              number ? "Installed Zelqa Anti-Cheat." : "Invalid eactitleId: " + Unquoted(id));
    EXPECT_EQ(FileExists(record), number) << Narrow(id);
  }
}

TEST(EntryRunLog, ArgumentsLineShowsTheCommandLineAsGiven) {
  const PlacedLauncher sandbox = PlaceLauncher(L"EntryArgs");
  // Blanks before the action are no empty action; a line break in an
  // argument starts no line of its own.
  const struct {
    const wchar_t* arguments;
    const char* argsLine;
  } cases[] = {
      {L"install   -log \"-x\"  -title \"My Game\\\\\"",
       "Args: install   -log \"-x\"  -title \"My Game\\\\\""},
      {L" \tinstall -log -title G", "Args:  \tinstall -log -title G"},
      {L"install -log -title G -eactitleId \"5\r\n0000.050 | Uninstalled EasyAntiCheat.\"",
       "Args: install -log -title G -eactitleId \"5??0000.050 | Uninstalled EasyAntiCheat.\""},
  };
  for (const auto& c : cases) {
    EmptyFolder(sandbox.logFolder);
    const ProgramResult result = RunIn(sandbox, c.arguments);
    EXPECT_EQ(result.exitCode, 2u) << "no installer beside this copy";
    const std::vector<std::wstring> files = ListFiles(sandbox.logFolder, L"*.log");
    ASSERT_EQ(files.size(), 1u);
    const LogLines lines = LogTexts(ReadFileBytes(JoinPath(sandbox.logFolder, files[0])));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[1], c.argsLine);
    EXPECT_EQ(lines[4], "Action: install");
    for (const std::string& line : lines) {
      EXPECT_NE(line, "Uninstalled EasyAntiCheat.");
    }
  }
}

}  // namespace
