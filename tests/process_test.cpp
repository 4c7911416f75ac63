#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "common/path_text.h"
#include "common/process.h"
#include "common/unique_resource.h"
#include "test_support.h"

namespace {

// The stand-in's behaviour is steered through the environment the child
// inherits from this process.
class ProcessRun : public testing::Test {
 protected:
  void SetUp() override {
    // A folder per test: a child left running keeps its program file busy.
    directory_ = MakeScratchDirectory(
        L"process-" + Widen(testing::UnitTest::GetInstance()->current_test_info()->name()));
    record_ = JoinPath(directory_, L"record.txt");
    release_ = JoinPath(directory_, L"release");
    installer_ = CopyStandInInstallerTo(directory_);
    SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_RECORD", record_.c_str());
    SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_WAIT_FOR", release_.c_str());
  }
  void TearDown() override {
    for (const wchar_t* name :
         {L"ZELQA_TEST_INSTALLER_RECORD", L"ZELQA_TEST_INSTALLER_EXIT",
          L"ZELQA_TEST_INSTALLER_WAIT_FOR", L"ZELQA_TEST_INSTALLER_POLICY_RECORD"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
  }

  std::wstring directory_;
  std::wstring release_;
  std::wstring record_;
  std::wstring installer_;
};

// The child runs until the file `release_` exists: whether the runner
// waited shows in the "done" it records, not in how long anything took. A
// child it can't wait for would run on past it, and past the folder it runs
// from: it is ended, and the wait's own failure is told.
TEST_F(ProcessRun, WaitingEndsWithTheChildOrEndsTheChild) {
  SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_EXIT", L"1603");
  const std::wstring commandLine = installer_ + L" --noui --install --title Demo";
  ChildResult child;
  ChildStart start;
  start.waitMs = 0;
  EXPECT_EQ(RunProcessAndWait(commandLine, child, start), WAIT_FAILED);
  EXPECT_EQ(child.waitError, static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(child.endError, 0u);
  EXPECT_EQ(child.exitCode, WAIT_FAILED) << "the code it was ended with";

  std::thread release([&] {
    Sleep(500);
    WriteFileBytes(release_, "");
  });
  EXPECT_EQ(RunProcessAndWait(commandLine, child), 0u);
  release.join();
  EXPECT_EQ(child.exitCode, 1603u);
  // The first child may have recorded its start before it was ended.
  std::vector<std::wstring> recorded = ReadRecordedLines(record_);
  recorded.erase(recorded.begin(), recorded.end() - std::min<size_t>(recorded.size(), 2));
  EXPECT_EQ(recorded, (std::vector<std::wstring>{commandLine, L"done"}))
      << "the command line reaches the child unchanged, and the child ended first";
}

// A checked start runs only the very file checked: another one found at
// the name is ended before it ran.
TEST_F(ProcessRun, ACheckedStartRunsOnlyTheFileChecked) {
  WriteFileBytes(release_, "");
  const std::wstring other = JoinPath(directory_, L"other.exe");
  ASSERT_TRUE(CopyFileTo(installer_, other));
  // Found again by its name, a checked file with a second name would pass
  // wherever that name was started from.
  const std::wstring linked = JoinPath(directory_, L"linked.exe");
  ASSERT_TRUE(CopyFileTo(installer_, linked));
  ASSERT_TRUE(
      CreateHardLinkW(JoinPath(directory_, L"second.exe").c_str(), linked.c_str(), nullptr));
  ChildResult child;
  for (const std::wstring& checked : {installer_, other, linked}) {
    const UniqueFileHandle held(CreateFileW(checked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    // Time enough for a child that was not started suspended to record its start.
    const ChildStart start{nullptr, held.get(), [] { Sleep(1000); }};
    const std::wstring& started = checked == linked ? linked : installer_;
    const DWORD refused = checked == other ? ERROR_FILE_INVALID : ERROR_TOO_MANY_LINKS;
    EXPECT_EQ(RunProcessAndWait(started, child, start), checked == installer_ ? 0u : refused);
  }
  EXPECT_EQ(ReadRecordedLines(record_), (std::vector<std::wstring>{installer_, L"done"}));
}

TEST_F(ProcessRun, EveryChildGetsTheLoaderMitigations) {
  if (IsUnderWine()) {
    GTEST_SKIP() << "Wine applies no loader mitigations";
  }
  WriteFileBytes(release_, "");
  const std::wstring policy = JoinPath(directory_, L"policy.txt");
  SetEnvironmentVariableW(L"ZELQA_TEST_INSTALLER_POLICY_RECORD", policy.c_str());
  ChildResult child;
  ASSERT_EQ(RunProcessAndWait(installer_, child), 0u);
  // No remote images (1), none of low integrity (2), System32 first (4).
  EXPECT_EQ(ReadRecordedLines(policy), std::vector<std::wstring>{L"7"});
}

}  // namespace
