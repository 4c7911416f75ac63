#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "common/path_text.h"
#include "game/discovery.h"
#include "test_support.h"

namespace {

using Paths = std::vector<std::wstring>;

TEST(DiscoveryCandidates, GameRootComesFirstWhenTheLauncherSitsInAnInstallerFolder) {
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\Title\\__Installer\\ZelqaAntiCheat"),
            (Paths{L"D:\\Games\\Title", L"D:\\Games\\Title\\__Installer\\ZelqaAntiCheat"}));
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\Title\\__Installer\\x\\__Installer\\y")[0],
            L"D:\\Games\\Title\\__Installer\\x")
      << "the deepest __Installer decides";
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\Title\\__Installer")[0], L"D:\\Games\\Title")
      << "the program directory itself may be the __Installer folder";
  EXPECT_EQ(GameRootCandidates(L"D:\\__Installer")[0], L"D:\\");
  EXPECT_EQ(GameRootCandidates(L"D:/Games/Title/__Installer/ZelqaAntiCheat")[0], L"D:/Games/Title");
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\Title\\ZelqaAntiCheat"),
            (Paths{L"D:\\Games\\Title", L"D:\\Games\\Title\\ZelqaAntiCheat"}));
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\ZelqaAntiCheatTools\\bin")[0],
            L"D:\\Games\\ZelqaAntiCheatTools")
      << "a plain substring search";
}

TEST(DiscoveryCandidates, NoGameRootWithoutAnExactInstallerFolder) {
  // "__Installer" inside a longer name adds nothing and also rules out the
  // ZelqaAntiCheat rule.
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\Title__Installer_old\\ZelqaAntiCheat"),
            (Paths{L"D:\\Games\\Title__Installer_old\\ZelqaAntiCheat"}));
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\Title"), (Paths{L"D:\\Games\\Title"}));
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\zelqaanticheat").size(), 1u);
  // Lower case is no "__Installer", so the other rule applies.
  EXPECT_EQ(GameRootCandidates(L"D:\\Games\\__installer\\ZelqaAntiCheat")[0],
            L"D:\\Games\\__installer");
}

TEST(DiscoveryNormalForm, SeparatorsAndDotsGoLetterCaseStays) {
  for (const wchar_t* folder :
       {L"D:\\Games\\Title", L"D:/Games/Title", L"D:\\Games\\Title\\", L"D:\\Games\\Title\\\\",
        L"D:\\\\Games\\Title", L"D:\\Games\\Other\\..\\Title", L"D:\\Games\\.\\Title"}) {
    EXPECT_EQ(NormalizeInstallFolder(folder), L"D:\\Games\\Title") << Narrow(folder);
  }
  EXPECT_EQ(NormalizeInstallFolder(L"d:\\games\\title\\"), L"d:\\games\\title");
  EXPECT_EQ(NormalizeInstallFolder(L"C:\\"), L"C:\\");
  EXPECT_EQ(NormalizeInstallFolder(L"C:/"), L"C:\\");
  EXPECT_EQ(NormalizeInstallFolder(L""), L"");
}

constexpr wchar_t kGamesKey[] = L"SOFTWARE\\Zelqa Games";

// The tests own the games key while they run: the fixture replaces it.
class DiscoveryRegistry : public testing::Test {
 protected:
  RegistryFixture games_{kGamesKey};
  const Paths candidates_{L"D:\\Games\\Title", L"C:\\Elsewhere"};
};

TEST_F(DiscoveryRegistry, KeepsEveryStringValueOfTheMatchAsStored) {
  games_.SetString(L"Other", L"Install Dir", L"D:\\Games\\Other");
  games_.SetString(L"Title", L"Install Dir", L"D:\\Games\\Title\\");
  games_.SetString(L"Title", L"", L"default text");
  games_.SetString(L"Title", L"Name", std::wstring(L"Title\0junk", 10));
  games_.SetString(L"Title", std::wstring(260, L'n'), L"a long name");
  games_.SetString(L"Title", L"Path", L"%ProgramFiles%", REG_EXPAND_SZ);
  games_.SetString(L"Title", L"Langs", L"en", REG_MULTI_SZ);
  games_.SetDword(L"Title", L"Build", 7);
  games_.SetQword(L"Title", L"Size", 8);
  games_.SetBinary(L"Title", L"Blob", "\x01\x02");

  GameInstallInfo info;
  ASSERT_TRUE(MatchGameInstallKey(candidates_, L"", info));
  EXPECT_EQ(info, (GameInstallInfo{{L"", L"default text"},
                                   {L"Install Dir", L"D:\\Games\\Title\\"},
                                   {L"Name", L"Title"},
                                   {std::wstring(260, L'n'), L"a long name"}}));
}

// Windows paths ignore letter case: d:\games\title is the game in D:\Games\Title.
TEST_F(DiscoveryRegistry, InstallDirMatchesInAnySpellingAndLetterCase) {
  for (const wchar_t* stored :
       {L"D:/Games/Title", L"D:\\Games\\Title\\\\", L"D:\\Games\\Other\\..\\Title",
        L"C:\\Elsewhere\\", L"d:\\games\\title", L"D:/GAMES/TITLE/"}) {
    games_.SetString(L"Game", L"Install Dir", stored);
    GameInstallInfo info;
    EXPECT_TRUE(MatchGameInstallKey(candidates_, L"", info)) << Narrow(stored);
    EXPECT_EQ(InstallDir(info), stored);
  }
  games_.SetString(L"Game", L"Install Dir", L"D:\\Games\\Titles");
  GameInstallInfo info{{L"kept", L"as passed"}};
  EXPECT_FALSE(MatchGameInstallKey(candidates_, L"", info));
  EXPECT_EQ(info, (GameInstallInfo{{L"kept", L"as passed"}})) << "untouched without a match";

  // No folder has a longer path; such a value is passed over, and quickly.
  games_.SetString(L"Game", L"Install Dir", L"D:\\Games\\Title" + std::wstring(120000, L'\\'));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MatchGameInstallKey(candidates_, L"", info));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(DiscoveryRegistry, OnlyAStringValueNamedExactlyInstallDirCounts) {
  games_.SetString(L"Expand", L"Install Dir", L"D:\\Games\\Title", REG_EXPAND_SZ);
  games_.SetString(L"Case", L"install dir", L"D:\\Games\\Title");
  games_.SetString(L"Name", L"Install Directory", L"D:\\Games\\Title");
  games_.CreateSubkey(L"Empty");
  GameInstallInfo info;
  EXPECT_FALSE(MatchGameInstallKey(candidates_, L"", info));
  EXPECT_TRUE(info.empty());
}

TEST_F(DiscoveryRegistry, TheLastMatchInEnumerationOrderWinsWithoutMerging) {
  // Subkeys enumerate in name order.
  games_.SetString(L"A", L"Install Dir", L"D:\\Games\\Title");
  games_.SetString(L"A", L"OnlyA", L"a");
  games_.SetString(L"B", L"Install Dir", L"C:\\Elsewhere");
  games_.SetString(L"B", L"OnlyB", L"b");
  games_.SetString(L"C", L"Install Dir", L"D:\\Games\\Unrelated");
  games_.SetString(L"C", L"OnlyC", L"c");
  GameInstallInfo info;
  ASSERT_TRUE(MatchGameInstallKey(candidates_, L"", info));
  EXPECT_EQ(info, (GameInstallInfo{{L"Install Dir", L"C:\\Elsewhere"}, {L"OnlyB", L"b"}}));
  // Started from another game's folder, the launcher still serves its own
  // game, which enumerates first here; the current directory counts alone.
  ASSERT_TRUE(MatchGameInstallKey({L"D:\\Games\\Title"}, L"C:\\Elsewhere", info));
  EXPECT_EQ(info[L"OnlyA"], L"a");
  ASSERT_TRUE(MatchGameInstallKey({L"D:\\Games\\None"}, L"C:\\Elsewhere", info));
  EXPECT_EQ(info[L"OnlyB"], L"b");
  // A registration that can't be read may be the launcher's own game: the
  // current directory's match no longer stands, and the failure is logged.
  games_.DenyReading(L"D");
  EXPECT_EQ(CaptureRunLog([&] {
              EXPECT_FALSE(MatchGameInstallKey({L"D:\\Games\\None"}, L"C:\\Elsewhere", info));
            }),
            LogLines{"Error 5 reading a game registration"});
  EXPECT_EQ(info[L"OnlyB"], L"b") << "untouched without a match";
  ASSERT_TRUE(MatchGameInstallKey({L"D:\\Games\\Title"}, L"C:\\Elsewhere", info));
  EXPECT_EQ(info[L"OnlyA"], L"a");
}

TEST_F(DiscoveryRegistry, NothingIsFoundWithoutTheKeyInTheNativeView) {
  GameInstallInfo info;
  EXPECT_FALSE(MatchGameInstallKey(candidates_, L"", info)) << "no subkeys";
  ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, kGamesKey), ERROR_SUCCESS);
  EXPECT_FALSE(MatchGameInstallKey(candidates_, L"", info));
  RegistryFixture wow(L"SOFTWARE\\WOW6432Node\\Zelqa Games");
  wow.SetString(L"Title", L"Install Dir", L"D:\\Games\\Title");
  EXPECT_FALSE(MatchGameInstallKey(candidates_, L"", info));
  EXPECT_TRUE(info.empty());
}

// The launcher's own run reports what discovery found.
LogLines RunLauncherIn(const std::wstring& directory, const std::wstring& currentDirectory,
                       DWORD& exitCode) {
  const ProgramResult result = RunProgram(
      {CopyLauncherTo(directory, L"DiscoveryLauncher.exe"), L"discover", currentDirectory});
  EXPECT_TRUE(result.started) << result.startError;
  exitCode = result.exitCode;
  return LogTexts(result.output);
}

TEST_F(DiscoveryRegistry, TheLauncherLogsTheGameRootAsStored) {
  const std::wstring game = MakeScratchDirectory(L"discovery-game");
  const std::wstring installer = JoinPath(game, L"__Installer");
  const std::wstring program = JoinPath(installer, L"ZelqaAntiCheat");
  ASSERT_TRUE(CreateDirectoryW(installer.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(program.c_str(), nullptr));
  const std::wstring elsewhere = MakeScratchDirectory(L"discovery-elsewhere");
  games_.SetString(L"Title", L"Install Dir", game + L"\\");

  DWORD exitCode = 0;
  EXPECT_EQ(
      RunLauncherIn(program, elsewhere, exitCode),
      (LogLines{"Game Root: " + Narrow(game) + "\\", "Action: discover", "Invalid <action>"}));
  EXPECT_EQ(exitCode, 160u);

  // Found through the current directory only.
  EXPECT_EQ(RunLauncherIn(elsewhere, game, exitCode)[0], "Game Root: " + Narrow(game) + "\\");

  EXPECT_EQ(RunLauncherIn(elsewhere, elsewhere, exitCode)[0], kNoGameLine);
}

// Started through another spelling of its folder than the registered one,
// the launcher still serves its own game, not the current directory's.
TEST_F(DiscoveryRegistry, TheLaunchersOwnGameWinsWhateverSpellingStartedIt) {
  const std::wstring drive = MakeScratchDirectory(L"drive-x");
  ASSERT_TRUE(MapDriveLetter(L'X', drive));
  const std::wstring own = JoinPath(drive, L"Own");
  ASSERT_TRUE(CreateDirectoryW(own.c_str(), nullptr));
  const std::wstring other = MakeScratchDirectory(L"discovery-other");
  games_.SetString(L"Other", L"Install Dir", other);
  for (const auto& [registered, started] :
       {std::pair{own, std::wstring(L"X:\\Own")}, std::pair{std::wstring(L"X:\\Own"), own}}) {
    games_.SetString(L"Own", L"Install Dir", registered);
    DWORD exitCode = 0;
    EXPECT_EQ(RunLauncherIn(started, other, exitCode)[0], "Game Root: " + Narrow(registered))
        << "started as " << Narrow(started);
  }
}

}  // namespace
