#pragma once
// Whether the legacy anti-cheat is registered for a game: its id in the
// "GamesInstalled" list under HKLM\SOFTWARE\WOW6432Node\EasyAntiCheat.

#include <windows.h>

#include <cstdint>
#include <string>

// True when `gameId` is in the ";"-separated list of legacy game ids. A
// field that is no number, or out of the signed 32-bit range, matches none.
bool GamesListContains(const std::wstring& list, std::int32_t gameId);

// Sets `installed` when the legacy registration lists `gameId`. Returns 0
// when that is known (no key or no list: not installed), or the error that
// kept the list from being read: then nothing is known, and `installed` is
// false.
[[nodiscard]] DWORD IsEasyAntiCheatInstalled(std::int32_t gameId, bool& installed);
