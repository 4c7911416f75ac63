#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "common/path_text.h"
#include "message_box_answerer.h"
#include "test_support.h"
#include "ui/messages.h"

namespace {

// From the test build's LauncherPinned.exe, which runs only installers
// signed by "Zelqa Test Publisher", and the installers a fixture signed
// under a throwaway certificate authority.
class SignedInstaller : public testing::Test {
 protected:
  void SetUp() override {
    signed_ = JoinPath(TestBinaryDirectory(), L"signed-installers");
    if (!FileExists(JoinPath(signed_, L"pinned.exe"))) {
      GTEST_SKIP() << "no signed installers (osslsigncode and openssl make them)";
    }
    const std::wstring name = Widen(testing::UnitTest::GetInstance()->current_test_info()->name());
    root_ = MakeScratchDirectory(L"signed-" + name);
    work_ = JoinPath(root_, L"work");
    ASSERT_TRUE(CreateDirectoryW(work_.c_str(), nullptr));
    record_ = JoinPath(root_, L"record.txt");
    launcher_ = JoinPath(root_, L"Pinned.exe");
    ASSERT_TRUE(CopyFileTo(JoinPath(TestBinaryDirectory(), L"LauncherPinned.exe"), launcher_));
  }

  // Puts installer `variant` beside the launcher (or into `folder`).
  void PlaceInstaller(const wchar_t* variant, const std::wstring& folder = L"") {
    const std::wstring target = JoinPath(folder.empty() ? root_ : folder, kInstaller);
    DeleteFileW(target.c_str());
    ASSERT_TRUE(CopyFileTo(JoinPath(signed_, std::wstring(variant) + L".exe"), target));
  }

  ProgramRun Launch(const std::wstring& arguments) const {
    ProgramRun run{launcher_, arguments, work_};
    run.environment[L"ZELQA_TEST_INSTALLER_RECORD"] = record_;
    run.timeoutMs = 30000;
    return run;
  }

  static constexpr wchar_t kInstaller[] = L"ZelqaAntiCheat.Installer.exe";
  std::wstring signed_, root_, work_, record_, launcher_;
};

TEST_F(SignedInstaller, OnlyTheInstallerOfThePinnedPublisherRuns) {
  const struct {
    const wchar_t* variant;
    DWORD code;  // 0, or the refusal
    const char* hex;
  } cases[] = {
      {L"pinned", 0, ""},
      {L"unsigned", 0x800B0100, "800b0100"},  // TRUST_E_NOSIGNATURE
      {L"other", 0x800B0004, "800b0004"},     // TRUST_E_SUBJECT_NOT_TRUSTED
      {L"altered", 0x80096010, "80096010"},   // TRUST_E_BAD_DIGEST
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.variant));
    PlaceInstaller(c.variant);
    DeleteFileW(record_.c_str());
    const ProgramResult result = RunProgram(Launch(L"install -title Demo -eactitleId 0"));
    EXPECT_EQ(result.exitCode, c.code);
    LogLines expected{kNoGameLine, "Action: install", "Installing Zelqa Anti-Cheat"};
    if (c.code == 0) {
      expected.emplace_back("Installed Zelqa Anti-Cheat.");
      EXPECT_EQ(ReadRecordedLines(record_),
                std::vector<std::wstring>{JoinPath(root_, kInstaller) +
                                          L" --noui --install --title Demo"});
    } else {
      expected.push_back(std::string("Installer signature not trusted: 0x") + c.hex);
      expected.push_back("Could not install Zelqa Anti-Cheat: " + std::to_string(c.code));
      EXPECT_TRUE(ReadRecordedLines(record_).empty()) << "a refused installer ran";
    }
    EXPECT_EQ(LogTexts(result.output), expected);
  }

  // Uninstalling, and opening the installer without arguments, check it too.
  PlaceInstaller(L"unsigned");
  DeleteFileW(record_.c_str());
  EXPECT_EQ(RunProgram(Launch(L"uninstall -title Demo")).exitCode, 0x800B0100u);
  const ProgramResult opened = RunProgram(Launch(L""));
  EXPECT_EQ(opened.exitCode, 160u);
  EXPECT_EQ(LogTexts(opened.output),
            (LogLines{"Opening Zelqa Anti-Cheat Installer",
                      "Installer signature not trusted: 0x800b0100", "Usage: <action>"}));
  Sleep(500);
  EXPECT_TRUE(ReadRecordedLines(record_).empty()) << "a refused installer ran";
}

// Both folders hold one: the copy that Windows' search for the bare name
// would start, beside the launcher, is the one checked and run.
TEST_F(SignedInstaller, TheCheckedCopyBesideTheLauncherIsTheOneThatRuns) {
  PlaceInstaller(L"pinned");
  PlaceInstaller(L"unsigned", work_);
  const ProgramResult result = RunProgram(Launch(L"install -title Demo"));
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(
      ReadRecordedLines(record_),
      std::vector<std::wstring>{L"ZelqaAntiCheat.Installer.exe --noui --install --title Demo"})
      << "the command line keeps its text";

  PlaceInstaller(L"other");
  PlaceInstaller(L"pinned", work_);
  EXPECT_EQ(RunProgram(Launch(L"install -title Demo")).exitCode, 0x800B0004u)
      << "a signed copy in the current directory doesn't stand in for the one beside";
}

// The checked installer stays held while it runs: no one renames or
// replaces it under the launcher.
TEST_F(SignedInstaller, TheCheckedInstallerCannotBeReplacedWhileItRuns) {
  PlaceInstaller(L"pinned");
  const std::wstring installer = JoinPath(root_, kInstaller);
  const std::wstring release = JoinPath(root_, L"release");
  ProgramRun run = Launch(L"install -title Demo");
  run.environment[L"ZELQA_TEST_INSTALLER_WAIT_FOR"] = release;
  ProgramResult result;
  std::thread launcher([&] { result = RunProgram(run); });
  for (int i = 0; i < 300 && ReadRecordedLines(record_).empty(); ++i) {
    Sleep(50);
  }
  const bool renamed = MoveFileW(installer.c_str(), (installer + L".old").c_str()) != FALSE;
  const DWORD error = renamed ? ERROR_SUCCESS : GetLastError();
  WriteFileBytes(release, "");
  launcher.join();
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(result.exitCode, 0u);
}

TEST_F(SignedInstaller, ARefusalShowsTheErrorBox) {
  PlaceInstaller(L"unsigned");
  SeenMessageBox box;
  std::thread user([&] { box = AnswerMessageBox(kMessageCaption, IDOK, 20000); });
  const ProgramResult result = RunProgram(Launch(L"install -title Demo -showerrors"));
  user.join();
  ASSERT_TRUE(box.found);
  EXPECT_EQ(box.text, L"Zelqa anticheat could not be installed.\n0x800b0100: " +
                          FormatSystemMessage(0x800B0100));
  EXPECT_EQ(result.exitCode, 0x800B0100u);
}

}  // namespace
