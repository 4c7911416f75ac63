#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "common/unique_resource.h"
#include "test_support.h"

namespace {

constexpr wchar_t kInstallerName[] = L"ZelqaAntiCheat.Installer.exe";

std::wstring MakeFolder(const std::wstring& parent, const std::wstring& name) {
  const std::wstring path = JoinPath(parent, name);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

// Per test, the launcher under a name of its own in a "game" folder, and a
// folder to run in, which also holds the file the stand-in installer
// records its command lines in.
class InstallerRun : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring name = Widen(testing::UnitTest::GetInstance()->current_test_info()->name());
    const PlacedLauncher placed = PlaceLauncher(L"Inst" + name.substr(0, 12));
    game_ = placed.folder;
    launcher_ = placed.exe;
    work_ = MakeScratchDirectory(L"installer-" + name);
    record_ = JoinPath(work_, L"record.txt");
  }

  ProgramResult Run(const std::wstring& arguments,
                    std::map<std::wstring, std::wstring> environment = {}) {
    ProgramRun run{launcher_, arguments, work_, std::move(environment)};
    run.environment[L"ZELQA_TEST_INSTALLER_RECORD"] = record_;
    run.timeoutMs = 30000;
    ProgramResult result = RunProgram(run);
    EXPECT_TRUE(result.started) << "start error " << result.startError;
    EXPECT_FALSE(result.timedOut);
    return result;
  }

  std::vector<std::wstring> Recorded() const { return ReadRecordedLines(record_); }

  std::wstring game_;
  std::wstring work_;
  std::wstring record_;
  std::wstring launcher_;
};

// The file found is the one that runs, never one a search finds first: not
// even with the current directory left out of the search and another
// installer, the legacy stand-in here, on the PATH.
TEST_F(InstallerRun, FoundInTheCurrentDirectoryRunsByItsBareName) {
  CopyStandInInstallerTo(work_);
  const std::wstring onPath = MakeScratchDirectory(L"installer-on-path");
  ASSERT_TRUE(CopyFileTo(LegacySetupStandInPath(), JoinPath(onPath, kInstallerName)));
  std::vector<wchar_t> path(32768);
  path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
  const std::wstring decoyRecord = JoinPath(work_, L"decoy.txt");
  const ProgramResult result = Run(
      L"install -title Demo", {{L"NoDefaultCurrentDirectoryInExePath", L"1"},
                               {L"PATH", onPath + L";" + std::wstring(path.begin(), path.end())},
                               {L"ZELQA_TEST_LEGACY_RECORD", decoyRecord}});
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(LogTexts(result.output),
            (LogLines{kNoGameLine, "Action: install", "Installing Zelqa Anti-Cheat",
                      "Installed Zelqa Anti-Cheat."}));
  EXPECT_EQ(Recorded(), std::vector<std::wstring>{
                            L"ZelqaAntiCheat.Installer.exe --noui --install --title Demo"});
  EXPECT_TRUE(ReadRecordedLines(decoyRecord).empty()) << "the installer on the PATH ran";
}

// Both folders hold an installer: the command line names the bare file,
// and Windows' own search for it takes the copy beside the launcher first.
// The one in the current directory is no program here, and is never run.
TEST_F(InstallerRun, BothFoldersHoldOneAndTheCopyBesideTheLauncherRuns) {
  ASSERT_TRUE(WriteFileBytes(JoinPath(work_, kInstallerName), "not a program"));
  CopyStandInInstallerTo(game_);
  const ProgramResult result = Run(L"install -title Demo");
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(Recorded(), std::vector<std::wstring>{
                            L"ZelqaAntiCheat.Installer.exe --noui --install --title Demo"});
}

TEST_F(InstallerRun, MissingInstallerEndsWithFileNotFound) {
  const ProgramResult install = Run(L"install -title Demo");
  EXPECT_EQ(install.exitCode, 2u);
  EXPECT_EQ(LogTexts(install.output),
            (LogLines{kNoGameLine, "Action: install", "Installing Zelqa Anti-Cheat",
                      "ZelqaAntiCheat.Installer.exe not found.",
                      "Could not install Zelqa Anti-Cheat: 2"}));

  const ProgramResult uninstall = Run(L"uninstall -title Demo");
  EXPECT_EQ(uninstall.exitCode, 2u);
  EXPECT_EQ(LogTexts(uninstall.output),
            (LogLines{kNoGameLine, "Action: uninstall", "Uninstalling Zelqa Anti-Cheat",
                      "ZelqaAntiCheat.Installer.exe not found.",
                      "Could not uninstall Zelqa Anti-Cheat: 2"}));
  EXPECT_TRUE(Recorded().empty());
}

// Anything carrying the installer's name counts as found; the start error
// then is the result.
TEST_F(InstallerRun, InstallerThatCannotStartGivesTheStartError) {
  MakeFolder(work_, kInstallerName);
  ASSERT_TRUE(WriteFileBytes(JoinPath(game_, kInstallerName), "not a program"));
  for (const wchar_t* action : {L"install", L"uninstall"}) {
    const ProgramResult result = Run(std::wstring(action) + L" -title Demo");
    const std::string code = std::to_string(result.exitCode);
    EXPECT_NE(result.exitCode, 0u);
    const bool install = action == std::wstring(L"install");
    EXPECT_EQ(LogTexts(result.output),
              (LogLines{kNoGameLine, std::string("Action: ") + Narrow(action),
                        install ? "Installing Zelqa Anti-Cheat" : "Uninstalling Zelqa Anti-Cheat",
                        "CreateProcess failed : " + code,
                        (install ? "Could not install Zelqa Anti-Cheat: "
                                 : "Could not uninstall Zelqa Anti-Cheat: ") +
                            code}));
  }

  // Without the folder the launcher's own folder is tried: a file that is
  // no program.
  RemoveDirectoryW(JoinPath(work_, kInstallerName).c_str());
  const ProgramResult result = Run(L"install -title Demo");
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(LogTexts(result.output).back(), "Could not install Zelqa Anti-Cheat: 193");
}

// What the installer's exit code makes of the run: success (a restart may
// be due, told to a setup that asks with -reportrestart) or the installer's
// failure, which the setup reads as the exit code. The log is the same
// either way.
TEST_F(InstallerRun, InstallerExitCodeDecidesTheResult) {
  CopyStandInInstallerTo(game_);
  struct Case {
    const wchar_t* installerExit;
    DWORD launcherExit;
    LogLines installTail;
    LogLines uninstallTail;
  };
  const Case cases[] = {
      {L"0", 0, {"Installed Zelqa Anti-Cheat."}, {"Uninstalled Zelqa Anti-Cheat."}},
      {L"3010",
       0,
       {"Installed Zelqa Anti-Cheat.", "Restart required: 3010"},
       {"Uninstalled Zelqa Anti-Cheat.", "Restart required: 3010"}},
      {L"1641",
       0,
       {"Installed Zelqa Anti-Cheat.", "Restart required: 1641"},
       {"Uninstalled Zelqa Anti-Cheat.", "Restart required: 1641"}},
      {L"1603",
       1603,
       {"Could not install Zelqa Anti-Cheat: 1603"},
       {"Could not uninstall Zelqa Anti-Cheat: 1603"}},
      {L"160",
       160,
       {"Could not install Zelqa Anti-Cheat: 160"},
       {"Could not uninstall Zelqa Anti-Cheat: 160"}},
  };
  for (const Case& c : cases) {
    for (const std::wstring option : {L"", L" -reportrestart"}) {
      SCOPED_TRACE(Narrow(c.installerExit + option));
      // With -reportrestart each run ends with the installer's own code.
      const DWORD launcherExit =
          option.empty() ? c.launcherExit : std::wcstoul(c.installerExit, nullptr, 10);
      const std::map<std::wstring, std::wstring> exit{
          {L"ZELQA_TEST_INSTALLER_EXIT", c.installerExit}};
      const ProgramResult install = Run(L"install -title Demo" + option, exit);
      EXPECT_EQ(install.exitCode, launcherExit);
      LogLines expected{kNoGameLine, "Action: install", "Installing Zelqa Anti-Cheat"};
      expected.insert(expected.end(), c.installTail.begin(), c.installTail.end());
      EXPECT_EQ(LogTexts(install.output), expected);

      const ProgramResult uninstall = Run(L"uninstall -title Demo" + option, exit);
      EXPECT_EQ(uninstall.exitCode, launcherExit);
      expected = {kNoGameLine, "Action: uninstall", "Uninstalling Zelqa Anti-Cheat"};
      expected.insert(expected.end(), c.uninstallTail.begin(), c.uninstallTail.end());
      EXPECT_EQ(LogTexts(uninstall.output), expected);
    }
  }
  EXPECT_EQ(Recorded().size(), 4 * std::size(cases));
}

// The copy beside the launcher runs by its full path.
TEST_F(InstallerRun, TitleReachesTheInstallerAsOneArgument) {
  CopyStandInInstallerTo(game_);
  struct Case {
    const wchar_t* launcherArgument;  // as a setup would write it
    const wchar_t* title;
  };
  const Case cases[] = {
      {L"\"My Game\"", L"My Game"},
      {L"\"X --uninstall\"", L"X --uninstall"},
      {L"\"say \\\"hi\\\" now\"", L"say \"hi\" now"},
      {L"\"C:\\My Games\\\\\"", L"C:\\My Games\\"},
      {L"Back\\\\slash\\", L"Back\\\\slash\\"},
  };
  for (const Case& c : cases) {
    DeleteFileW(record_.c_str());
    const ProgramResult result = Run(std::wstring(L"install -title ") + c.launcherArgument);
    EXPECT_EQ(result.exitCode, 0u) << Narrow(c.title);
    const std::vector<std::wstring> recorded = Recorded();
    ASSERT_EQ(recorded.size(), 1u) << Narrow(c.title);
    const std::vector<std::wstring> expected = {JoinPath(game_, kInstallerName), L"--noui",
                                                L"--install", L"--title", c.title};
    EXPECT_EQ(SplitLikeAChild(recorded[0]), expected) << Narrow(recorded[0]);
  }
}

// C:\Program Files\Game\... unquoted would first start C:\Program.exe; the
// legacy stand-in sits where that truncated path points and records
// separately.
TEST_F(InstallerRun, LauncherFolderWithBlankIsQuoted) {
  const std::wstring spaced = MakeFolder(MakeFolder(work_, L"Program Files"), L"My Game");
  const std::wstring launcher = CopyLauncherTo(spaced, L"InstSpaced.exe");
  CopyStandInInstallerTo(spaced);
  const std::wstring decoyRecord = JoinPath(work_, L"decoy.txt");
  ASSERT_TRUE(CopyFileTo(LegacySetupStandInPath(), JoinPath(work_, L"Program.exe")));
  ASSERT_TRUE(CopyFileTo(LegacySetupStandInPath(),
                         JoinPath(MakeFolder(work_, L"Program Files"), L"My.exe")));
  launcher_ = launcher;
  const std::wstring installer = JoinPath(spaced, kInstallerName);

  const ProgramResult install =
      Run(L"install -title \"Big Game\"", {{L"ZELQA_TEST_LEGACY_RECORD", decoyRecord}});
  EXPECT_EQ(install.exitCode, 0u);
  const ProgramResult uninstall =
      Run(L"uninstall -title Demo", {{L"ZELQA_TEST_LEGACY_RECORD", decoyRecord}});
  EXPECT_EQ(uninstall.exitCode, 0u);
  const ProgramResult open = Run(L"", {{L"ZELQA_TEST_LEGACY_RECORD", decoyRecord}});
  EXPECT_EQ(open.exitCode, static_cast<DWORD>(ERROR_BAD_ARGUMENTS));

  for (int i = 0; i < 100 && Recorded().size() < 3; ++i) {
    Sleep(100);
  }
  EXPECT_EQ(Recorded(), (std::vector<std::wstring>{
                            L"\"" + installer + L"\" --noui --install --title \"Big Game\"",
                            L"\"" + installer + L"\" --noui --uninstall --title Demo",
                            L"\"" + installer + L"\"",
                        }));
  EXPECT_TRUE(ReadRecordedLines(decoyRecord).empty()) << "a truncated path was started";
}

// The installer runs until the file `release` exists: the launcher ended
// first when the installer has not recorded "done" yet.
TEST_F(InstallerRun, WithoutArgumentsOpensTheInstallerWithoutWaiting) {
  CopyStandInInstallerTo(game_);
  const std::wstring release = JoinPath(work_, L"release");
  const ProgramResult result = Run(L"", {{L"ZELQA_TEST_INSTALLER_WAIT_FOR", release}});
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
  EXPECT_EQ(LogTexts(result.output),
            (LogLines{"Opening Zelqa Anti-Cheat Installer", "Usage: <action>"}));
  for (int i = 0; i < 100 && Recorded().empty(); ++i) {
    Sleep(100);
  }
  EXPECT_EQ(Recorded(), std::vector<std::wstring>{JoinPath(game_, kInstallerName)})
      << "started with no arguments, and not waited for";
  ASSERT_TRUE(WriteFileBytes(release, ""));
  for (int i = 0; i < 100 && Recorded().size() < 2; ++i) {
    Sleep(100);
  }
  EXPECT_EQ(Recorded().size(), 2u);
  EXPECT_TRUE(ListFiles(game_, L"*.log").empty());
}

}  // namespace
