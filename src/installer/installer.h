#pragma once
// Running the anti-cheat's own installer, ZelqaAntiCheat.Installer.exe:
// finding it, starting it and telling its result.

#include <windows.h>

#include <string>

// Where the installer was found.
struct InstallerLocation {
  // How the command line names it: the bare name when the current
  // directory holds one, else its path beside the launcher.
  std::wstring named;
  // The full path of the file that runs: the copy beside the launcher when
  // there is one, which the game's setup put there with the launcher, else
  // the current directory's, which is wherever the caller stood.
  std::wstring file;
};

// Looks for the installer in the current directory and beside the
// launcher. Returns 0 with `found` set; ERROR_FILE_NOT_FOUND when neither
// holds one; or the error of a place that can't be looked at (logged),
// since it may hold the one that would run.
[[nodiscard]] DWORD FindInstallerExecutable(InstallerLocation& found);

// The installer's command line for `arguments` (" --noui --install --title "
// and the like) and `title`: the path quoted when it holds a blank, the title
// quoted as one argument.
std::wstring InstallerCommandLine(const std::wstring& installer, const std::wstring& arguments,
                                  const std::wstring& title);

// The installer is started by the full path of the file found, never
// searched for. `publisher`, when not empty, is the subject common name
// whose Authenticode signature the installer must carry: with it, only the
// checked file runs, and any other is refused with the check's error,
// logged as not trusted.

// Starts the installer with no arguments and does not wait; failures are
// only logged.
void OpenInstaller(const std::wstring& publisher);

// Runs the installer without user interface for `title` and waits. Returns
// the installer's own exit code; 2 when it is missing; the error of looking
// for it; the trust failure; the error of the start or of the check of the
// started image; or WAIT_FAILED when the wait or its exit code failed.
[[nodiscard]] DWORD InstallAntiCheat(const std::wstring& title, const std::wstring& publisher);
[[nodiscard]] DWORD UninstallAntiCheat(const std::wstring& title, const std::wstring& publisher);

// Whether a result of the two above means the work is done: 0, or done with
// a restart to come (3010, 1641).
bool InstallerSucceeded(DWORD result);
