#pragma once
// Removing the legacy anti-cheat's files from the game folder once the new
// anti-cheat is installed, and the setup program extracted for it. Nothing
// is deleted but the very entry that was judged: every deletion goes through
// a handle whose object is checked to be that entry.

#include <windows.h>

#include <string>
#include <vector>

#include "common/held_folder.h"

// True when `relativePath` (inside the game folder, "\"-separated) names a
// legacy file: any "*_launcher.exe", the top-level "EasyAntiCheat" and
// everything in it.
bool IsEasyAntiCheatRelativePath(const std::wstring& relativePath);

// The same test for `path`, which must lie below `gameFolder` (letter case
// aside); both are final paths, links already resolved.
bool IsEasyAntiCheatPath(const std::wstring& gameFolder, const std::wstring& path);

// Whether the walk descends into an entry with these attributes: folders
// only, and never a link or junction, which may lead outside the game folder.
bool ShouldDescendInto(DWORD attributes);

// The system's folders that hold far more than a game, each as the system
// names it and as it resolves.
struct SharedFolders {
  // Refused themselves, the folders in them fine: Program Files, ProgramData,
  // a profile's Documents, AppData...
  std::vector<std::wstring> exact;
  // Refused with everything in them: the Windows folder.
  std::vector<std::wstring> whole;
  // The folder of all profiles (Users): it and every folder directly in it.
  std::vector<std::wstring> profiles;
  // Paths inside a profile (AppData\Roaming, Documents), refused in every
  // profile in `profiles`, not only the running account's.
  std::vector<std::wstring> inEveryProfile;
};

// True when `folder` holds far more than a game, so no game may be cleaned
// up there: a volume root or one of `shared`. A game folder inside a shared
// one (Documents\My Games\Title) is fine, except in the Windows folder.
bool IsTooBroadForCleanup(const std::wstring& folder, const SharedFolders& shared);

// An entry to delete: the path it was found at, and the final path the
// object opened there must have.
struct CleanupEntry {
  std::wstring path;
  std::wstring finalPath;
};

// The legacy entries in walk order (pre-order, listing order), files and
// folders apart.
struct CleanupLists {
  std::vector<CleanupEntry> files;
  std::vector<CleanupEntry> folders;
};

// Walks `installDir` and collects its legacy entries; nothing is deleted.
// A folder that can't be listed is logged and passed over; a game folder
// too broad to clean up is logged and nothing is collected.
CleanupLists CollectEasyAntiCheatEntries(const std::wstring& installDir);

// Deletes the collected entries, files first, then folders deepest first,
// logging each step. An entry that is no longer what was collected (a link
// now, or reached through one) is logged and left alone.
void DeleteEasyAntiCheatEntries(const CleanupLists& lists);

// Collects the legacy entries of `installDir` (none when it is empty), adds
// the setup program extracted into the held `logFolder` and `setupFolder`
// (the same folder but in an elevated run), and deletes them all. Failures
// are logged and passed over.
void DeleteEasyAntiCheatFiles(const HeldFolder& logFolder, const HeldFolder& setupFolder,
                              const std::wstring& installDir);

// The same with the log directory given by name, held for the call.
void DeleteEasyAntiCheatFiles(const std::wstring& logDirectory, const std::wstring& installDir);
