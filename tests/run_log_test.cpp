#include <gtest/gtest.h>

#include "log/run_log.h"

#include "common/path_text.h"
#include "test_support.h"

namespace {

TEST(RunLogPrefix, IsWholeMillisecondsAsZeroFilledSecondsWithThreeDecimals) {
  EXPECT_EQ(FormatLogPrefix(45'000'000), L"0000.045 | ");
  EXPECT_EQ(FormatLogPrefix(12'345'999'999), L"0012.345 | ") << "truncated, never rounded";
  EXPECT_EQ(FormatLogPrefix(10'000'000'000'000), L"10000.000 | ") << "wider than the field";
}

// Up to U+00FF one byte each, wider characters "?" so one never silences
// the rest, and control characters (tab aside) "?" so no text forges a line.
TEST(RunLogLine, IsPrefixTextAndCrLfOneByteACharacter) {
  EXPECT_EQ(RenderLogLine(L"0000.045 | ",
                          std::wstring(L"A\t\r\n\x1b\x7f\x85\u00e9\u00ff\u0100\u4e2d\0.", 13)),
            std::string("0000.045 | A\t?????\xE9\xFF???.\r\n"));
  EXPECT_EQ(LogPath(L"C:\\Games\\Foo") + L' ' + LogPath(L"a\"b") + L' ' + LogPath(L""),
            L"\"C:\\\\Games\\\\Foo\" \"a\\\"b\" \"\"");
}

// A line reaches the output in one write, so a write that fails loses the
// line whole and never leaves half of it: a message-mode pipe keeps each
// write apart.
TEST(RunLogLine, IsOneWrite) {
  const std::wstring name = L"\\\\.\\pipe\\run-log-" + std::to_wstring(GetCurrentProcessId());
  const UniqueFileHandle pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND,
                                               PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 0,
                                               4096, 0, nullptr));
  const UniqueFileHandle writer(
      CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(pipe && writer);
  SetRunLogOutput(writer.get());
  WriteLogLine(L"one whole line");
  SetRunLogOutput(GetStdHandle(STD_OUTPUT_HANDLE));
  char message[256];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(pipe.get(), message, sizeof(message), &read, nullptr));
  EXPECT_EQ(LogTexts(std::string(message, read)), LogLines{"one whole line"});
}

TEST(RunLogFile, IsAlwaysANewFileNeverAnEarlierOneAFolderOrALink) {
  const std::wstring folder = MakeScratchDirectory(L"run-log-file");
  HeldFolder held;
  ASSERT_EQ(HoldFolderFollowingLinks(folder, held), 0u);
  const std::wstring earlier = JoinPath(folder, L"same-second.log");
  ASSERT_TRUE(WriteFileBytes(earlier, "an earlier run's log\r\n"));
  EXPECT_EQ(RedirectRunLog(held, L"same-second.log"), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadFileBytes(earlier), "an earlier run's log\r\n");

  EXPECT_EQ(CaptureRunLog([] { WriteLogLine(L"new"); }), LogLines{"new"});

  ASSERT_TRUE(CreateDirectoryW(JoinPath(folder, L"folder.log").c_str(), nullptr));
  EXPECT_NE(RedirectRunLog(held, L"folder.log"), 0u);
  // A link leading nowhere, which a log file written through would create.
  const std::wstring target = JoinPath(folder, L"written-through.txt");
  if (!MakeSymbolicLink(target, JoinPath(folder, L"planted.log"), false)) {
    GTEST_SKIP() << "this system makes no symbolic link here";
  }
  EXPECT_NE(RedirectRunLog(held, L"planted.log"), 0u);
  EXPECT_FALSE(FileExists(target));
}

}  // namespace
