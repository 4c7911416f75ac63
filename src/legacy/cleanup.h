#pragma once
// Removing the legacy anti-cheat's files from the game folder once the new
// anti-cheat is installed.

#include <windows.h>

#include <string>
#include <vector>

// True when `relativePath` (inside the game folder, "\"-separated) names a
// legacy file: any "*_launcher.exe", the top-level "EasyAntiCheat" and
// everything in it.
bool IsEasyAntiCheatRelativePath(const std::wstring& relativePath);

// The same test for `entryPath`, taken relative to `installDir` after both
// are made weakly canonical.
bool IsEasyAntiCheatPath(const std::wstring& installDir, const std::wstring& entryPath);

// Whether the walk descends into an entry with these attributes: folders
// only, and never a link or junction, which may lead outside the game folder.
bool ShouldDescendInto(DWORD attributes);

// The legacy entries of `installDir` in walk order (pre-order, listing
// order), files and folders apart; nothing is deleted.
struct CleanupLists {
  std::vector<std::wstring> files;
  std::vector<std::wstring> folders;
};
CleanupLists CollectEasyAntiCheatEntries(const std::wstring& installDir);

// Deletes the legacy files and folders of `installDir` and the extracted
// setup program in `logDirectory`, logging each step. Failures are logged
// and passed over.
void DeleteEasyAntiCheatFiles(const std::wstring& logDirectory, const std::wstring& installDir);
