#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "test_support.h"

namespace {

// Every option on the road of a registered game that migrates off the
// legacy anti-cheat: the log file holds the whole run in order.
TEST(InstallRoad, EveryStepOfAFullInstallIsLoggedInOrder) {
  // Where a game's setup puts the launcher.
  const PlacedLauncher placed = PlaceLauncher(L"RoadLauncher", L"__Installer\\ZelqaAntiCheat");
  const std::wstring& game = placed.folder;
  const std::wstring& launcher = placed.exe;
  const std::wstring& logDirectory = placed.logFolder;
  ASSERT_TRUE(CreateDirectoryW(JoinPath(game, L"EasyAntiCheat").c_str(), nullptr));
  for (const wchar_t* file :
       {L"Game.exe", L"Game_launcher.exe", L"EasyAntiCheat\\EasyAntiCheat_x64.dll"}) {
    ASSERT_TRUE(WriteFileBytes(JoinPath(game, file), "x"));
  }
  const std::wstring installer = CopyStandInInstallerTo(ParentPath(launcher));
  const std::wstring workingDirectory = MakeScratchDirectory(L"road-cwd");
  const std::wstring legacyRecord = JoinPath(workingDirectory, L"legacy.txt");
  const std::wstring installerRecord = JoinPath(workingDirectory, L"installer.txt");

  RegistryFixture games(L"SOFTWARE\\Zelqa Games");
  games.SetString(L"Road", L"Install Dir", game);
  RegistryFixture consent(L"SOFTWARE\\Zelqa\\AC\\Installs");
  consent.SetDword(L"", L"Road Game", 1);
  const LegacyRegistration legacy(L"77;1234");

  ProgramRun run{launcher,
                 L"install -title \"Road Game\" -prompt -log -showerrors -eactitleId 1234",
                 workingDirectory};
  run.environment = {{L"ZELQA_TEST_LEGACY_RECORD", legacyRecord},
                     {L"ZELQA_TEST_INSTALLER_RECORD", installerRecord}};
  run.elevation = Elevation::Elevated;  // as setups run it
  const ProgramResult result = RunProgram(run);
  if (result.startError == ERROR_PRIVILEGE_NOT_HELD) {
    GTEST_SKIP() << "this system gives no elevated token";
  }
  ASSERT_TRUE(result.started) << result.startError;
  EXPECT_FALSE(result.timedOut) << "a box was shown";
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(result.output, "") << "everything goes to the log file";

  const std::vector<std::wstring> logs = ListFiles(logDirectory, L"RoadLauncher_*.log");
  ASSERT_EQ(logs.size(), 1u);
  const std::wstring logFile = JoinPath(logDirectory, logs[0]);
  const LogLines lines = LogTexts(ReadFileBytes(logFile));
  // Elevated, the setup program runs from a folder of its own that only
  // administrators can write, in the Windows folder's Temp.
  ASSERT_GE(lines.size(), 7u);
  const std::wstring extracted = Widen(lines[6].substr(lines[6].find(": ") + 2));
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_TRUE(EqualPathsIgnoringCase(ParentPath(ParentPath(extracted)), JoinPath(windows, L"Temp")))
      << Narrow(extracted);
  EXPECT_FALSE(FileExists(ParentPath(extracted))) << "the folder goes with the run";
  EXPECT_EQ(lines, (LogLines{
                       "Log file started: " + LogQuoted(logFile),
                       "Args: " + Narrow(run.arguments),
                       "Working Dir: " + LogQuoted(workingDirectory),
                       "Game Root: " + Narrow(game),
                       "Action: install",
                       "EasyAntiCheat is installed.",
                       "Extracted EAC setup: " + Narrow(extracted),
                       "Uninstalled EasyAntiCheat.",
                       "Installing Zelqa Anti-Cheat",
                       "Installed Zelqa Anti-Cheat.",
                       "Deleting 3 file(s)...",
                       "\tDeleting file: " +
                           Narrow(JoinPath(game, L"EasyAntiCheat\\EasyAntiCheat_x64.dll")),
                       "\tDeleting file: " + Narrow(JoinPath(game, L"Game_launcher.exe")),
                       "\tDeleting file: " + Narrow(extracted),
                       "Deleting dir: " + Narrow(JoinPath(game, L"EasyAntiCheat")),
                   }));

  EXPECT_EQ(ReadRecordedLines(legacyRecord),
            (std::vector<std::wstring>{extracted + L" uninstall 1234 -console"}));
  EXPECT_EQ(ReadRecordedLines(installerRecord),
            (std::vector<std::wstring>{installer + L" --noui --install --title \"Road Game\""}));
  EXPECT_FALSE(FileExists(extracted));
  EXPECT_FALSE(FileExists(JoinPath(game, L"EasyAntiCheat")));
  EXPECT_TRUE(FileExists(JoinPath(game, L"Game.exe")));
  EXPECT_TRUE(FileExists(launcher));
}

// A setup that trusts the exit code must be able to: a failed install says
// so, and the legacy files stay, since nothing protects the game yet; an
// install done but for a restart cleans up as a plain success does.
TEST(InstallRoad, OnlyADoneInstallCleansUpTheLegacyFiles) {
  const struct {
    const wchar_t* installerExit;
    DWORD exitCode;
    LogLines tail;
    bool cleaned;
    const wchar_t* legacyExit = nullptr;  // registered and uninstalled with this result
  } cases[] = {
      {L"1603", 1603, {"Could not install Zelqa Anti-Cheat: 1603"}, false},
      {L"3010",
       0,
       {"Installed Zelqa Anti-Cheat.", "Restart required: 3010", "Deleting 2 file(s)..."},
       true},
      // Still registered, the legacy anti-cheat keeps its files: its way out.
      {L"0",
       0,
       {"Installed Zelqa Anti-Cheat.", "Keeping legacy files: 1", "Deleting 1 file(s)..."},
       false,
       L"1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.installerExit));
    const std::wstring game = MakeScratchDirectory(L"road-result");
    ASSERT_TRUE(CreateDirectoryW(JoinPath(game, L"EasyAntiCheat").c_str(), nullptr));
    for (const wchar_t* file : {L"Game_launcher.exe", L"EasyAntiCheat\\EasyAntiCheat_x64.dll"}) {
      ASSERT_TRUE(WriteFileBytes(JoinPath(game, file), "x"));
    }
    CopyStandInInstallerTo(game);
    RegistryFixture games(L"SOFTWARE\\Zelqa Games");
    games.SetString(L"Road", L"Install Dir", game);
    const LegacyRegistration legacy(L"1234");

    ProgramRun run{CopyLauncherTo(game, L"RoadResult.exe"),
                   c.legacyExit != nullptr ? L"install -title Road -eactitleId 1234"
                                           : L"install -title Road -eactitleId 0",
                   game};
    run.environment = {{L"ZELQA_TEST_INSTALLER_EXIT", c.installerExit},
                       {L"ZELQA_TEST_LEGACY_EXIT", c.legacyExit != nullptr ? c.legacyExit : L""}};
    const ProgramResult result = RunProgram(run);
    ASSERT_TRUE(result.started) << result.startError;
    EXPECT_EQ(result.exitCode, c.exitCode);
    LogLines lines = LogTexts(result.output);
    const auto installing = std::find(lines.begin(), lines.end(), "Installing Zelqa Anti-Cheat");
    ASSERT_GE(lines.end() - installing, 1 + static_cast<std::ptrdiff_t>(c.tail.size()));
    EXPECT_EQ(lines[0], "Game Root: " + Narrow(game));
    EXPECT_EQ(LogLines(installing + 1, installing + 1 + c.tail.size()), c.tail);
    EXPECT_NE(FileExists(JoinPath(game, L"Game_launcher.exe")), c.cleaned);
    EXPECT_NE(FileExists(JoinPath(game, L"EasyAntiCheat")), c.cleaned);
  }
}

}  // namespace
