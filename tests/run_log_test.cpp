#include <gtest/gtest.h>

#include "log/run_log.h"

#include <sstream>

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

TEST(RunLogBytes, Latin1IsOneByteAndWiderCharactersBecomeQuestionMarks) {
  EXPECT_EQ(LogByte(L'A'), 'A');
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

}  // namespace
