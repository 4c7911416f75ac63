#pragma once
// Running the anti-cheat's own installer, ZelqaAntiCheat.Installer.exe:
// finding it, starting it and telling its result.

#include <windows.h>

#include <optional>
#include <string>

// The installer in the current directory (bare name) or beside the launcher,
// in that order; none when neither exists.
std::optional<std::wstring> FindInstallerExecutable();

// The installer's command line for `arguments` (" --noui --install --title "
// and the like) and `title`: the path quoted when it holds a blank, the title
// quoted as one argument.
std::wstring InstallerCommandLine(const std::wstring& installer, const std::wstring& arguments,
                                  const std::wstring& title);

// `publisher`, when not empty, is the subject common name whose Authenticode
// signature the installer must carry: with it, only the checked file runs
// (the copy beside the launcher when both folders hold one), and any other
// is refused with the check's error, logged as not trusted.

// Starts the installer with no arguments and does not wait; failures are
// only logged.
void OpenInstaller(const std::wstring& publisher);

// Runs the installer without user interface for `title` and waits. Returns
// the installer's own exit code; 2 when it is missing; the trust failure; the
// error of the start; or WAIT_FAILED when the wait or its exit code failed.
[[nodiscard]] DWORD InstallAntiCheat(const std::wstring& title, const std::wstring& publisher);
[[nodiscard]] DWORD UninstallAntiCheat(const std::wstring& title, const std::wstring& publisher);

// Whether a result of the two above means the work is done: 0, or done with
// a restart to come (3010, 1641).
bool InstallerSucceeded(DWORD result);
