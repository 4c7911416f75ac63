#pragma once
// Whether the legacy anti-cheat is registered for a game: its id in the
// "GamesInstalled" list under HKLM\SOFTWARE\WOW6432Node\EasyAntiCheat.

#include <cstdint>
#include <string>

// True when `gameId` is in the ";"-separated list of legacy game ids. A
// field that is no number, or out of the signed 32-bit range, matches none.
bool GamesListContains(const std::wstring& list, std::int32_t gameId);

// True when the legacy registration lists `gameId`; false when it doesn't,
// or when the list can't be read.
bool IsEasyAntiCheatInstalled(std::int32_t gameId);
