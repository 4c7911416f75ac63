#include <gtest/gtest.h>

#include "log/run_log.h"

#include <cstdio>
#include <sstream>

#include "common/path_text.h"
#include "test_support.h"

namespace {

TEST(RunLogPrefix, IsZeroFilledSecondsWithThreeDecimals) {
  EXPECT_EQ(FormatLogPrefix(0), L"0000.000 | ");
  EXPECT_EQ(FormatLogPrefix(45'000'000), L"0000.045 | ");
  EXPECT_EQ(FormatLogPrefix(12'345'000'000), L"0012.345 | ");
  EXPECT_EQ(FormatLogPrefix(3'600'000'000'000), L"3600.000 | ");
  EXPECT_EQ(FormatLogPrefix(10'000'000'000'000), L"10000.000 | ") << "wider than the field";
}

TEST(RunLogPrefix, TruncatesToWholeMilliseconds) {
  EXPECT_EQ(FormatLogPrefix(1'999'999), L"0000.001 | ");
  EXPECT_EQ(FormatLogPrefix(12'345'999'999), L"0012.345 | ");
  EXPECT_EQ(FormatLogPrefix(999'999), L"0000.000 | ");
}

TEST(RunLogPrefix, SinglePrecisionShowsBeyondFourHours) {
  EXPECT_EQ(FormatLogPrefix(16'383'999'000'000), L"16383.999 | ");
  EXPECT_EQ(FormatLogPrefix(16'384'001'000'000), L"16384.002 | ");
}

TEST(RunLogBytes, Latin1IsOneByteAndWiderOrControlCharactersBecomeQuestionMarks) {
  EXPECT_EQ(LogByte(L'A'), 'A');
  EXPECT_EQ(LogByte(L'\t'), '\t');
  // A line break inside a text would let it forge a line of its own.
  for (const wchar_t control : {L'\r', L'\n', L'\0', L'\x1b', L'\x7f', L'\x85'}) {
    EXPECT_EQ(LogByte(control), '?') << static_cast<int>(control);
  }
  EXPECT_EQ(static_cast<unsigned char>(LogByte(L'\u00e9')), 0xE9);
  EXPECT_EQ(static_cast<unsigned char>(LogByte(L'\u00ff')), 0xFF);
  EXPECT_EQ(LogByte(L'\u0100'), '?');
  EXPECT_EQ(LogByte(L'\u4e2d'), '?');
}

TEST(RunLogPath, IsQuotedWithBackslashesAndQuotesEscaped) {
  std::wostringstream line;
  line << LogPath(L"C:\\Games\\Foo") << L' ' << LogPath(L"a\"b") << L' ' << LogPath(L"");
  EXPECT_EQ(line.str(), L"\"C:\\\\Games\\\\Foo\" \"a\\\"b\" \"\"");
}

TEST(RunLogFile, IsAlwaysANewFileNeverAnEarlierOneAFolderOrALink) {
  const std::wstring folder = MakeScratchDirectory(L"run-log-file");
  const std::wstring earlier = JoinPath(folder, L"same-second.log");
  ASSERT_TRUE(WriteFileBytes(earlier, "an earlier run's log\r\n"));
  EXPECT_EQ(RedirectRunLog(earlier), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadFileBytes(earlier), "an earlier run's log\r\n");

  const std::wstring fresh = JoinPath(folder, L"fresh.log");
  ASSERT_EQ(RedirectRunLog(fresh), 0u);
  RunLog() << L"new" << std::endl;
  RunLog() << L"5\r\n0000.050 | Forged\n" << L"." << std::endl;
  std::fclose(SetRunLogOutput(stdout));
  EXPECT_EQ(ReadFileBytes(fresh), "new\r\n5??0000.050 | Forged?.\r\n")
      << "text mode, and only the line's own end breaks it";

  EXPECT_NE(RedirectRunLog(folder), 0u);
  // A link leading nowhere, which a log file written through would create.
  const std::wstring target = JoinPath(folder, L"written-through.txt");
  const std::wstring planted = JoinPath(folder, L"planted.log");
  if (!MakeSymbolicLink(target, planted, false)) {
    GTEST_SKIP() << "this system makes no symbolic link here";
  }
  EXPECT_NE(RedirectRunLog(planted), 0u);
  EXPECT_FALSE(FileExists(target));
}

}  // namespace
