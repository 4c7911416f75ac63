#include <gtest/gtest.h>

#include <regex>

#include "common/path_text.h"
#include "launcher/log_placement.h"
#include "test_support.h"

namespace {

TEST(LogPlacementNames, TimestampIsLocalTimeInFixedForm) {
  const std::wstring now = FormatLogTimestamp();
  EXPECT_TRUE(std::regex_match(now, std::wregex(LR"(\d{4}-\d\d-\d\d \d\d-\d\d-\d\d)")))
      << Narrow(now);
  EXPECT_EQ(FormatLogTimestamp(static_cast<std::time_t>(-1)), L"")
      << "a time the runtime can't convert gives an empty stamp";
}

TEST(LogPlacementRun, LogFileLandsInPerUserFolderNamedAfterTheStem) {
  const PlacedLauncher placed = PlaceLauncher(L"PlacementStem");
  const ProgramResult result = RunProgram({placed.exe, L"install -log", placed.folder});
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 160u);
  EXPECT_EQ(result.output, "") << "with a log file nothing goes to standard output";

  const std::vector<std::wstring> files = ListFiles(placed.logFolder, L"*");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      files[0], std::wregex(LR"(PlacementStem_\d{4}-\d\d-\d\d \d\d-\d\d-\d\d\.log)")))
      << Narrow(files[0]);
  const std::wstring logPath = JoinPath(placed.logFolder, files[0]);
  EXPECT_EQ(LogTexts(ReadFileBytes(logPath)), (LogLines{
                                                  "Log file started: " + LogQuoted(logPath),
                                                  "Args: install -log",
                                                  "Working Dir: " + LogQuoted(placed.folder),
                                                  kNoGameLine,
                                                  "Action: install",
                                                  "Missing: title",
                                              }));
}

TEST(LogPlacementRun, PerUserFolderIsCreatedEvenWithoutLogOption) {
  const PlacedLauncher placed = PlaceLauncher(L"PlacementNoLog");
  const ProgramResult result = RunProgram({placed.exe, L"install", placed.folder});
  EXPECT_EQ(result.exitCode, 160u);
  EXPECT_EQ(GetFileAttributesW(placed.logFolder.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(ListFiles(placed.logFolder, L"*").empty());
  EXPECT_EQ(LogTexts(result.output).back(), "Missing: title");
}

// A file, or a link to elsewhere, where the per-user folder should be: the
// log and the setup program go beside the executable instead.
TEST(LogPlacementRun, PerUserFolderThatIsNoFolderOfItsOwnIsPassedOver) {
  const PlacedLauncher placed = PlaceLauncher(L"PlacementBlocked");
  const std::wstring elsewhere = MakeScratchDirectory(L"placement-elsewhere");
  for (const bool link : {false, true}) {
    DeleteFileW(placed.logFolder.c_str());
    RemoveDirectoryW(placed.logFolder.c_str());
    if (link) {
      if (!MakeSymbolicLink(elsewhere, placed.logFolder, true)) {
        GTEST_SKIP() << "no directory link can be made here";
      }
    } else {
      ASSERT_TRUE(WriteFileBytes(placed.logFolder, "not a folder"));
    }
    for (const std::wstring& name : ListFiles(placed.folder, L"*.log")) {
      DeleteFileW(JoinPath(placed.folder, name).c_str());
    }
    const ProgramResult result = RunProgram({placed.exe, L"install -log -title", placed.folder});
    EXPECT_EQ(result.exitCode, 160u);
    EXPECT_EQ(result.output, "") << "link " << link;
    const std::vector<std::wstring> files = ListFiles(placed.folder, L"PlacementBlocked_*.log");
    ASSERT_EQ(files.size(), 1u) << "link " << link;
    EXPECT_EQ(LogTexts(ReadFileBytes(JoinPath(placed.folder, files[0]))).back(), "Missing: title");
    EXPECT_TRUE(ListFiles(elsewhere, L"*").empty());
  }
}

// An earlier run's log is never overwritten: a run takes the next number
// after the names taken in its second, up to _10, else the log stays on
// standard output.
TEST(LogPlacementRun, ALogFileIsAlwaysNewAndNumberedAfterTheTakenNames) {
  const PlacedLauncher placed = PlaceLauncher(L"PlacementTaken");
  ASSERT_TRUE(CreateDirectoryW(placed.logFolder.c_str(), nullptr));
  for (const int taken : {1, 9, 10}) {
    SCOPED_TRACE(taken);
    EmptyFolder(placed.logFolder);
    // Under every name the next seconds' run could take.
    const std::time_t now = std::time(nullptr);
    for (std::time_t second = now; second < now + 10; ++second) {
      for (int attempt = 1; attempt <= taken; ++attempt) {
        const std::wstring name =
            LogFileName(L"PlacementTaken", FormatLogTimestamp(second), attempt);
        ASSERT_TRUE(WriteFileBytes(JoinPath(placed.logFolder, name), "earlier"));
      }
    }
    const ProgramResult result = RunProgram({placed.exe, L"install -log -title", placed.folder});
    EXPECT_EQ(result.exitCode, 160u);
    const std::vector<std::wstring> made =
        ListFiles(placed.logFolder, L"*_" + std::to_wstring(taken + 1) + L".log");
    ASSERT_EQ(made.size(), taken < 10 ? 1u : 0u);
    const std::string log =
        made.empty() ? result.output : ReadFileBytes(JoinPath(placed.logFolder, made[0]));
    EXPECT_NE(log.find("Missing: title\r\n"), std::string::npos);
    EXPECT_EQ(result.output.empty(), !made.empty()) << "the log is in one place";
  }
}

TEST(LogPlacementRun, ServiceWindowStationLogsBesideTheExecutable) {
  const PlacedLauncher placed = PlaceLauncher(L"PlacementService");
  const std::wstring desktop = CreateHiddenWindowStation(L"ZelqaPlacementStation");
  ASSERT_FALSE(desktop.empty()) << "no hidden window station: " << GetLastError();
  ProgramRun run{placed.exe, L"install -log", placed.folder};
  run.desktop = desktop;
  const ProgramResult result = RunProgram(run);
  EXPECT_EQ(result.exitCode, 160u);
  EXPECT_EQ(GetFileAttributesW(placed.logFolder.c_str()), INVALID_FILE_ATTRIBUTES)
      << "no per-user folder is created for a service";
  const std::vector<std::wstring> files = ListFiles(placed.folder, L"PlacementService_*.log");
  ASSERT_EQ(files.size(), 1u);
  const LogLines lines = LogTexts(ReadFileBytes(JoinPath(placed.folder, files[0])));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Log file started: " + LogQuoted(JoinPath(placed.folder, files[0])));
}

TEST(LogPlacementRun, WideCharactersBecomeQuestionMarksAndTheLogGoesOn) {
  const PlacedLauncher placed = PlaceLauncher(L"PlacementWide");
  const std::wstring folder = JoinPath(placed.folder, L"caf\u00e9 \u4e2d");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const ProgramResult result = RunProgram({placed.exe, L"install -log", folder});
  EXPECT_EQ(result.exitCode, 160u);
  const std::vector<std::wstring> files = ListFiles(placed.logFolder, L"*.log");
  ASSERT_EQ(files.size(), 1u);
  const LogLines lines = LogTexts(ReadFileBytes(JoinPath(placed.logFolder, files[0])));
  ASSERT_EQ(lines.size(), 6u);
  std::string expectedFolder = LogQuoted(placed.folder);
  expectedFolder.pop_back();
  EXPECT_EQ(lines[2], "Working Dir: " + expectedFolder + "\\\\caf\xE9 ?\"");
  EXPECT_EQ(lines[5], "Missing: title");
}

}  // namespace
