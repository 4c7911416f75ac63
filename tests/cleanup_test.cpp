#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/unique_resource.h"
#include "legacy/cleanup.h"
#include "legacy/cleanup_scope.h"
#include "legacy/uninstall.h"
#include "log/run_log.h"
#include "test_support.h"

namespace {

// The cleanup as a run does it, its log folder held throughout.
LogLines CleanupLog(const std::wstring& logDirectory, const std::wstring& installDir,
                    RetryBudget budget = {}) {
  return CaptureRunLog([&] {
    HeldFolder logs;
    ASSERT_EQ(HoldFolderFollowingLinks(logDirectory, logs), 0u);
    DeleteEasyAntiCheatFiles(logs, logs, installDir, budget);
  });
}

void MakeFolder(const std::wstring& path) {
  ASSERT_TRUE(CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr));
}

void MakeFile(const std::wstring& path) {
  ASSERT_TRUE(WriteFileBytes(ExtendedLengthPath(path), "x"));
}

std::string FileLine(const std::wstring& path) { return "\tDeleting file: " + Narrow(path); }
std::string DirLine(const std::wstring& path) { return "Deleting dir: " + Narrow(path); }
std::string SkipLine(const std::wstring& path) { return "Skipping link: " + Narrow(path); }

// Whether the platform deletes a read-only name as it is, asked directly of a
// new read-only file in `folder` (it goes when the handle closes).
bool DeletesReadOnlyNamesAsTheyAre(const std::wstring& folder) {
  const UniqueFileHandle probe(CreateFileW(JoinPath(folder, L"read-only-probe").c_str(), DELETE, 0,
                                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr));
  DWORD flags = 0x1 | 0x2 | 0x10;  // delete, POSIX semantics, ignore the read-only attribute
  return probe &&
         SetFileInformationByHandle(probe.get(), static_cast<FILE_INFO_BY_HANDLE_CLASS>(21), &flags,
                                    sizeof(flags));
}

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

// A game folder, a log folder and a folder outside both, fresh for each test.
class CleanupRun : public testing::Test {
 protected:
  void SetUp() override { MakeFolders(L""); }
  // Links can't always be removed again: every case takes folders of its own.
  void MakeFolders(const std::wstring& suffix) {
    const std::wstring name =
        Widen(testing::UnitTest::GetInstance()->current_test_info()->name()) + suffix;
    game_ = MakeScratchDirectory(L"cleanup-game-" + name);
    outside_ = MakeScratchDirectory(L"cleanup-outside-" + name);
    logs_ = MakeScratchDirectory(L"cleanup-logs-" + name);
  }
  std::wstring At(const std::wstring& relative) const { return JoinPath(game_, relative); }
  std::wstring Outside(const std::wstring& relative) const { return JoinPath(outside_, relative); }

  std::wstring game_;
  std::wstring outside_;
  std::wstring logs_;
};

TEST_F(CleanupRun, DeletesFilesThenFoldersDeepestFirstAndNothingElse) {
  MakeFile(At(L"Game_launcher.exe"));
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFile(At(L"EasyAntiCheat\\EasyAntiCheat_x64.dll"));
  MakeFolder(At(L"EasyAntiCheat\\Certificates"));
  MakeFile(At(L"EasyAntiCheat\\Certificates\\base.cer"));
  // Names count in their letter case, and the legacy folder only at the top.
  for (const wchar_t* folder : {L"Data", L"EasyAntiCheatData", L"Sub", L"Sub\\EasyAntiCheat"}) {
    MakeFolder(At(folder));
  }
  const wchar_t* const kept[] = {L"Game.exe",
                                 L"Data\\level.dat",
                                 L"Other_Launcher.exe",
                                 L"EasyAntiCheat_Setup.exe",
                                 L"EasyAntiCheatData\\eac.dll",
                                 L"Sub\\EasyAntiCheat\\eac.dll"};
  for (const wchar_t* file : kept) {
    MakeFile(At(file));
  }
  MakeFile(At(L"Sub\\x_launcher.exe"));

  // NTFS and Wine both list a folder in name order, which fixes the walk order.
  EXPECT_EQ(CleanupLog(logs_, game_), (LogLines{
                                          "Deleting 4 file(s)...",
                                          FileLine(At(L"EasyAntiCheat\\Certificates\\base.cer")),
                                          FileLine(At(L"EasyAntiCheat\\EasyAntiCheat_x64.dll")),
                                          FileLine(At(L"Game_launcher.exe")),
                                          FileLine(At(L"Sub\\x_launcher.exe")),
                                          DirLine(At(L"EasyAntiCheat\\Certificates")),
                                          DirLine(At(L"EasyAntiCheat")),
                                      }));
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat")));
  EXPECT_FALSE(FileExists(At(L"Game_launcher.exe")));
  for (const wchar_t* file : kept) {
    EXPECT_TRUE(FileExists(At(file))) << Narrow(file);
  }
  EXPECT_TRUE(CleanupLog(logs_, game_).empty()) << "a cleaned folder gives no line";

  // A top-level file named like the legacy folder goes as a file.
  MakeFile(At(L"EasyAntiCheat"));
  EXPECT_EQ(CleanupLog(logs_, game_),
            (LogLines{"Deleting 1 file(s)...", FileLine(At(L"EasyAntiCheat"))}));
}

// Windows names every object, and a legacy tree of any depth goes whole.
// Linux lets a name end in dots or blanks, which Wine leaves out of the
// names it reports, and two names of one file differ only in case: each
// goes as the plain file it is, and the log says it went. But Wine names no
// object whose Linux path is longer than 4,095 bytes, and an object without
// a name can't be checked: such a folder is logged and left, with the
// folders that hold it.
TEST_F(CleanupRun, EveryObjectGoesByTheNameItHasAndOneWithoutANameStays) {
  const std::wstring name(200, L'd');
  std::wstring deepest = At(L"EasyAntiCheat");
  MakeFolder(deepest);
  // On the host each step is relative to the last, which no shell's cd
  // does past 4,095 bytes.
  const bool onHost = RunOnHost(
      deepest,
      "touch a.dat. 'b.dat ' HL.DAT && ln HL.DAT hl.dat && perl -e 'for (1..21) { mkdir \"" +
          Narrow(name) + "\" and chdir \"" + Narrow(name) +
          "\" or exit 1 } open(F, \">x.dll\") or exit 1'");
  std::wstring unnamed;
  for (int level = 0; level < 21; ++level) {
    deepest += L"\\" + name;
    unnamed = unnamed.empty() && deepest.size() - 2 > 4095 ? deepest : unnamed;
    if (!onHost) {
      MakeFolder(deepest);
    }
  }
  if (!onHost) {
    MakeFile(deepest + L"\\x.dll");
  }
  const LogLines lines = CleanupLog(logs_, game_, RetryBudget{0});
  ASSERT_GE(lines.size(), 6u);
  if (!IsUnderWine()) {
    EXPECT_EQ(LogLines(lines.begin() + 1, lines.begin() + 3),
              (LogLines{FileLine(deepest + L"\\x.dll"), DirLine(deepest)}));
    EXPECT_FALSE(FileExists(At(L"EasyAntiCheat")));
    return;
  }
  // Wine's path is the Linux one with "Z:" before it.
  const auto file = [&](const wchar_t* leaf) { return FileLine(At(L"EasyAntiCheat\\") + leaf); };
  EXPECT_EQ(LogLines(lines.begin(), lines.begin() + 6),
            (LogLines{"Error 1921 listing dir: " + Narrow(unnamed), "Deleting 4 file(s)...",
                      file(L"a.dat."), file(L"b.dat "), file(L"HL.DAT"), file(L"hl.dat")}));
  EXPECT_EQ(lines.back(), "Error 145 deleting dir: " + Narrow(At(L"EasyAntiCheat")));
}

// An entry gone by its turn, which another run took, is done, file and
// folder alike: no line says this run deleted it, and none calls it an error.
TEST_F(CleanupRun, EntriesGoneBeforeTheirTurnAreDone) {
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFolder(At(L"EasyAntiCheat\\Gone"));
  MakeFile(At(L"EasyAntiCheat\\gone.dll"));
  MakeFile(At(L"EasyAntiCheat\\kept.dll"));
  CleanupLists lists = CollectEasyAntiCheatEntries(game_);
  ASSERT_TRUE(DeleteFileW(At(L"EasyAntiCheat\\gone.dll").c_str()));
  ASSERT_TRUE(RemoveDirectoryW(At(L"EasyAntiCheat\\Gone").c_str()));
  RetryBudget budget;
  EXPECT_EQ(CaptureRunLog([&] { DeleteEasyAntiCheatEntries(lists, budget); }),
            (LogLines{"Deleting 2 file(s)...", FileLine(At(L"EasyAntiCheat\\kept.dll")),
                      DirLine(At(L"EasyAntiCheat"))}));
}

TEST_F(CleanupRun, ReadOnlyEntriesAreDeletedToo) {
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFolder(At(L"EasyAntiCheat\\Locked"));
  MakeFile(At(L"EasyAntiCheat\\Locked\\eac.dll"));
  ASSERT_TRUE(SetFileAttributesW(At(L"EasyAntiCheat\\Locked\\eac.dll").c_str(),
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(At(L"EasyAntiCheat\\Locked").c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_EQ(CleanupLog(logs_, game_), (LogLines{
                                          "Deleting 1 file(s)...",
                                          FileLine(At(L"EasyAntiCheat\\Locked\\eac.dll")),
                                          DirLine(At(L"EasyAntiCheat\\Locked")),
                                          DirLine(At(L"EasyAntiCheat")),
                                      }));
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat")));

  // Another name (a hard link) of a read-only file elsewhere: where the
  // platform deletes a name as it is (Windows 10 1809 on, Wine 10), that name
  // goes; elsewhere (Wine 8) it stays and the error is logged. The file
  // elsewhere stays read-only either way.
  const std::wstring outside = JoinPath(logs_, L"outside.dll");
  const std::wstring linked = At(L"EasyAntiCheat\\linked.dll");
  MakeFile(outside);
  ASSERT_TRUE(SetFileAttributesW(outside.c_str(), FILE_ATTRIBUTE_READONLY));
  MakeFolder(At(L"EasyAntiCheat"));
  ASSERT_TRUE(CreateHardLinkW(linked.c_str(), outside.c_str(), nullptr));
  const LogLines lines = CleanupLog(logs_, game_);
  ASSERT_GE(lines.size(), 3u);
  const bool deletesAsItIs = DeletesReadOnlyNamesAsTheyAre(logs_);
  EXPECT_EQ(lines[2], deletesAsItIs ? DirLine(At(L"EasyAntiCheat"))
                                    : "Error 5 deleting file: " + Narrow(linked));
  EXPECT_EQ(FileExists(linked), !deletesAsItIs);
  EXPECT_EQ(ReadFileBytes(outside), "x");
  EXPECT_NE(GetFileAttributesW(outside.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

// What can't go is logged and left, and the rest goes. An entry held for a
// moment is tried again while the run's budget of waits lasts; one held with
// full sharing, as a scanner does, goes when it is let go of (at once where
// the platform removes a name as it is), and that is no failure.
TEST_F(CleanupRun, EntriesThatCannotGoAreLoggedAndBusyOnesAreTriedAgain) {
  static std::vector<DWORD> waits;
  static UniqueFileHandle momentary;
  MakeFolder(At(L"EasyAntiCheat"));
  for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.dll", L"d.dll"}) {
    MakeFile(At(L"EasyAntiCheat\\") + name);
  }
  MakeFolder(At(L"Old_launcher.exe"));
  MakeFile(At(L"Old_launcher.exe\\readme.txt"));
  const auto hold = [&](const wchar_t* name, DWORD share = FILE_SHARE_READ) {
    return UniqueFileHandle(CreateFileW(At(L"EasyAntiCheat\\").append(name).c_str(), GENERIC_READ,
                                        share, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  waits.clear();
  momentary = hold(L"a.dll");
  const UniqueFileHandle forGood[] = {hold(L"b.dll"), hold(L"c.dll")};
  UniqueFileHandle scanner = hold(L"d.dll", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  // A running launcher: where its file can't go, it stays as it was, not read-only.
  const std::wstring running = At(L"EasyAntiCheat\\Run_launcher.exe");
  ASSERT_TRUE(CopyFileTo(StandInInstallerPath(), running));
  const std::wstring release = JoinPath(logs_, L"release");
  const std::wstring record = JoinPath(logs_, L"record");
  std::thread program([&] {
    RunProgram(
        {running,
         L"",
         logs_,
         {{L"ZELQA_TEST_INSTALLER_WAIT_FOR", release}, {L"ZELQA_TEST_INSTALLER_RECORD", record}}});
  });
  for (int i = 0; i < 300 && !FileExists(record); ++i) {
    Sleep(20);
  }

  const LogLines lines = CleanupLog(logs_, game_, RetryBudget{100, [](DWORD ms) {
                                                                waits.push_back(ms);
                                                                momentary.reset();
                                                              }});
  WriteFileBytes(release, "");
  program.join();
  EXPECT_EQ(waits, (std::vector<DWORD>{20, 20, 40, 20})) << "waits of 100 ms in all";
  // Wine 10 deletes a running program's name, as Linux does.
  const bool ranOn = FileExists(running);
  EXPECT_EQ(GetFileAttributesW(running.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  const bool pending = FileExists(At(L"EasyAntiCheat\\d.dll"));
  scanner.reset();
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat\\d.dll")));
  LogLines expected{"Deleting 5 file(s)...",
                    FileLine(At(L"EasyAntiCheat\\a.dll")),
                    FileLine(At(L"EasyAntiCheat\\b.dll")),
                    "Error 32 deleting file: " + Narrow(At(L"EasyAntiCheat\\b.dll")),
                    FileLine(At(L"EasyAntiCheat\\c.dll")),
                    "Error 32 deleting file: " + Narrow(At(L"EasyAntiCheat\\c.dll")),
                    FileLine(At(L"EasyAntiCheat\\d.dll")),
                    "Deletion pending: " + Narrow(At(L"EasyAntiCheat\\d.dll")),
                    FileLine(running),
                    "Error 5 deleting file: " + Narrow(running),
                    DirLine(At(L"Old_launcher.exe")),
                    "Error 145 deleting dir: " + Narrow(At(L"Old_launcher.exe")),
                    DirLine(At(L"EasyAntiCheat")),
                    "Error 145 deleting dir: " + Narrow(At(L"EasyAntiCheat"))};
  if (!ranOn) {
    expected.erase(expected.begin() + 9);
  }
  if (!pending) {
    expected.erase(expected.begin() + 7);
  }
  EXPECT_EQ(lines, expected);
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat\\a.dll")));
  EXPECT_TRUE(FileExists(At(L"Old_launcher.exe\\readme.txt")));
}

TEST_F(CleanupRun, TheExtractedSetupGoesLastAndOnlyOnce) {
  const std::wstring extracted = JoinPath(logs_, L"EasyAntiCheat_Setup.exe");
  MakeFile(extracted);
  ASSERT_TRUE(SetFileAttributesW(extracted.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(CleanupLog(logs_, L""), (LogLines{"Deleting 1 file(s)...", FileLine(extracted)}))
      << "no game folder: only the extracted setup";
  EXPECT_FALSE(FileExists(extracted));
  MakeFolder(extracted);
  EXPECT_TRUE(CleanupLog(logs_, L"").empty()) << "a folder of that name is no setup program";
  EXPECT_TRUE(RemoveDirectoryW(extracted.c_str()));

  MakeFile(At(L"Game_launcher.exe"));
  MakeFile(At(L"EasyAntiCheat_Setup.exe"));
  EXPECT_EQ(CleanupLog(game_, game_),
            (LogLines{"Deleting 2 file(s)...", FileLine(At(L"Game_launcher.exe")),
                      FileLine(At(L"EasyAntiCheat_Setup.exe"))}))
      << "the log directory is the game folder";

  // Here the patterns select it as well; it is still deleted once, and the
  // log folder, held by the run, stays.
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFile(At(L"EasyAntiCheat\\EasyAntiCheat_Setup.exe"));
  EXPECT_EQ(
      CleanupLog(At(L"EasyAntiCheat"), game_),
      (LogLines{"Deleting 1 file(s)...", FileLine(At(L"EasyAntiCheat\\EasyAntiCheat_Setup.exe")),
                DirLine(At(L"EasyAntiCheat")),
                "Error 32 deleting dir: " + Narrow(At(L"EasyAntiCheat"))}));
}

TEST_F(CleanupRun, AGameFolderThatCannotBeListedIsLoggedAndTheCleanupGoesOn) {
  const std::wstring extracted = JoinPath(logs_, L"EasyAntiCheat_Setup.exe");
  MakeFile(extracted);
  EXPECT_EQ(CleanupLog(logs_, At(L"Missing")),
            (LogLines{"Error 3 listing dir: " + Narrow(At(L"Missing")), "Deleting 1 file(s)...",
                      FileLine(extracted)}));
  MakeFile(At(L"NotAFolder"));
  EXPECT_EQ(CleanupLog(logs_, At(L"NotAFolder")),
            LogLines{"Error 267 listing dir: " + Narrow(At(L"NotAFolder"))});
  // Wine gives no final path past about 260 characters, and a folder whose
  // scope can't be checked is not cleaned up; Windows checks it and goes on.
  const std::wstring deep = At(std::wstring(130, L'd') + L"\\" + std::wstring(130, L'e'));
  MakeFolder(ParentPath(deep));
  MakeFolder(deep);
  MakeFile(JoinPath(deep, L"Deep_launcher.exe"));
  std::wstring finalPath;
  const DWORD finalError = GetFinalPathOf(deep, finalPath);
  const LogLines cleaned{"Deleting 1 file(s)...", FileLine(JoinPath(deep, L"Deep_launcher.exe"))};
  const LogLines refused{"Error " + std::to_string(finalError) + " checking dir: " + Narrow(deep),
                         "Not cleaning up: " + Narrow(deep)};
  EXPECT_EQ(CleanupLog(logs_, deep), finalError != ERROR_SUCCESS ? refused : cleaned);
}

// The cleanup runs elevated over a folder its user may shape: what a link
// leads to is never deleted through it, and a link is never entered.
class CleanupLinkRun : public CleanupRun {};

bool Mentions(const LogLines& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

TEST_F(CleanupLinkRun, WhatALinkLeadsToIsNeverDeletedThroughIt) {
  const struct {
    const wchar_t* link;
    bool toOutside;
    const wchar_t* target;
    bool folder;
  } cases[] = {
      {L"EasyAntiCheat\\readme.txt", true, L"keep.txt", false},
      {L"Tools\\helper_launcher.exe", false, L"saves\\save.dat", false},
      {L"EasyAntiCheat\\outside", true, L"kept", true},
      {L"Stuff\\outside_link", true, L"kept", true},
  };
  for (const auto& c : cases) {
    MakeFolders(std::to_wstring(&c - cases));
    SCOPED_TRACE(Narrow(c.link));
    MakeFolder(At(L"EasyAntiCheat"));
    MakeFile(At(L"EasyAntiCheat\\eac.dll"));
    for (const wchar_t* folder : {L"Tools", L"saves", L"Stuff"}) {
      MakeFolder(At(folder));
    }
    const std::wstring target = c.toOutside ? Outside(c.target) : At(c.target);
    const std::wstring kept = c.folder ? JoinPath(target, L"keep_launcher.exe") : target;
    if (c.folder) {
      MakeFolder(target);
    }
    MakeFile(kept);
    if (!MakeSymbolicLink(target, At(c.link), c.folder)) {
      GTEST_SKIP() << "no link can be made here";
    }

    const LogLines lines = CleanupLog(logs_, game_);
    EXPECT_EQ(ReadFileBytes(kept), "x");
    EXPECT_FALSE(Mentions(lines, Narrow(At(c.link)) + "\\")) << "the link was entered";
    EXPECT_FALSE(Mentions(lines, FileLine(At(c.link))));
    EXPECT_FALSE(FileExists(At(L"EasyAntiCheat\\eac.dll")));
  }
}

// A link to the legacy folder itself is judged by that folder: only the
// link goes, where the platform can remove a link, never what is behind it
// a second time.
TEST_F(CleanupLinkRun, ALinkToTheLegacyFolderIsNeverEntered) {
  MakeFolder(At(L"EasyAntiCheat"));
  MakeFile(At(L"EasyAntiCheat\\eac.dll"));
  MakeFolder(At(L"Mods"));
  if (!MakeSymbolicLink(At(L"EasyAntiCheat"), At(L"Mods\\eac"), true)) {
    GTEST_SKIP() << "no link can be made here";
  }
  // Wine opens what a link leads to, never the link itself.
  EXPECT_EQ(CleanupLog(logs_, game_),
            (LogLines{"Deleting 1 file(s)...", FileLine(At(L"EasyAntiCheat\\eac.dll")),
                      IsUnderWine() ? SkipLine(At(L"Mods\\eac")) : DirLine(At(L"Mods\\eac")),
                      DirLine(At(L"EasyAntiCheat"))}));
  EXPECT_FALSE(FileExists(At(L"EasyAntiCheat")));
}

// The game folder itself, or a folder on the way to it, is a link: a player
// could point it at another game, whose files would go. Nothing is deleted.
TEST_F(CleanupLinkRun, AGameFolderReachedThroughALinkIsNotCleanedUp) {
  MakeFolder(Outside(L"Other"));
  MakeFolder(Outside(L"Other\\EasyAntiCheat"));
  MakeFile(Outside(L"Other\\EasyAntiCheat\\eac.dll"));
  MakeFile(Outside(L"Other\\Other_launcher.exe"));
  if (!MakeSymbolicLink(Outside(L"Other"), At(L"Title"), true) ||
      !MakeSymbolicLink(outside_, At(L"Games"), true)) {
    GTEST_SKIP() << "no link can be made here";
  }
  for (const std::wstring& registered : {At(L"Title"), At(L"Games\\Other")}) {
    EXPECT_EQ(CleanupLog(logs_, registered), LogLines{"Not cleaning up: " + Narrow(registered)});
  }
  EXPECT_TRUE(FileExists(Outside(L"Other\\EasyAntiCheat\\eac.dll")));
  EXPECT_TRUE(FileExists(Outside(L"Other\\Other_launcher.exe")));
}

// Entries are collected first and deleted later: an entry replaced in
// between is left, and a folder replaced by a link must not lead the
// deletions elsewhere, even to a tree of the same layout on another drive,
// past 260 characters.
TEST_F(CleanupLinkRun, AFolderSwappedForALinkMidCleanupIsNotFollowed) {
  const bool drives = MapDriveLetter(L'X', MakeScratchDirectory(L"drive-x")) &&
                      MapDriveLetter(L'Y', MakeScratchDirectory(L"drive-y"));
  const std::wstring game = drives ? L"X:\\Game" : At(L"Game");
  const std::wstring other = drives ? L"Y:\\Game" : Outside(L"Game");
  const std::wstring deep =
      L"EasyAntiCheat\\" + std::wstring(120, L'd') + L'\\' + std::wstring(120, L'e') + L"\\Sub";
  for (const std::wstring& root : {game, other}) {
    MakeFolder(root);
    for (size_t end = 0; end != std::wstring::npos;) {
      end = deep.find(L'\\', end + 1);
      MakeFolder(JoinPath(root, deep.substr(0, end)));
    }
    MakeFile(JoinPath(root, deep + L"\\a.dll"));
    MakeFile(JoinPath(root, deep + L"\\b.dll"));
  }
  const std::wstring replaced = JoinPath(game, L"EasyAntiCheat\\c.dll");
  MakeFile(replaced);
  CleanupLists lists = CollectEasyAntiCheatEntries(game);
  ASSERT_EQ(lists.files.size(), 3u);
  // A file put in its place since the listing is another one, whatever its name.
  ASSERT_TRUE(WriteFileBytes(replaced + L".new", "new"));
  ASSERT_TRUE(
      MoveFileExW((replaced + L".new").c_str(), replaced.c_str(), MOVEFILE_REPLACE_EXISTING));
  const std::wstring sub = ExtendedLengthPath(JoinPath(game, deep));
  if (IsUnderWine() && (!RenameOnHost(sub, sub + L"-moved") ||
                        !MakeSymbolicLink(ExtendedLengthPath(JoinPath(other, deep)), sub, true))) {
    GTEST_SKIP() << "no link can be made here";
  }
  if (!IsUnderWine()) {
    EXPECT_FALSE(MoveFileW(sub.c_str(), (sub + L"-moved").c_str())) << "a folder the walk holds";
  }
  RetryBudget budget;
  const LogLines lines = CaptureRunLog([&] { DeleteEasyAntiCheatEntries(lists, budget); });
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], SkipLine(replaced));
  EXPECT_EQ(ReadFileBytes(replaced), "new");
  if (IsUnderWine()) {
    EXPECT_EQ(LogLines(lines.begin() + 2, lines.begin() + 4),
              (LogLines{SkipLine(JoinPath(game, deep + L"\\a.dll")),
                        SkipLine(JoinPath(game, deep + L"\\b.dll"))}));
    EXPECT_TRUE(FileExists(ExtendedLengthPath(JoinPath(other, deep + L"\\a.dll"))));
    EXPECT_TRUE(FileExists(ExtendedLengthPath(JoinPath(other, deep + L"\\b.dll"))));
  }
}

// The game folder is swapped on the host between the listing and the
// deletions for another of the same layout, which Wine names as the first:
// Wine deletes by name when the handle closes, and misses. The log says
// deleted only for what is gone, and the other folder's file stays.
TEST_F(CleanupLinkRun, WhatIsStillThereAfterItsDeletionIsAnError) {
  MakeFile(At(L"Game_launcher.exe"));
  CleanupLists lists = CollectEasyAntiCheatEntries(game_);
  ASSERT_EQ(lists.files.size(), 1u);
  const std::wstring moved = Outside(L"moved");
  if (!RenameOnHost(game_, moved)) {
    GTEST_SKIP() << "only Wine's host can rename a held folder";
  }
  MakeFolder(game_);
  ASSERT_TRUE(WriteFileBytes(At(L"Game_launcher.exe"), "another game's"));
  RetryBudget budget;
  EXPECT_EQ(CaptureRunLog([&] { DeleteEasyAntiCheatEntries(lists, budget); }),
            (LogLines{"Deleting 1 file(s)...", FileLine(At(L"Game_launcher.exe")),
                      "Error 80 deleting file: " + Narrow(At(L"Game_launcher.exe"))}));
  EXPECT_EQ(ReadFileBytes(At(L"Game_launcher.exe")), "another game's");
}

// A link planted where the setup program is extracted: its target is
// neither replaced, made writable, nor deleted.
TEST_F(CleanupLinkRun, ALinkWhereTheSetupGoesLeadsNowhereHarmful) {
  const std::wstring target = Outside(L"precious.exe");
  MakeFile(target);
  ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::wstring planted = JoinPath(logs_, L"EasyAntiCheat_Setup.exe");
  if (!MakeSymbolicLink(target, planted, false)) {
    GTEST_SKIP() << "no link can be made here";
  }
  const UniqueModule launcher = LoadBuiltLauncherAsData();
  ASSERT_TRUE(launcher);
  HeldFolder logs;
  ASSERT_EQ(HoldFolderFollowingLinks(logs_, logs), 0u);
  UniqueFileHandle locked;
  EXPECT_NE(ProvideLegacySetup(launcher.get(), logs, locked), 0u);
  EXPECT_FALSE(locked);

  EXPECT_EQ(CleanupLog(logs_, L""), LogLines{SkipLine(planted)});
  EXPECT_EQ(ReadFileBytes(target), "x");
  EXPECT_NE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST(CleanupScope, NeverAtADriveRootOrAFolderHoldingMoreThanGames) {
  const SharedFolders shared{
      {L"C:\\Program Files", L"C:\\Program Files (x86)", L"C:\\Program Files\\Common Files",
       L"C:\\ProgramData", L"C:\\ProgramData\\Microsoft", L"C:\\Users\\Jo\\Documents",
       L"D:\\Docs\\Jo"},
      {L"C:\\Windows"},
      {L"C:\\Users"},
      {L"AppData\\Roaming", L"AppData\\Local", L"Documents"}};
  for (const wchar_t* refused :
       {L"C:\\", L"C:", L"c:/", L"\\\\server\\share", L"\\\\server\\share\\", L"\\\\?\\C:\\",
        L"\\\\?\\UNC\\server\\share", L"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-000000000000}\\",
        L"C:\\Windows", L"c:\\windows\\", L"C:\\Program Files", L"C:\\Program Files (x86)\\",
        L"C:\\ProgramData", L"C:\\Users", L"C:\\Users\\Jo", L"c:\\users\\Public\\",
        // Shared folders, anything in the Windows folder, and what holds one.
        L"C:\\Windows\\System32\\drivers\\etc", L"C:\\Program Files\\Common Files\\",
        L"C:\\ProgramData\\Microsoft", L"C:\\Users\\Jo\\Documents",
        L"C:\\Users\\Ann\\AppData\\Roaming", L"C:\\Users\\Ann\\AppData",
        L"C:\\Users\\Ann\\appdata\\local\\", L"D:\\Docs"}) {
    EXPECT_TRUE(IsTooBroadForCleanup(refused, shared)) << Narrow(refused);
  }
  for (const wchar_t* game :
       {L"C:\\Games", L"C:\\Program Files\\Game", L"C:\\Users\\Jo\\Games", L"D:\\Game",
        L"\\\\server\\share\\Games", L"\\\\?\\C:\\Games", L"C:\\ProgramData\\Game",
        L"C:\\Users\\Jo\\Documents\\My Games\\Title", L"C:\\Users\\Ann\\AppData\\LocalLow\\Game",
        L"C:\\Users\\Ann\\AppData\\Roaming\\Game", L"C:\\WindowsGames", L"D:\\Docs\\Jo\\Game"}) {
    EXPECT_FALSE(IsTooBroadForCleanup(game, shared)) << Narrow(game);
  }
}

// This system's own folders, in this account's profile and in another's.
// Collected only, never deleted: the profile's folders are real ones.
TEST(CleanupScope, ThisSystemsSharedFoldersAreNeverCleanedUp) {
  SharedFolders shared;
  ASSERT_EQ(ReadSharedFolders(shared), 0u);
  wchar_t profile[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile), S_OK);
  const std::wstring other = JoinPath(ParentPath(profile), L"SomeoneElse");
  for (const int id :
       {CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY,
        CSIDL_PROGRAM_FILES, CSIDL_COMMON_APPDATA, CSIDL_SYSTEM}) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    std::wstring inProfile;
    EXPECT_TRUE(IsTooBroadForCleanup(path, shared)) << Narrow(path);
    if (RelativePathInside(profile, path, inProfile)) {
      EXPECT_TRUE(IsTooBroadForCleanup(JoinPath(other, inProfile), shared)) << Narrow(inProfile);
    }
  }
  // As the run meets them: a drive's root whose legacy entries are another
  // game's, and a short name of a shared folder, which only its final path
  // shows. Wine names a folder by its long name, so there the name check
  // already refuses a short name: only Windows shows the final path's part.
  wchar_t programs[MAX_PATH] = {};
  wchar_t shortName[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programs),
            S_OK);
  ASSERT_NE(GetShortPathNameW(programs, shortName, MAX_PATH), 0u);
  const std::wstring drive = MakeScratchDirectory(L"drive-x");
  MakeFolder(JoinPath(drive, L"EasyAntiCheat"));
  MakeFile(JoinPath(drive, L"EasyAntiCheat\\x.dll"));
  const bool mapped = MapDriveLetter(L'X', drive);
  std::vector<std::wstring> folders{L"X:\\"};
  if (!IsUnderWine()) {
    folders.emplace_back(shortName);
  }
  for (const std::wstring& folder : folders) {
    CleanupLists lists;
    EXPECT_EQ(CaptureRunLog([&] { lists = CollectEasyAntiCheatEntries(folder); }),
              LogLines{"Not cleaning up: " + Narrow(folder)});
    EXPECT_TRUE(lists.files.empty() && lists.folders.empty()) << Narrow(folder);
  }
  EXPECT_TRUE(mapped) << "drive X: is not the scratch drive";
}

}  // namespace
