#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "common/process.h"
#include "common/unique_resource.h"
#include "test_support.h"

namespace {

// Runs the runner in this process: started and waited for, or only started.
struct CapturedRun {
  DWORD result = 0;
  DWORD exitCode = 0;
  std::chrono::milliseconds elapsed{0};
};

CapturedRun RunCaptured(const std::wstring& commandLine, bool wait) {
  CapturedRun run;
  const auto start = std::chrono::steady_clock::now();
  run.result = wait ? RunProcessAndWait(commandLine, run.exitCode) : StartProcess(commandLine);
  run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
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

TEST_F(ProcessRun, WaitingReturnsZeroAfterTheChildEndsWithItsExitCode) {
  SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_EXIT", L"1603");
  SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_SLEEP_MS", L"1500");
  const std::wstring commandLine = installer_ + L" --noui --install --title Demo";
  const CapturedRun run = RunCaptured(commandLine, true);
  EXPECT_EQ(run.result, 0u);
  EXPECT_EQ(run.exitCode, 1603u);
  EXPECT_GE(run.elapsed.count(), 1400) << "returned before the child ended";
  EXPECT_EQ(ReadRecordedLines(record_), std::vector<std::wstring>{commandLine})
      << "the command line reaches the child unchanged";
}

TEST_F(ProcessRun, NotWaitingReturnsWhileTheChildRuns) {
  SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_SLEEP_MS", L"3000");
  const CapturedRun run = RunCaptured(installer_, false);
  EXPECT_EQ(run.result, 0u);
  EXPECT_LT(run.elapsed.count(), 2000);
  // The child records its start on its own time.
  for (int i = 0; i < 100 && ReadRecordedLines(record_).empty(); ++i) {
    Sleep(100);
  }
  EXPECT_EQ(ReadRecordedLines(record_), std::vector<std::wstring>{installer_});
}

TEST_F(ProcessRun, StartFailuresAreReturned) {
  const CapturedRun missing =
      RunCaptured(JoinPath(directory_, L"NoSuchProgram.exe") + L" --noui", true);
  EXPECT_EQ(missing.result, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  const CapturedRun empty = RunCaptured(L"", true);
  EXPECT_NE(empty.result, 0u);
  EXPECT_NE(empty.result, WAIT_FAILED);

  // A folder carrying the program's name can't be started either.
  const std::wstring folder = JoinPath(directory_, L"Folder.exe");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const CapturedRun notAProgram = RunCaptured(folder, false);
  EXPECT_NE(notAProgram.result, 0u);
  EXPECT_TRUE(ReadRecordedLines(record_).empty());
}

}  // namespace
