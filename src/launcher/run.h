#pragma once
// One run of the launcher, from the command line to the exit code.

#include <windows.h>

#include <string>

// The exit codes besides the installer's own results.
constexpr DWORD kExitBadArguments = ERROR_BAD_ARGUMENTS;  // 160
constexpr DWORD kExitCancelled = ERROR_CANCELLED;         // 1223

// True when the user's default language is Arabic, whose boxes read right
// to left.
bool IsArabicUserLanguage();

// Message-box styles: system-modal, and right-aligned right-to-left reading
// for Arabic users.
UINT QuestionStyle(bool arabic);
UINT ErrorStyle(bool arabic);

// True when HKLM\SOFTWARE\Zelqa\AC\Installs holds a non-zero 32-bit value
// named `title`: the user already agreed to the install.
bool HasInstallConsent(const std::wstring& title);

// Carries out the action of the process's command line and returns the exit
// code. `instance` holds the string table and the icon.
[[nodiscard]] DWORD RunLauncher(HINSTANCE instance);
