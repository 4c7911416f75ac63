#pragma once
// Finding the game's registration under HKLM\SOFTWARE\Zelqa Games.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Every REG_SZ value of the game's key, by value name; "Install Dir" among them.
using GameInstallInfo = std::map<std::wstring, std::wstring>;

// The game's folder as registered ("Install Dir"); empty when the game was
// not found.
std::wstring InstallDir(const GameInstallInfo& info);

// The folders the game may live in, derived from where the launcher's
// executable is: the game root above "__Installer" or "ZelqaAntiCheat"
// (when found), then `programDirectory`.
std::vector<std::wstring> GameRootCandidates(const std::wstring& programDirectory);

// The form an install folder is compared in: slashes as backslashes,
// trailing separators dropped, "." and ".." resolved. Letter case is kept;
// the comparison ignores it, as Windows does.
std::wstring NormalizeInstallFolder(const std::wstring& folder);

// Fills `info` with the registration matching where the launcher runs;
// false, with `info` untouched, when none does. A step that fails is
// logged with its code ("Error <code> <step>"): then no registration is
// taken unless it matched the launcher's own folders, since the one that
// could not be read may have been the launcher's game.
[[nodiscard]] bool FindGameInstallInfo(GameInstallInfo& info);

// Fills `info` with the last registration whose "Install Dir" names one of
// `launcherFolders`, or, only when none does, the last naming
// `currentDirectory`; false, with `info` untouched, when none matches. A
// folder is named by its text (letter case aside) or, where that differs,
// by being the same folder, however each is spelled. Failures as above: a
// launcher folder or a registered folder that is there but can't be opened
// counts as a registration that can't be read.
[[nodiscard]] bool MatchGameInstallKey(const std::vector<std::wstring>& launcherFolders,
                                       const std::wstring& currentDirectory, GameInstallInfo& info);

// Reads the REG_SZ values of game key `subkeyName` into `values`. Returns 0,
// or the error of the step that failed (ERROR_FILE_NOT_FOUND when the key
// is gone).
[[nodiscard]] DWORD ReadGameKeyValues(const std::wstring& subkeyName, GameInstallInfo& values);
