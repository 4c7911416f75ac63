#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "common/unique_resource.h"
#include "installer/process.h"
#include "test_support.h"

namespace {

TEST(ProcessQuoting, EveryArgumentRoundTripsAsExactlyOneArgument) {
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

TEST(ProcessQuoting, PlainWordsStayUnquoted) {
  EXPECT_EQ(QuoteArgument(L"Demo"), L"Demo");
  EXPECT_EQ(QuoteArgument(L"C:\\Games\\Foo"), L"C:\\Games\\Foo");
  EXPECT_EQ(QuoteArgument(L"caf\u00e9-2"), L"caf\u00e9-2");
  EXPECT_EQ(QuoteArgument(L"My Game"), L"\"My Game\"");
  EXPECT_EQ(QuoteArgument(L""), L"\"\"") << "an empty title would otherwise vanish";
}

TEST(ProcessQuoting, ProgramPathWithBlankIsQuotedAndOthersAreNot) {
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

// Runs the runner in this process with its log lines captured.
struct CapturedRun {
  DWORD result = 0;
  std::vector<std::string> log;
  std::chrono::milliseconds elapsed{0};
};

CapturedRun RunCaptured(const std::wstring& commandLine, bool wait) {
  CapturedRun run;
  testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  run.result = RunProcessAndWait(commandLine, wait);
  run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  // The capture is read back in text mode, which drops the CR of each CR LF.
  std::string output;
  for (const char c : testing::internal::GetCapturedStdout()) {
    output += c == '\n' ? "\r\n" : std::string(1, c);
  }
  run.log = output.empty() ? std::vector<std::string>() : LogTexts(output);
  return run;
}

// The stand-in's behaviour is steered through the environment the child
// inherits from this process.
class ProcessRun : public testing::Test {
 protected:
  void SetUp() override {
    // A folder per test: a child left running keeps its program file busy.
    directory_ = MakeScratchDirectory(
        L"process-" + Widen(testing::UnitTest::GetInstance()->current_test_info()->name()));
    record_ = JoinPath(directory_, L"record.txt");
    installer_ = CopyStandInInstallerTo(directory_);
    SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_RECORD", record_.c_str());
  }
  void TearDown() override {
    for (const wchar_t* name : {L"ZELQA_TEST_INSTALLER_RECORD", L"ZELQA_TEST_INSTALLER_EXIT",
                                L"ZELQA_TEST_INSTALLER_SLEEP_MS"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
  }

  std::wstring directory_;
  std::wstring record_;
  std::wstring installer_;
};

TEST_F(ProcessRun, WaitingReturnsZeroAfterTheChildEndsWhateverItsExitCode) {
  SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_EXIT", L"5");
  SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_SLEEP_MS", L"1500");
  const std::wstring commandLine = installer_ + L" --noui --install --title Demo";
  const CapturedRun run = RunCaptured(commandLine, true);
  EXPECT_EQ(run.result, 0u);
  EXPECT_GE(run.elapsed.count(), 1400) << "returned before the child ended";
  EXPECT_TRUE(run.log.empty());
  EXPECT_EQ(ReadRecordedLines(record_), std::vector<std::wstring>{commandLine})
      << "the command line reaches the child unchanged";
}

TEST_F(ProcessRun, NotWaitingReturnsWhileTheChildRuns) {
  SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_SLEEP_MS", L"3000");
  const CapturedRun run = RunCaptured(installer_, false);
  EXPECT_EQ(run.result, 0u);
  EXPECT_LT(run.elapsed.count(), 2000);
  EXPECT_TRUE(run.log.empty());
  // The child records its start on its own time.
  for (int i = 0; i < 100 && ReadRecordedLines(record_).empty(); ++i) {
    Sleep(100);
  }
  EXPECT_EQ(ReadRecordedLines(record_), std::vector<std::wstring>{installer_});
}

TEST_F(ProcessRun, StartFailuresAreReturnedAndLogged) {
  const CapturedRun missing =
      RunCaptured(JoinPath(directory_, L"NoSuchProgram.exe") + L" --noui", true);
  EXPECT_EQ(missing.result, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(missing.log, std::vector<std::string>{"CreateProcess failed : 2"});

  const CapturedRun empty = RunCaptured(L"", true);
  EXPECT_NE(empty.result, 0u);
  EXPECT_NE(empty.result, WAIT_FAILED);
  EXPECT_EQ(empty.log,
            std::vector<std::string>{"CreateProcess failed : " + std::to_string(empty.result)});

  // A folder carrying the program's name can't be started either.
  const std::wstring folder = JoinPath(directory_, L"Folder.exe");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const CapturedRun notAProgram = RunCaptured(folder, false);
  EXPECT_NE(notAProgram.result, 0u);
  EXPECT_EQ(notAProgram.log, std::vector<std::string>{"CreateProcess failed : " +
                                                      std::to_string(notAProgram.result)});
  EXPECT_TRUE(ReadRecordedLines(record_).empty());
}

}  // namespace
