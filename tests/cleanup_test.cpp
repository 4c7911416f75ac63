#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "common/unique_resource.h"
#include "legacy/cleanup.h"
#include "log/run_log.h"
#include "test_support.h"

namespace {

// Points the run log at a fresh file while the cleanup runs and returns the
// texts of its lines.
std::vector<std::string> CleanupLog(const std::wstring& logDirectory,
                                    const std::wstring& installDir) {
  static int captures = 0;
  static const std::wstring folder =
      MakeScratchDirectory(L"cleanup-log-" + std::to_wstring(GetCurrentProcessId()));
  const std::wstring path = JoinPath(folder, std::to_wstring(++captures) + L".log");
  if (RedirectRunLog(path) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot redirect the run log";
    return {};
  }
  DeleteEasyAntiCheatFiles(logDirectory, installDir);
  // Back to standard output, where other tests expect the log.
  std::fclose(SetRunLogOutput(stdout));
  const std::string bytes = ReadFileBytes(path);
  return bytes.empty() ? std::vector<std::string>() : LogTexts(bytes);
}

void MakeFolder(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)); }

void MakeFile(const std::wstring& path) { ASSERT_TRUE(WriteFileBytes(path, "x")); }

std::string FileLine(const std::wstring& path) { return "\tDeleting file: " + Narrow(path); }
std::string DirLine(const std::wstring& path) { return "Deleting dir: " + Narrow(path); }

TEST(CleanupPatterns, SelectLaunchersAnywhereAndTheTopLevelLegacyFolder) {
  for (const wchar_t* selected :
       {L"Game_launcher.exe", L"_launcher.exe", L"bin\\x64\\Game_launcher.exe", L"EasyAntiCheat",
        L"EasyAntiCheat\\", L"EasyAntiCheat\\EasyAntiCheat_x64.dll",
        L"EasyAntiCheat\\Certificates\\base.cer", L"EasyAntiCheat\\a_launcher.exe"}) {
    EXPECT_TRUE(IsEasyAntiCheatRelativePath(selected)) << Narrow(selected);
  }
  for (const wchar_t* kept :
       {L"Game_Launcher.exe", L"Game_launcher.exe.bak", L"Game_launcherXexe", L"launcher.exe",
        L"easyanticheat", L"EASYANTICHEAT\\x.dll", L"EasyAntiCheatData", L"EasyAntiCheat_Setup.exe",
        L"EasyAntiCheat/x.dll", L"Sub\\EasyAntiCheat", L"Sub\\EasyAntiCheat\\x.dll",
        L"..\\EasyAntiCheat", L""}) {
    EXPECT_FALSE(IsEasyAntiCheatRelativePath(kept)) << Narrow(kept);
  }
}

TEST(CleanupPatterns, AreJudgedRelativeToTheGameFolder) {
  EXPECT_TRUE(IsEasyAntiCheatPath(L"C:\\Games\\Foo", L"C:\\Games\\Foo\\EasyAntiCheat\\x.dll"));
  EXPECT_TRUE(IsEasyAntiCheatPath(L"C:\\Games\\Foo\\", L"C:\\Games\\Foo\\EasyAntiCheat"));
  EXPECT_TRUE(IsEasyAntiCheatPath(L"c:\\games\\foo", L"C:\\Games\\Foo\\EasyAntiCheat"))
      << "the game folder's letter case is the file system's business";
  EXPECT_FALSE(IsEasyAntiCheatPath(L"C:\\Games\\Foo", L"C:\\Games\\Foo\\easyanticheat"));
  EXPECT_FALSE(IsEasyAntiCheatPath(L"C:\\Games", L"C:\\Games\\Foo\\EasyAntiCheat"));
  // What a link leads to outside the game folder is never the game's.
  EXPECT_FALSE(IsEasyAntiCheatPath(L"C:\\Games\\Foo\\Bar", L"C:\\Games\\Foo\\Game_launcher.exe"));
  EXPECT_FALSE(IsEasyAntiCheatPath(L"C:\\Games\\Foo", L"C:\\Games\\Foo_launcher.exe"));
  EXPECT_FALSE(IsEasyAntiCheatPath(L"C:\\Games\\Foo", L"C:\\Games\\Foo"));
}

TEST(CleanupDescent, OnlyIntoPlainFoldersNeverThroughLinks) {
  EXPECT_TRUE(ShouldDescendInto(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(ShouldDescendInto(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_FALSE(ShouldDescendInto(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_FALSE(ShouldDescendInto(FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_FALSE(ShouldDescendInto(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_FALSE(ShouldDescendInto(FILE_ATTRIBUTE_NORMAL));
}

class CleanupRun : public testing::Test {
 protected:
  void SetUp() override {
    game_ = MakeScratchDirectory(L"cleanup-game");
    logs_ = MakeScratchDirectory(L"cleanup-logs");
  }
  std::wstring At(const std::wstring& relative) const { return JoinPath(game_, relative); }

  std::wstring game_;
  std::wstring logs_;
};

TEST_F(CleanupRun, DeletesFilesThenFoldersDeepestFirstAndNothingElse) {
  MakeFile(At(L"Game_launcher.exe"));
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFile(At(L"EasyAntiCheat\\EasyAntiCheat_x64.dll"));
  MakeFolder(At(L"EasyAntiCheat\\Certificates"));
  MakeFile(At(L"EasyAntiCheat\\Certificates\\base.cer"));
  MakeFile(At(L"Game.exe"));
  MakeFolder(At(L"Data"));
  MakeFile(At(L"Data\\level.dat"));

  // NTFS and Wine both list a folder in name order, which fixes the walk order.
  EXPECT_EQ(CleanupLog(logs_, game_), (std::vector<std::string>{
                                          "Deleting 3 file(s)...",
                                          FileLine(At(L"EasyAntiCheat\\Certificates\\base.cer")),
                                          FileLine(At(L"EasyAntiCheat\\EasyAntiCheat_x64.dll")),
                                          FileLine(At(L"Game_launcher.exe")),
                                          DirLine(At(L"EasyAntiCheat\\Certificates")),
                                          DirLine(At(L"EasyAntiCheat")),
                                      }));
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat")));
  EXPECT_FALSE(FileExists(At(L"Game_launcher.exe")));
  EXPECT_TRUE(FileExists(At(L"Game.exe")));
  EXPECT_TRUE(FileExists(At(L"Data\\level.dat")));

  EXPECT_TRUE(CleanupLog(logs_, game_).empty()) << "a cleaned folder gives no line";
}

TEST_F(CleanupRun, EveryFolderGoesAfterTheFoldersInsideIt) {
  for (const wchar_t* folder :
       {L"EasyAntiCheat", L"EasyAntiCheat\\a", L"EasyAntiCheat\\a\\b", L"EasyAntiCheat\\a\\b\\c",
        L"EasyAntiCheat\\z", L"EasyAntiCheat\\z\\y"}) {
    MakeFolder(At(folder));
  }
  EXPECT_EQ(CleanupLog(logs_, game_), (std::vector<std::string>{
                                          DirLine(At(L"EasyAntiCheat\\z\\y")),
                                          DirLine(At(L"EasyAntiCheat\\z")),
                                          DirLine(At(L"EasyAntiCheat\\a\\b\\c")),
                                          DirLine(At(L"EasyAntiCheat\\a\\b")),
                                          DirLine(At(L"EasyAntiCheat\\a")),
                                          DirLine(At(L"EasyAntiCheat")),
                                      }));
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat")));
}

TEST_F(CleanupRun, NamesAreCaseSensitiveAndTheLegacyFolderOnlyCountsAtTheTop) {
  MakeFile(At(L"Game_Launcher.exe"));
  MakeFolder(At(L"easyanticheat"));
  MakeFile(At(L"easyanticheat\\eac.dll"));
  MakeFolder(At(L"EasyAntiCheatData"));
  MakeFile(At(L"EasyAntiCheatData\\eac.dll"));
  MakeFile(At(L"EasyAntiCheat_Setup.exe"));
  MakeFolder(At(L"Sub"));
  MakeFolder(At(L"Sub\\EasyAntiCheat"));
  MakeFile(At(L"Sub\\EasyAntiCheat\\eac.dll"));
  MakeFile(At(L"Sub\\x_launcher.exe"));

  EXPECT_EQ(CleanupLog(logs_, game_), (std::vector<std::string>{
                                          "Deleting 1 file(s)...",
                                          FileLine(At(L"Sub\\x_launcher.exe")),
                                      }));
  for (const wchar_t* kept :
       {L"Game_Launcher.exe", L"easyanticheat\\eac.dll", L"EasyAntiCheatData\\eac.dll",
        L"EasyAntiCheat_Setup.exe", L"Sub\\EasyAntiCheat\\eac.dll"}) {
    EXPECT_TRUE(FileExists(At(kept))) << Narrow(kept);
  }
  EXPECT_FALSE(FileExists(At(L"Sub\\x_launcher.exe")));

  // Names differing only in case can't stand side by side, so apart: a
  // top-level file named like the legacy folder goes as a file.
  ASSERT_TRUE(DeleteFileW(At(L"easyanticheat\\eac.dll").c_str()));
  ASSERT_TRUE(RemoveDirectoryW(At(L"easyanticheat").c_str()));
  MakeFile(At(L"EasyAntiCheat"));
  EXPECT_EQ(CleanupLog(logs_, game_),
            (std::vector<std::string>{"Deleting 1 file(s)...", FileLine(At(L"EasyAntiCheat"))}));
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat")));
}

TEST_F(CleanupRun, ReadOnlyEntriesAreDeletedToo) {
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFolder(At(L"EasyAntiCheat\\Locked"));
  MakeFile(At(L"EasyAntiCheat\\Locked\\eac.dll"));
  ASSERT_TRUE(SetFileAttributesW(At(L"EasyAntiCheat\\Locked\\eac.dll").c_str(),
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(At(L"EasyAntiCheat\\Locked").c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_EQ(CleanupLog(logs_, game_), (std::vector<std::string>{
                                          "Deleting 1 file(s)...",
                                          FileLine(At(L"EasyAntiCheat\\Locked\\eac.dll")),
                                          DirLine(At(L"EasyAntiCheat\\Locked")),
                                          DirLine(At(L"EasyAntiCheat")),
                                      }));
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat")));
}

TEST_F(CleanupRun, EntriesThatCannotGoAreLoggedAndTheRestGoes) {
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFile(At(L"EasyAntiCheat\\a.dll"));
  MakeFile(At(L"EasyAntiCheat\\b.dll"));
  MakeFolder(At(L"Old_launcher.exe"));
  MakeFile(At(L"Old_launcher.exe\\readme.txt"));
  // Held open without delete sharing, as a running program holds its files.
  const UniqueFileHandle held(CreateFileW(At(L"EasyAntiCheat\\a.dll").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);

  EXPECT_EQ(CleanupLog(logs_, game_),
            (std::vector<std::string>{
                "Deleting 2 file(s)...",
                FileLine(At(L"EasyAntiCheat\\a.dll")),
                "Error 32 deleting file: " + Narrow(At(L"EasyAntiCheat\\a.dll")),
                FileLine(At(L"EasyAntiCheat\\b.dll")),
                DirLine(At(L"Old_launcher.exe")),
                "Error 145 deleting dir: " + Narrow(At(L"Old_launcher.exe")),
                DirLine(At(L"EasyAntiCheat")),
                "Error 145 deleting dir: " + Narrow(At(L"EasyAntiCheat")),
            }));
  EXPECT_TRUE(FileExists(At(L"EasyAntiCheat\\a.dll")));
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat\\b.dll")));
  EXPECT_TRUE(FileExists(At(L"Old_launcher.exe\\readme.txt")));
}

TEST_F(CleanupRun, TheExtractedSetupGoesLastAndOnlyOnce) {
  const std::wstring extracted = JoinPath(logs_, L"EasyAntiCheat_Setup.exe");
  MakeFile(extracted);
  ASSERT_TRUE(SetFileAttributesW(extracted.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(CleanupLog(logs_, L""),
            (std::vector<std::string>{"Deleting 1 file(s)...", FileLine(extracted)}))
      << "no game folder: only the extracted setup";
  EXPECT_FALSE(FileExists(extracted));

  MakeFile(At(L"Game_launcher.exe"));
  MakeFile(At(L"EasyAntiCheat_Setup.exe"));
  EXPECT_EQ(CleanupLog(game_, game_),
            (std::vector<std::string>{"Deleting 2 file(s)...", FileLine(At(L"Game_launcher.exe")),
                                      FileLine(At(L"EasyAntiCheat_Setup.exe"))}))
      << "the log directory is the game folder";

  // Here the patterns select it as well; it is still deleted once.
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFile(At(L"EasyAntiCheat\\EasyAntiCheat_Setup.exe"));
  EXPECT_EQ(CleanupLog(At(L"EasyAntiCheat"), game_),
            (std::vector<std::string>{"Deleting 1 file(s)...",
                                      FileLine(At(L"EasyAntiCheat\\EasyAntiCheat_Setup.exe")),
                                      DirLine(At(L"EasyAntiCheat"))}));
}

TEST_F(CleanupRun, NothingSelectedLogsNothing) {
  MakeFile(At(L"Game.exe"));
  EXPECT_TRUE(CleanupLog(logs_, game_).empty());
  EXPECT_TRUE(CleanupLog(logs_, L"").empty());
  EXPECT_TRUE(FileExists(At(L"Game.exe")));
}

TEST_F(CleanupRun, AGameFolderThatCannotBeListedIsLoggedAndTheCleanupGoesOn) {
  const std::wstring extracted = JoinPath(logs_, L"EasyAntiCheat_Setup.exe");
  MakeFile(extracted);
  EXPECT_EQ(CleanupLog(logs_, At(L"Missing")),
            (std::vector<std::string>{"Error 3 listing dir: " + Narrow(At(L"Missing")),
                                      "Deleting 1 file(s)...", FileLine(extracted)}));

  // A file where the game folder should be cannot be listed either.
  MakeFile(At(L"NotAFolder"));
  const std::vector<std::string> lines = CleanupLog(logs_, At(L"NotAFolder"));
  ASSERT_EQ(lines.size(), 1u);
  const std::string suffix = " listing dir: " + Narrow(At(L"NotAFolder"));
  EXPECT_EQ(lines[0].rfind("Error ", 0), 0u) << lines[0];
  EXPECT_GT(lines[0].size(), suffix.size());
  EXPECT_EQ(lines[0].substr(lines[0].size() - suffix.size()), suffix) << lines[0];
  EXPECT_NE(lines[0], "Error 0" + suffix);
}

// The session setup links <scratch>\linked-game\EasyAntiCheat\outside and
// <scratch>\linked-game\Stuff\outside_link to <scratch>\link-target, which
// holds keep_launcher.exe.
TEST(CleanupLinks, AreNeverEnteredAndWhatTheyLeadToStays) {
  const std::wstring scratch = JoinPath(TestBinaryDirectory(), L"scratch");
  const std::wstring game = JoinPath(scratch, L"linked-game");
  const std::wstring kept = JoinPath(scratch, L"link-target\\keep_launcher.exe");
  for (const wchar_t* link : {L"EasyAntiCheat\\outside", L"Stuff\\outside_link"}) {
    WIN32_FIND_DATAW listed{};
    const UniqueFindHandle find(FindFirstFileExW(JoinPath(game, link).c_str(), FindExInfoBasic,
                                                 &listed, FindExSearchNameMatch, nullptr, 0));
    if (!find || (listed.dwFileAttributes & 0x410) != 0x410) {
      GTEST_SKIP() << "no directory link at " << Narrow(link) << " (run the session setup)";
    }
    EXPECT_FALSE(ShouldDescendInto(listed.dwFileAttributes));
  }
  ASSERT_TRUE(FileExists(kept));
  MakeFile(JoinPath(game, L"EasyAntiCheat\\eac.dll"));
  MakeFile(JoinPath(game, L"Game_launcher.exe"));
  const std::wstring logs = MakeScratchDirectory(L"cleanup-links-logs");

  const std::vector<std::string> lines = CleanupLog(logs, game);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Deleting 2 file(s)...");
  EXPECT_EQ(lines[1], FileLine(JoinPath(game, L"EasyAntiCheat\\eac.dll")));
  EXPECT_EQ(lines[2], FileLine(JoinPath(game, L"Game_launcher.exe")));
  // The link in the legacy folder may be selected by its own name and then
  // removed as a link (Wine refuses with 145); the other is never named.
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find("keep_launcher.exe"), std::string::npos) << line;
    EXPECT_EQ(line.find("Stuff"), std::string::npos) << line;
  }
  EXPECT_TRUE(FileExists(kept));
  EXPECT_TRUE(FileExists(JoinPath(game, L"Stuff\\outside_link")));
}

}  // namespace
