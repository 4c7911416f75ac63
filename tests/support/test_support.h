#pragma once
// Shared helpers of the tests: scratch folders, running programs under the
// test's control, reading the run log, and registry fixtures.

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/unique_resource.h"

// The folder holding the test programs, Launcher.exe and the stand-ins.
std::wstring TestBinaryDirectory();
std::wstring BuiltLauncherPath();
std::wstring StandInInstallerPath();
// The stand-in of the legacy setup program, which Launcher.exe embeds.
std::wstring LegacySetupStandInPath();

// The built Launcher.exe loaded as data, for its resources: the setup
// program it carries among them.
UniqueModule LoadBuiltLauncherAsData();

// A fresh, empty folder under the build tree's scratch area, named `name`.
std::wstring MakeScratchDirectory(const std::wstring& name);

// Copies the built Launcher.exe into `directory` as `fileName` (another name
// gives another log folder and log file name); returns the copy's path.
std::wstring CopyLauncherTo(const std::wstring& directory,
                            const std::wstring& fileName = L"Launcher.exe");

// Copies the stand-in ZelqaAntiCheat.Installer.exe into `directory`.
std::wstring CopyStandInInstallerTo(const std::wstring& directory);

// The user's roaming application-data folder, where logs go by default.
std::wstring AppDataFolder();

// Removes what `path` holds, never through a link, and keeps the folder.
void EmptyFolder(const std::wstring& path);

// A launcher copy named `stem`.exe in `subfolder` of a fresh scratch folder
// `stem`, so that its per-user log folder is its own; that folder is
// removed, with whatever an earlier run of the suite left there.
struct PlacedLauncher {
  std::wstring folder;     // the scratch folder
  std::wstring exe;        // the copy
  std::wstring logFolder;  // %APPDATA%\`stem`
};
PlacedLauncher PlaceLauncher(const std::wstring& stem, const std::wstring& subfolder = L"");

// The files in `directory` whose names match `pattern` ("*.log"), sorted.
std::vector<std::wstring> ListFiles(const std::wstring& directory, const std::wstring& pattern);

std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);

// The error of opening `path` for `access` while letting everyone else do
// anything: ERROR_SHARING_VIOLATION when a holder of the file forbids that
// access; 0 when the open succeeds.
DWORD OpenErrorSharingAll(const std::wstring& path, DWORD access);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);

// Reads the lines a stand-in recorded (UTF-8 to wide), one per start.
std::vector<std::wstring> ReadRecordedLines(const std::wstring& path);

// Which token a program runs with: the test's own, or the one its user has
// without or with elevation (the other of a split token), where there is one.
enum class Elevation { AsTheTest, Unelevated, Elevated };

struct ProgramRun {
  std::wstring program{};                              // full path
  std::wstring arguments{};                            // raw text after the program
  std::wstring currentDirectory{};                     // empty: the test's own
  std::map<std::wstring, std::wstring> environment{};  // added to the test's own
  std::wstring desktop{};                              // "station\\desktop", empty: the test's
  DWORD timeoutMs = 60000;
  Elevation elevation = Elevation::AsTheTest;
};

struct ProgramResult {
  bool started = false;
  DWORD startError = 0;
  DWORD exitCode = 0;
  bool timedOut = false;
  std::string output;  // everything the program wrote to its standard output
};

// The token for `elevation`: left empty when the test's own is one. False
// where there is none.
bool TokenWithElevation(Elevation elevation, UniqueHandle& token);

// Starts the program with its standard output on a file and waits for it.
ProgramResult RunProgram(const ProgramRun& run);

// The first line of a run that found no game.
inline constexpr char kNoGameLine[] =
    "Could not find game install information. Possible new installation.";

// The texts of a run log's lines, without their prefixes.
using LogLines = std::vector<std::string>;

// The texts of the run log's lines, each checked to start with the
// "dddd.ddd | " prefix and to end in CR LF; a malformed line is returned
// as "<bad line: ...>" so the comparison shows it.
LogLines LogTexts(const std::string& output);

// Creates a window station without WSF_VISIBLE, as a service has, with a
// "Default" desktop, and returns "<name>\\Default" for ProgramRun::desktop;
// empty when the platform refuses. The station lives until the test ends.
std::wstring CreateHiddenWindowStation(const std::wstring& name);

// Points this process's run log at a new file while `step` runs, then back
// at standard output, where other tests expect it, and returns the texts of
// the lines written; "<run log not redirected: error>" when it can't be.
LogLines CaptureRunLog(const std::function<void()>& step);

// A path as the run log writes it: quoted, backslashes and quotes escaped.
std::string LogQuoted(const std::wstring& path);

// The arguments a child receives when it splits `commandLine` the usual way.
std::vector<std::wstring> SplitLikeAChild(const std::wstring& commandLine);

// True when the tests run under Wine rather than Windows.
bool IsUnderWine();

// Makes `link` a symbolic link to `target`: with CreateSymbolicLinkW on
// Windows, from the host side under Wine (whose own call does nothing; a
// host link to a folder then shows as a folder with a reparse point, one to
// a file as that file). False when no link could be made: tests then skip.
bool MakeSymbolicLink(const std::wstring& target, const std::wstring& link, bool directory);

// Renames `from` to `to` from the host side under Wine, past any handle the
// launcher holds (Windows itself refuses such a rename); false elsewhere.
bool RenameOnHost(const std::wstring& from, const std::wstring& to);

// Runs the shell `script` on the host under Wine, in the host folder of
// `folder`, and waits for it; for what Linux allows and Windows doesn't
// (names ending in dots, paths past 4,095 bytes). False elsewhere, or when
// the script failed.
bool RunOnHost(const std::wstring& folder, const std::string& script);

// Maps drive `letter` (as L'X') to `folder`, so a drive root can be tested
// without touching a real one (under Wine the test session maps X: to
// scratch\drive-x). False when the drive is not `folder`.
bool MapDriveLetter(wchar_t letter, const std::wstring& folder);

// A key under HKEY_LOCAL_MACHINE that the test fills and that is removed,
// with everything below it, when the fixture goes.
class RegistryFixture {
 public:
  explicit RegistryFixture(std::wstring path);
  ~RegistryFixture();
  RegistryFixture(const RegistryFixture&) = delete;
  RegistryFixture& operator=(const RegistryFixture&) = delete;

  void SetString(const std::wstring& subkey, const std::wstring& name, const std::wstring& value,
                 DWORD type = REG_SZ);
  void SetDword(const std::wstring& subkey, const std::wstring& name, DWORD value);
  void SetQword(const std::wstring& subkey, const std::wstring& name, ULONGLONG value);
  void SetBinary(const std::wstring& subkey, const std::wstring& name, const std::string& bytes);
  void CreateSubkey(const std::wstring& subkey);
  // Keeps everyone from reading `subkey` (made when missing) until the
  // fixture goes, as a key locked down by its owner.
  void DenyReading(const std::wstring& subkey);

 private:
  void SetValue(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data,
                DWORD size);
  void SetSecurity(const std::wstring& subkey, const wchar_t* dacl);
  std::wstring path_;
  std::vector<std::wstring> denied_;
};

// The legacy anti-cheat's registration, in the 32-bit view where it keeps
// it: the key alone, or listing `gamesInstalled` ("77;1234").
class LegacyRegistration : public RegistryFixture {
 public:
  LegacyRegistration();
  explicit LegacyRegistration(const std::wstring& gamesInstalled);
  void SetGames(const std::wstring& gamesInstalled, DWORD type = REG_SZ);
};

std::wstring Widen(const std::string& text);   // UTF-8 to UTF-16
std::string Narrow(const std::wstring& text);  // UTF-16 to UTF-8
