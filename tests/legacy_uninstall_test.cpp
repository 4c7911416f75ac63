#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/path_text.h"
#include "common/unique_resource.h"
#include "legacy/uninstall.h"
#include "test_support.h"

namespace {

TEST(LegacyUninstallCommand, NamesTheIdAndQuotesAPathWithBlanks) {
  EXPECT_EQ(LegacyUninstallCommandLine(L"C:\\Logs\\EasyAntiCheat_Setup.exe", -5),
            L"C:\\Logs\\EasyAntiCheat_Setup.exe uninstall -5 -console");
  // Unquoted, C:\Users\Jo.exe would run in place of the setup program.
  EXPECT_EQ(LegacyUninstallCommandLine(L"C:\\Users\\Jo Doe\\S.exe", 7),
            L"\"C:\\Users\\Jo Doe\\S.exe\" uninstall 7 -console");
}

std::string EmbeddedSetup() { return ReadFileBytes(LegacySetupStandInPath()); }

// Between writing the setup program and running it, whoever owns the log
// folder could put another program there: only the checked copy runs, and
// it stays locked against changes.
TEST(LegacyUninstallExtract, OnlyTheCheckedCopyRuns) {
  const UniqueModule launcher = LoadBuiltLauncherAsData();
  ASSERT_TRUE(launcher);
  RetryBudget budget;
  UniqueSetupFolder owner(budget);
  ASSERT_EQ(CreateSecureSetupFolder(owner), 0u) << "an elevated run's own folder";
  const HeldFolder& held = owner.folder();
  const std::wstring target = JoinPath(held.path, L"EasyAntiCheat_Setup.exe");

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
      // Renamed into place, so that even Wine, which reuses a file id at
      // once, gives it another: the same bytes are not the file written.
      {"swapped for an identical copy",
       [](const std::wstring& path) {
         CopyFileTo(LegacySetupStandInPath(), path + L".copy");
         MoveFileExW((path + L".copy").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
       },
       ERROR_FILE_INVALID},
      {"left alone", nullptr, ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    holder.reset();
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(target.c_str());
    UniqueFileHandle locked;
    EXPECT_EQ(ProvideLegacySetup(launcher.get(), held, locked, c.swap), c.expected) << c.what;
    EXPECT_EQ(static_cast<bool>(locked), c.expected == ERROR_SUCCESS) << c.what;
  }
  // The checked copy is hidden and can't be changed while it is held.
  UniqueFileHandle locked;
  ASSERT_EQ(ProvideLegacySetup(launcher.get(), held, locked), 0u);
  EXPECT_NE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  for (const DWORD access : {DWORD{GENERIC_WRITE}, DWORD{DELETE}}) {
    EXPECT_EQ(OpenErrorSharingAll(target, access), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_TRUE(ReadFileBytes(target) == EmbeddedSetup());

  const std::wstring path = held.path;
  locked.reset();
  owner.reset();
  EXPECT_FALSE(FileExists(path));
}

// Protected (nothing inherited from the parent), with full control for
// SYSTEM and Administrators, inherited by the files and folders inside, and
// no entry for anyone else: read entry by entry.
void ExpectOnlySystemAndAdministrators(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "the parent's entries are inherited";
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl != nullptr) << "no DACL lets everyone in";
  LogLines granted;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    SCOPED_TRACE("entry " + std::to_string(i));
    ASSERT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    EXPECT_EQ(allowed->Header.AceFlags & VALID_INHERIT_FLAGS,
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    LPWSTR text = nullptr;
    ConvertSidToStringSidW(sid, &text);
    const UniqueLocalMemory owner(text);
    granted.push_back(IsWellKnownSid(sid, WinLocalSystemSid)             ? "SYSTEM"
                      : IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ? "Administrators"
                                                                         : Narrow(text));
  }
  EXPECT_EQ(granted, (LogLines{"SYSTEM", "Administrators"}));
}

TEST(LegacyUninstallSetupFolder, OnlySystemAndAdministratorsMayWriteThere) {
  UniqueLocalMemory built;
  ASSERT_EQ(BuildAdminOnlyDescriptor(built), 0u);
  ExpectOnlySystemAndAdministrators(built.get());
}

TEST(LegacyUninstallSetupFolder, WindowsKeepsTheDescriptorAsBuilt) {
  if (IsUnderWine()) {
    GTEST_SKIP() << "Wine keeps no security descriptor to read back";
  }
  RetryBudget budget;
  UniqueSetupFolder owner(budget);
  ASSERT_EQ(CreateSecureSetupFolder(owner), 0u);
  PSECURITY_DESCRIPTOR readBack = nullptr;
  ASSERT_EQ(GetSecurityInfo(owner.folder().handle.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &readBack),
            0u);
  const UniqueLocalMemory readBackOwner(readBack);
  ExpectOnlySystemAndAdministrators(readBack);
}

// Never a folder that already stood there, whoever made it, and never the
// same name twice; and gone with its owner, even when an exception ends the
// run, and although someone looks at the setup program there for a moment:
// holding it without sharing its deletion, or with full sharing as a
// scanner does, which keeps the folder from going until it lets go.
TEST(LegacyUninstallSetupFolder, IsAlwaysNewAndGoesWithItsOwner) {
  const std::wstring parent = MakeScratchDirectory(L"admin-only-parent");
  ASSERT_TRUE(CreateDirectoryW(JoinPath(parent, L"Stem-taken").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(JoinPath(parent, L"Stem-taken\\version.dll"), "planted"));
  HeldFolder first;
  HeldFolder second;
  EXPECT_EQ(CreateAdminOnlyFolder(parent, L"Stem", first,
                                  [](const std::wstring& stem) { return stem + L"-taken"; }),
            static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_FALSE(first.handle);
  ASSERT_EQ(CreateAdminOnlyFolder(parent, L"Stem", first), 0u);
  ASSERT_EQ(CreateAdminOnlyFolder(parent, L"Stem", second), 0u);
  EXPECT_NE(first.path, second.path);

  static UniqueFileHandle holder;
  const UniqueModule launcher = LoadBuiltLauncherAsData();
  for (const DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_DELETE}}) {
    RetryBudget budget{1000, [](DWORD) { holder.reset(); }};
    std::wstring setup;
    const LogLines lines = CaptureRunLog([&] {
      try {
        UniqueSetupFolder owner(budget);
        UniqueFileHandle locked;
        ASSERT_EQ(CreateSecureSetupFolder(owner), 0u);
        ASSERT_EQ(ProvideLegacySetup(launcher.get(), owner.folder(), locked), 0u);
        locked.reset();
        setup = JoinPath(owner.folder().path, L"EasyAntiCheat_Setup.exe");
        holder.reset(
            CreateFileW(setup.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        throw std::runtime_error("the run ends");
      } catch (const std::runtime_error&) {
      }
    });
    EXPECT_EQ(lines, LogLines{"Extracted EAC setup: " + Narrow(setup)}) << share;
    EXPECT_FALSE(FileExists(ParentPath(setup))) << share;
  }
}

// A link where the setup program goes, leading nowhere (a launcher writing
// through it would make a file anywhere) or to a byte-identical copy with a
// DLL planted beside it. Unelevated, the extraction is refused and nothing
// runs there; elevated, the setup program runs from a folder of its own.
TEST(LegacyUninstallLinks, APlantedLinkIsNeverWrittenThroughNorRun) {
  const PlacedLauncher placed = PlaceLauncher(L"LegacyPlantedLink");
  const std::wstring& folder = placed.folder;
  const std::wstring outside = MakeScratchDirectory(L"legacy-planted-link-to");
  const std::wstring copy = JoinPath(outside, L"copy.exe");
  const std::wstring marker = JoinPath(folder, L"planted-dll-loaded");
  const std::wstring record = JoinPath(folder, L"record.txt");
  ASSERT_TRUE(CopyFileTo(LegacySetupStandInPath(), copy));
  ASSERT_TRUE(CopyFileTo(JoinPath(TestBinaryDirectory(), L"planted\\version.dll"),
                         JoinPath(outside, L"version.dll")));
  CreateDirectoryW(placed.logFolder.c_str(), nullptr);
  const LegacyRegistration legacy(L"1234");
  for (const std::wstring& target : {JoinPath(outside, L"new.exe"), copy}) {
    if (!MakeSymbolicLink(target, JoinPath(placed.logFolder, L"EasyAntiCheat_Setup.exe"), false)) {
      GTEST_SKIP() << "no link can be made here";
    }
    for (const bool unelevated : {true, false}) {
      SCOPED_TRACE(Narrow(target) + (unelevated ? " unelevated" : " elevated"));
      DeleteFileW(record.c_str());
      ProgramRun run{placed.exe, L"install -title T -eactitleId 1234", folder};
      run.elevation = unelevated ? Elevation::Unelevated : Elevation::Elevated;
      run.environment = {{L"ZELQA_TEST_LEGACY_RECORD", record},
                         {L"ZELQA_TEST_PLANTED_RECORD", marker}};
      const ProgramResult result = RunProgram(run);
      if (result.startError == ERROR_PRIVILEGE_NOT_HELD) {
        GTEST_SKIP() << "this system gives no such token";
      }
      const LogLines lines = LogTexts(result.output);
      ASSERT_GE(lines.size(), 5u);
      EXPECT_EQ(lines[3].substr(0, 24),
                unelevated ? "extractResource failed: " : "Extracted EAC setup: C:\\");
      EXPECT_EQ(ReadRecordedLines(record).size(), unelevated ? 0u : 1u);
      EXPECT_FALSE(FileExists(JoinPath(outside, L"new.exe")));
      EXPECT_FALSE(FileExists(marker));
    }
  }
}

class LegacyUninstall : public testing::Test {
 protected:
  void SetUp() override {
    UniqueHandle token;
    if (!TokenWithElevation(Elevation::Unelevated, token) ||
        !TokenWithElevation(Elevation::Elevated, token)) {
      GTEST_SKIP() << "runs unelevated and elevated, and this system gives only one";
    }
    const PlacedLauncher placed = PlaceLauncher(L"LegacyUninstallRun");
    folder_ = placed.folder;
    program_ = placed.exe;
    logDirectory_ = placed.logFolder;
    setup_ = JoinPath(logDirectory_, L"EasyAntiCheat_Setup.exe");
    record_ = JoinPath(folder_, L"legacy-record.txt");
    CreateDirectoryW(logDirectory_.c_str(), nullptr);
  }

  // Unelevated, the setup program goes to the log folder. No installer is
  // found, so the install fails and the cleanup leaves the extracted copy.
  LogLines Run(const wchar_t* legacyExit = L"0") {
    ProgramRun run{program_, L"install -title T -eactitleId 1234", folder_};
    run.elevation = Elevation::Unelevated;
    run.environment = {{L"ZELQA_TEST_LEGACY_RECORD", record_},
                       {L"ZELQA_TEST_LEGACY_EXIT", legacyExit}};
    const ProgramResult result = RunProgram(run);
    EXPECT_TRUE(result.started) << result.startError;
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "no installer here";
    return LogTexts(result.output);
  }

  LogLines ExpectedLog(const std::string& gameLine, const LogLines& legacyLines) {
    LogLines lines{gameLine, "Action: install", "EasyAntiCheat is installed."};
    lines.insert(lines.end(), legacyLines.begin(), legacyLines.end());
    lines.insert(lines.end(),
                 {"Installing Zelqa Anti-Cheat", "ZelqaAntiCheat.Installer.exe not found.",
                  "Could not install Zelqa Anti-Cheat: 2"});
    return lines;
  }

  std::vector<std::wstring> Recorded() const { return ReadRecordedLines(record_); }

  const LegacyRegistration legacy_{L"1234"};
  std::wstring folder_, program_, logDirectory_, setup_, record_;
};

TEST_F(LegacyUninstall, ExtractsTheEmbeddedProgramHiddenAndRunsIt) {
  EXPECT_EQ(Run(), ExpectedLog(kNoGameLine, {"Extracted EAC setup: " + Narrow(setup_),
                                             "Uninstalled EasyAntiCheat."}));
  EXPECT_TRUE(ReadFileBytes(setup_) == EmbeddedSetup());
  const DWORD attributes = GetFileAttributesW(setup_.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Recorded(), (std::vector<std::wstring>{setup_ + L" uninstall 1234 -console"}));

  // A setup program that fails says so; the install goes on all the same.
  EXPECT_EQ(Run(L"1"), ExpectedLog(kNoGameLine, {"Could not uninstall EasyAntiCheat: 1"}));
}

// The player can write to the log folder: a DLL planted there loads into
// a program run from there, so an elevated launcher never runs its setup
// program there.
TEST_F(LegacyUninstall, ADllPlantedInTheLogFolderNeverLoadsIntoAnElevatedSetup) {
  const std::wstring marker = JoinPath(folder_, L"planted-dll-loaded");
  ASSERT_TRUE(CopyFileTo(JoinPath(TestBinaryDirectory(), L"planted\\version.dll"),
                         JoinPath(logDirectory_, L"version.dll")));
  ProgramRun run{setup_, L"", folder_};
  run.environment = {{L"ZELQA_TEST_PLANTED_RECORD", marker}};
  ASSERT_TRUE(CopyFileTo(LegacySetupStandInPath(), setup_));
  RunProgram(run);
  ASSERT_TRUE(FileExists(marker)) << "a DLL beside a program loads into it";
  ASSERT_TRUE(DeleteFileW(marker.c_str()));

  run.program = program_;
  run.arguments = L"install -title T -eactitleId 1234";
  run.elevation = Elevation::Elevated;
  const LogLines lines = LogTexts(RunProgram(run).output);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[4], "Uninstalled EasyAntiCheat.") << "the setup program ran";
  EXPECT_FALSE(FileExists(marker));
  DeleteFileW(JoinPath(logDirectory_, L"version.dll").c_str());
}

// The log folder is held for the whole run: it can't be renamed while the
// installer runs, and when the host swaps it for a link all the same,
// nothing is deleted through that link.
TEST_F(LegacyUninstall, ALogFolderSwappedForALinkMidRunIsNeverUsed) {
  CopyStandInInstallerTo(folder_);
  const std::wstring victim = MakeScratchDirectory(L"legacy-swap-victim");
  ASSERT_TRUE(WriteFileBytes(JoinPath(victim, L"EasyAntiCheat_Setup.exe"), "keep"));
  const std::wstring moved = logDirectory_ + L"-moved-" + std::to_wstring(GetTickCount64());
  const std::wstring installerRecord = JoinPath(folder_, L"installer-record.txt");
  const std::wstring release = JoinPath(folder_, L"release");
  ProgramRun run{program_, L"install -title T -eactitleId 1234", folder_};
  run.elevation = Elevation::Unelevated;
  run.environment = {{L"ZELQA_TEST_INSTALLER_WAIT_FOR", release},
                     {L"ZELQA_TEST_INSTALLER_RECORD", installerRecord}};
  ProgramResult result;
  std::thread launcher([&] { result = RunProgram(run); });
  for (int i = 0; i < 200 && !FileExists(installerRecord); ++i) {
    Sleep(25);
  }
  const bool renamed = MoveFileW(logDirectory_.c_str(), moved.c_str()) != FALSE;
  const bool swapped =
      RenameOnHost(logDirectory_, moved) && MakeSymbolicLink(victim, logDirectory_, true);
  WriteFileBytes(release, "");
  launcher.join();
  EXPECT_FALSE(renamed) << "the log folder was not held";
  if (!swapped) {
    GTEST_SKIP() << "only Wine's host can swap a held folder";
  }
  EXPECT_EQ(ReadFileBytes(JoinPath(victim, L"EasyAntiCheat_Setup.exe")), "keep");
  EXPECT_TRUE(FileExists(JoinPath(moved, L"EasyAntiCheat_Setup.exe")));
  const LogLines lines = LogTexts(result.output);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Skipping link: " + Narrow(setup_)), lines.end());
  RenameOnHost(logDirectory_, moved + L"-link");
}

// Stands a file where `folder` was for as long as it lives, as a full disk
// or a locked-down folder keeps anything from being made there.
struct FileInPlaceOf {
  explicit FileInPlaceOf(std::wstring path) : folder(std::move(path)) {
    blocked = MoveFileW(folder.c_str(), (folder + L"-moved").c_str()) &&
              WriteFileBytes(folder, "in the way");
  }
  ~FileInPlaceOf() {
    DeleteFileW(folder.c_str());
    MoveFileW((folder + L"-moved").c_str(), folder.c_str());
  }
  std::wstring folder;
  bool blocked = false;
};

// Elevated, the setup program runs only from the run's own folder: when
// none can be made, no copy the player could have written runs instead
// (the log folder's or the game's), and the legacy files stay.
TEST_F(LegacyUninstall, AnElevatedRunWhoseOwnFolderCannotBeMadeRunsNoOtherCopy) {
  wchar_t windows[MAX_PATH] = {};
  wchar_t programData[MAX_PATH] = {};
  ASSERT_NE(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, programData), S_OK);
  const std::wstring gameCopy = JoinPath(folder_, L"EasyAntiCheat\\EasyAntiCheat_Setup.exe");
  ASSERT_TRUE(CreateDirectoryW(JoinPath(folder_, L"EasyAntiCheat").c_str(), nullptr));
  ASSERT_TRUE(CopyFileTo(LegacySetupStandInPath(), gameCopy));
  CopyStandInInstallerTo(folder_);
  RegistryFixture games(L"SOFTWARE\\Zelqa Games");
  games.SetString(L"Game", L"Install Dir", folder_);
  ProgramRun run{program_, L"install -title T -eactitleId 1234", folder_};
  run.elevation = Elevation::Elevated;
  run.environment = {{L"ZELQA_TEST_LEGACY_RECORD", record_}};
  ProgramResult result;
  {
    const FileInPlaceOf temp(JoinPath(windows, L"Temp"));
    const FileInPlaceOf data(programData);
    if (!temp.blocked || !data.blocked) {
      GTEST_SKIP() << "the system keeps its Temp folder or ProgramData in use";
    }
    result = RunProgram(run);
  }
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(LogTexts(result.output),
            (LogLines{"Game Root: " + Narrow(folder_), "Action: install",
                      "EasyAntiCheat is installed.", "extractResource failed: 267",
                      "Could not uninstall EasyAntiCheat: 267", "Installing Zelqa Anti-Cheat",
                      "Installed Zelqa Anti-Cheat.", "Keeping legacy files: 267"}));
  EXPECT_TRUE(Recorded().empty());
  EXPECT_FALSE(FileExists(setup_));
  EXPECT_TRUE(FileExists(gameCopy));
}

TEST_F(LegacyUninstall, RunsAnIdenticalCopyWithoutWritingIt) {
  ASSERT_TRUE(CopyFileTo(LegacySetupStandInPath(), setup_));
  ASSERT_TRUE(SetFileAttributesW(setup_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Run(), ExpectedLog(kNoGameLine, {"Uninstalled EasyAntiCheat."}));
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
    EXPECT_EQ(Run(), ExpectedLog(kNoGameLine, {"Extracted EAC setup: " + Narrow(setup_),
                                               "Uninstalled EasyAntiCheat."}));
    EXPECT_TRUE(ReadFileBytes(setup_) == embedded);
    EXPECT_EQ(Recorded(), (std::vector<std::wstring>{setup_ + L" uninstall 1234 -console"}));
  }
}

TEST_F(LegacyUninstall, FallsBackToTheGameFoldersCopyWhenExtractionFails) {
  ASSERT_TRUE(CreateDirectoryW(setup_.c_str(), nullptr));
  // Nothing is ever written over what stands where the setup program goes.
  const std::string failed = "extractResource failed: 80";
  EXPECT_EQ(Run(), ExpectedLog(kNoGameLine, {failed, "Could not uninstall EasyAntiCheat: 2"}))
      << "no game folder";

  RegistryFixture games(L"SOFTWARE\\Zelqa Games");
  games.SetString(L"Game", L"Install Dir", folder_);
  const std::string gameLine = "Game Root: " + Narrow(folder_);
  EXPECT_EQ(Run(), ExpectedLog(gameLine, {failed, "Could not uninstall EasyAntiCheat: 2"}))
      << "a game folder without a copy";
  EXPECT_TRUE(Recorded().empty());

  const std::wstring gameCopy = JoinPath(folder_, L"EasyAntiCheat\\EasyAntiCheat_Setup.exe");
  ASSERT_TRUE(CreateDirectoryW(JoinPath(folder_, L"EasyAntiCheat").c_str(), nullptr));
  ASSERT_TRUE(CopyFileTo(LegacySetupStandInPath(), gameCopy));
  EXPECT_EQ(Run(), ExpectedLog(gameLine, {failed, "Uninstalled EasyAntiCheat."}));
  EXPECT_EQ(Recorded(), (std::vector<std::wstring>{gameCopy + L" uninstall 1234 -console"}));

  // A build with a pinned publisher runs the game's copy only when it is its own.
  ASSERT_TRUE(CopyFileTo(JoinPath(TestBinaryDirectory(), L"LauncherPinned.exe"), program_));
  EXPECT_EQ(Run(), ExpectedLog(gameLine, {failed, "Uninstalled EasyAntiCheat."}));
  ASSERT_TRUE(WriteFileBytes(gameCopy, "MZ not the setup program"));
  DeleteFileW(record_.c_str());
  EXPECT_EQ(Run(), ExpectedLog(gameLine, {failed, "Could not uninstall EasyAntiCheat: 1006"}));
  EXPECT_TRUE(Recorded().empty());

  const DWORD attributes = GetFileAttributesW(setup_.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      << "the folder in the way is left alone";
  RemoveDirectoryW(setup_.c_str());
}

}  // namespace
