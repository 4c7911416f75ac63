#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/path_text.h"
#include "common/unique_resource.h"
#include "legacy/uninstall.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

TEST(LegacyUninstallCommand, NamesTheIdAndQuotesAPathWithBlanks) {
  EXPECT_EQ(LegacyUninstallCommandLine(L"C:\\Logs\\EasyAntiCheat_Setup.exe", 1234),
            L"C:\\Logs\\EasyAntiCheat_Setup.exe uninstall 1234 -console");
  EXPECT_EQ(LegacyUninstallCommandLine(L"C:\\Logs\\EasyAntiCheat_Setup.exe", -5),
            L"C:\\Logs\\EasyAntiCheat_Setup.exe uninstall -5 -console");
  EXPECT_EQ(LegacyUninstallCommandLine(L"C:\\L\\S.exe", -2147483647 - 1),
            L"C:\\L\\S.exe uninstall -2147483648 -console");
  // Unquoted, C:\Users\Jo.exe would run in place of the setup program.
  EXPECT_EQ(LegacyUninstallCommandLine(L"C:\\Users\\Jo Doe\\S.exe", 7),
            L"\"C:\\Users\\Jo Doe\\S.exe\" uninstall 7 -console");
  EXPECT_EQ(LegacyUninstallCommandLine(L"C:\\Users\\Jo\tDoe\\S.exe", 7),
            L"\"C:\\Users\\Jo\tDoe\\S.exe\" uninstall 7 -console");
}

std::string EmbeddedSetup() {
  return ReadFileBytes(JoinPath(TestBinaryDirectory(), L"legacy_setup_standin.exe"));
}

TEST(LegacyUninstallExtract, WritesTheResourceOrNothing) {
  const std::wstring folder = MakeScratchDirectory(L"legacy-extract");
  const std::wstring target = JoinPath(folder, L"EasyAntiCheat_Setup.exe");
  const UniqueModule launcher = LoadBuiltLauncherAsData();
  ASSERT_TRUE(launcher);
  ASSERT_EQ(extractResource(launcher.get(), target), 0u);
  EXPECT_TRUE(ReadFileBytes(target) == EmbeddedSetup());
  ASSERT_FALSE(EmbeddedSetup().empty());

  // The test program carries no setup program.
  const std::wstring other = JoinPath(folder, L"other.exe");
  EXPECT_NE(extractResource(GetModuleHandleW(nullptr), other), 0u);
  EXPECT_FALSE(FileExists(other));
}

// Between writing the setup program and running it, whoever owns the log
// folder could put another program there: only the checked copy runs, and
// it stays locked against changes.
TEST(LegacyUninstallExtract, OnlyTheCheckedCopyRuns) {
  const std::wstring folder = MakeScratchDirectory(L"legacy-recheck");
  const std::wstring target = JoinPath(folder, L"EasyAntiCheat_Setup.exe");
  const UniqueModule launcher = LoadBuiltLauncherAsData();
  ASSERT_TRUE(launcher);

  static UniqueFileHandle holder;
  const struct {
    const char* what;
    AfterExtraction swap;
    DWORD expected;
  } cases[] = {
      {"rewritten", [](const std::wstring& path) { WriteFileBytes(path, "MZ another program"); },
       ERROR_FILE_INVALID},
      {"held open without sharing",
       [](const std::wstring& path) {
         holder.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
       },
       ERROR_SHARING_VIOLATION},
      {"left alone", nullptr, ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    holder.reset();
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(target.c_str());
    UniqueFileHandle locked;
    EXPECT_EQ(ProvideLegacySetup(launcher.get(), target, locked, c.swap), c.expected) << c.what;
    EXPECT_EQ(static_cast<bool>(locked), c.expected == ERROR_SUCCESS) << c.what;
  }
  // The checked copy is hidden and can't be changed while it is held.
  UniqueFileHandle locked;
  ASSERT_EQ(ProvideLegacySetup(launcher.get(), target, locked), 0u);
  EXPECT_NE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_FALSE(WriteFileBytes(target, "MZ another program"));
  EXPECT_TRUE(ReadFileBytes(target) == EmbeddedSetup());
}

// The Wine session plants a link leading nowhere where one launcher copy
// writes the setup program: an elevated launcher writing through it would
// create a file anywhere. The link stays and the extraction is refused.
TEST(LegacyUninstallLinks, APlantedLinkIsNeverWrittenThrough) {
  const std::wstring folder = MakeScratchDirectory(L"LegacyDanglingSetup");
  const std::wstring linkTarget =
      JoinPath(TestBinaryDirectory(), L"scratch\\link-target\\written-through-link.exe");
  RegistryFixture legacy(L"SOFTWARE\\WOW6432Node\\EasyAntiCheat");
  legacy.SetString(L"", L"GamesInstalled", L"1234");
  ProgramRun run;
  run.program = CopyLauncherTo(folder, L"LegacyDanglingSetup.exe");
  run.arguments = L"install -title T -eactitleId 1234";
  run.currentDirectory = folder;
  const ProgramResult result = RunProgram(run);
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "no installer here";
  const Lines lines = LogTexts(result.output);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[3], "extractResource failed: 80");
  EXPECT_EQ(lines[4], "Could not uninstall EasyAntiCheat: 2");
  EXPECT_FALSE(FileExists(linkTarget));
}

class LegacyUninstall : public testing::Test {
 protected:
  void SetUp() override {
    legacy_.SetString(L"", L"GamesInstalled", L"1234");
    folder_ = MakeScratchDirectory(L"legacy-uninstall");
    program_ = CopyLauncherTo(folder_, L"LegacyUninstallRun.exe");
    logDirectory_ = JoinPath(AppDataFolder(), L"LegacyUninstallRun");
    setup_ = JoinPath(logDirectory_, L"EasyAntiCheat_Setup.exe");
    record_ = JoinPath(folder_, L"legacy-record.txt");
    CreateDirectoryW(logDirectory_.c_str(), nullptr);
    // No copy from an earlier test.
    SetFileAttributesW(setup_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(setup_.c_str());
    RemoveDirectoryW(setup_.c_str());
  }

  // No installer is found, so the install fails and the cleanup leaves the
  // extracted copy in place.
  Lines Run(const wchar_t* legacyExit = L"0") {
    ProgramRun run;
    run.program = program_;
    run.arguments = L"install -title T -eactitleId 1234";
    run.currentDirectory = folder_;
    run.environment = {{L"ZELQA_TEST_LEGACY_RECORD", record_},
                       {L"ZELQA_TEST_LEGACY_EXIT", legacyExit}};
    const ProgramResult result = RunProgram(run);
    EXPECT_TRUE(result.started) << result.startError;
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "no installer here";
    return LogTexts(result.output);
  }

  Lines ExpectedLog(const std::string& gameLine, const std::vector<std::string>& legacyLines) {
    Lines lines{gameLine, "Action: install", "EasyAntiCheat is installed."};
    lines.insert(lines.end(), legacyLines.begin(), legacyLines.end());
    lines.insert(lines.end(),
                 {"Installing Zelqa Anti-Cheat", "ZelqaAntiCheat.Installer.exe not found.",
                  "Could not install Zelqa Anti-Cheat: 2"});
    return lines;
  }

  std::vector<std::wstring> Recorded() const { return ReadRecordedLines(record_); }

  static constexpr char kNoGame[] =
      "Could not find game install information. Possible new installation.";
  RegistryFixture legacy_{L"SOFTWARE\\WOW6432Node\\EasyAntiCheat"};
  std::wstring folder_, program_, logDirectory_, setup_, record_;
};

TEST_F(LegacyUninstall, ExtractsTheEmbeddedProgramHiddenAndRunsIt) {
  EXPECT_EQ(Run(), ExpectedLog(kNoGame, {"Extracted EAC setup: " + Narrow(setup_),
                                         "Uninstalled EasyAntiCheat."}));
  EXPECT_TRUE(ReadFileBytes(setup_) == EmbeddedSetup());
  const DWORD attributes = GetFileAttributesW(setup_.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Recorded(), (std::vector<std::wstring>{setup_ + L" uninstall 1234 -console"}));

  // A setup program that fails says so; the install goes on all the same.
  EXPECT_EQ(Run(L"1"), ExpectedLog(kNoGame, {"Could not uninstall EasyAntiCheat: 1"}));
}

TEST_F(LegacyUninstall, RunsAnIdenticalCopyWithoutWritingIt) {
  ASSERT_TRUE(CopyFileTo(JoinPath(TestBinaryDirectory(), L"legacy_setup_standin.exe"), setup_));
  ASSERT_TRUE(SetFileAttributesW(setup_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Run(), ExpectedLog(kNoGame, {"Uninstalled EasyAntiCheat."}));
  EXPECT_EQ(Recorded(), (std::vector<std::wstring>{setup_ + L" uninstall 1234 -console"}));
  EXPECT_NE(GetFileAttributesW(setup_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "left as found";
}

TEST_F(LegacyUninstall, ReplacesAnyOtherCopyBeforeRunningIt) {
  const std::string embedded = EmbeddedSetup();
  std::string flipped = embedded;
  flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x5A);
  const std::vector<std::pair<const char*, std::string>> copies{
      {"foreign", "MZ not the setup program"},
      {"truncated", embedded.substr(0, embedded.size() / 2)},
      {"longer", embedded + "tail"},
      {"one byte changed", flipped},
      {"empty", ""}};
  bool hideIt = false;
  for (const auto& [what, bytes] : copies) {
    SCOPED_TRACE(what);
    SetFileAttributesW(setup_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(WriteFileBytes(setup_, bytes));
    // Every other copy is hidden and read-only, as an earlier run may leave it.
    if ((hideIt = !hideIt)) {
      ASSERT_TRUE(
          SetFileAttributesW(setup_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    }
    DeleteFileW(record_.c_str());
    EXPECT_EQ(Run(), ExpectedLog(kNoGame, {"Extracted EAC setup: " + Narrow(setup_),
                                           "Uninstalled EasyAntiCheat."}));
    EXPECT_TRUE(ReadFileBytes(setup_) == embedded);
    EXPECT_EQ(Recorded(), (std::vector<std::wstring>{setup_ + L" uninstall 1234 -console"}));
  }
}

TEST_F(LegacyUninstall, FallsBackToTheGameFoldersCopyWhenExtractionFails) {
  ASSERT_TRUE(CreateDirectoryW(setup_.c_str(), nullptr));
  // Nothing is ever written over what stands where the setup program goes.
  const std::string failed = "extractResource failed: 80";
  EXPECT_EQ(Run(), ExpectedLog(kNoGame, {failed, "Could not uninstall EasyAntiCheat: 2"}))
      << "no game folder";

  RegistryFixture games(L"SOFTWARE\\Zelqa Games");
  games.SetString(L"Game", L"Install Dir", folder_);
  const std::string gameLine = "Game Root: " + Narrow(folder_);
  EXPECT_EQ(Run(), ExpectedLog(gameLine, {failed, "Could not uninstall EasyAntiCheat: 2"}))
      << "a game folder without a copy";
  EXPECT_TRUE(Recorded().empty());

  const std::wstring gameCopy = JoinPath(folder_, L"EasyAntiCheat\\EasyAntiCheat_Setup.exe");
  ASSERT_TRUE(CreateDirectoryW(JoinPath(folder_, L"EasyAntiCheat").c_str(), nullptr));
  ASSERT_TRUE(CopyFileTo(JoinPath(TestBinaryDirectory(), L"legacy_setup_standin.exe"), gameCopy));
  EXPECT_EQ(Run(), ExpectedLog(gameLine, {failed, "Uninstalled EasyAntiCheat."}));
  EXPECT_EQ(Recorded(), (std::vector<std::wstring>{gameCopy + L" uninstall 1234 -console"}));

  const DWORD attributes = GetFileAttributesW(setup_.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      << "the folder in the way is left alone";
  RemoveDirectoryW(setup_.c_str());
}

TEST_F(LegacyUninstall, ALogDirectoryWithABlankIsQuotedOnTheCommandLine) {
  // In a window station that no one sees, the log directory is the
  // launcher's own folder.
  const std::wstring desktop = CreateHiddenWindowStation(L"LegacyUninstallStation");
  if (desktop.empty()) {
    GTEST_SKIP() << "no hidden window station on this platform";
  }
  const std::wstring parent = MakeScratchDirectory(L"legacy-blank");
  const std::wstring folder = JoinPath(parent, L"log dir");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  // What an unquoted path would start instead: it records where the
  // installer stand-in records.
  CopyStandInInstallerTo(parent);
  ASSERT_TRUE(MoveFileW(JoinPath(parent, L"ZelqaAntiCheat.Installer.exe").c_str(),
                        JoinPath(parent, L"log.exe").c_str()));
  const std::wstring installerRecord = JoinPath(parent, L"installer-record.txt");
  const std::wstring setup = JoinPath(folder, L"EasyAntiCheat_Setup.exe");

  ProgramRun run;
  run.program = CopyLauncherTo(folder, L"LegacyBlank.exe");
  run.arguments = L"install -title T -eactitleId 1234";
  run.currentDirectory = folder;
  run.desktop = desktop;
  run.environment = {{L"ZELQA_TEST_LEGACY_RECORD", record_},
                     {L"ZELQA_TEST_INSTALLER_RECORD", installerRecord}};
  const ProgramResult result = RunProgram(run);
  ASSERT_TRUE(result.started) << result.startError;
  EXPECT_EQ(LogTexts(result.output), ExpectedLog(kNoGame, {"Extracted EAC setup: " + Narrow(setup),
                                                           "Uninstalled EasyAntiCheat."}));
  EXPECT_EQ(Recorded(), (std::vector<std::wstring>{L"\"" + setup + L"\" uninstall 1234 -console"}));
  for (const std::wstring& line : ReadRecordedLines(installerRecord)) {
    EXPECT_EQ(line.find(L"uninstall 1234"), std::wstring::npos) << Narrow(line);
  }
}

}  // namespace
