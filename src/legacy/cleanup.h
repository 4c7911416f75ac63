#pragma once
// Removing the legacy anti-cheat's files from the game folder once the new
// anti-cheat is installed, and the setup program extracted for it. The game
// folder is held from its volume's root down, every entry is reached
// relative to the folder it was listed in, and nothing is deleted but the
// very object that was listed there.

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "common/deletion.h"
#include "common/held_folder.h"

// True when `relativePath` (inside the game folder, "\"-separated) names a
// legacy entry: any "*_launcher.exe", the top-level "EasyAntiCheat" and
// everything in it. Letter case counts.
bool IsEasyAntiCheatRelativePath(const std::wstring& relativePath);

// An entry to delete, and how to know it again.
struct CleanupEntry {
  const HeldFolder* parent = nullptr;  // held; the entry is opened relative to it
  std::wstring name;                   // in `parent`
  std::wstring path;                   // as the log shows it
  ULONGLONG listedId = 0;              // the object listed there
  bool link = false;                   // the link itself goes, never what it leads to
  HeldFolder* ownHold = nullptr;       // a folder walked into: our own hold of it
};

// The legacy entries in walk order (pre-order, listing order), files and
// folders apart, and the folders they lie in, held until they are deleted.
struct CleanupLists {
  std::deque<HeldFolder> held;  // grows without moving what it holds
  std::vector<CleanupEntry> files;
  std::vector<CleanupEntry> folders;
};

// Holds `installDir` and collects its legacy entries; nothing is deleted. A
// game folder reached through a link or too broad to clean up is logged
// ("Not cleaning up: ") and nothing is collected; a folder that can't be
// held or listed is logged and passed over.
CleanupLists CollectEasyAntiCheatEntries(const std::wstring& installDir);

// Adds the setup program extracted into the held `folder`, when one is
// there and the walk has not collected that very file.
void AddExtractedSetup(const HeldFolder& folder, CleanupLists& lists);

// Deletes the collected entries, files first, then folders deepest first,
// logging each step, and lets go of the folders held. An entry that is no
// longer the object listed (a link now, or replaced) is logged and left; one
// already gone, or going, when its turn comes is done and not logged. Busy
// entries are tried again while `budget` lasts.
void DeleteEasyAntiCheatEntries(CleanupLists& lists, RetryBudget& budget);

// Collects the legacy entries of `installDir` (none when it is empty), adds
// the setup program extracted into the held `logFolder` and `setupFolder`
// (the same folder but in an elevated run), and deletes them all within
// `budget`. Failures are logged and passed over.
void DeleteEasyAntiCheatFiles(const HeldFolder& logFolder, const HeldFolder& setupFolder,
                              const std::wstring& installDir, RetryBudget& budget);
