#pragma once
// The player's standing consent to the install, kept by the anti-cheat.

#include <string>

// True when HKLM\SOFTWARE\Zelqa\AC\Installs holds a REG_DWORD named `title`
// that is not zero: the player already agreed to the install. A value that
// can't be read is no consent; the error is logged unless it is "not found".
bool HasInstallConsent(const std::wstring& title);
