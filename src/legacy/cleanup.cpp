#include "legacy/cleanup.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <string_view>

#include "common/file_system.h"
#include "common/path_text.h"
#include "legacy/cleanup_scope.h"
#include "legacy/uninstall.h"
#include "log/run_log.h"

namespace {

constexpr std::wstring_view kLauncherSuffix = L"_launcher.exe";
constexpr std::wstring_view kLegacyFolder = L"EasyAntiCheat";

// "Error <code> <step>: <path>", the line of every step that failed.
void LogEntryError(DWORD error, const wchar_t* step, const std::wstring& path) {
  LogStepError(error, step + (L": " + path));
}

void LogNotCleaningUp(const std::wstring& folder) { WriteLogLine(L"Not cleaning up: " + folder); }

// A folder of the walk: held, listed, and how far its entries are done.
struct WalkedFolder {
  HeldFolder* folder;
  std::wstring relativePath;  // inside the game folder; empty for the game folder
  std::vector<FolderEntry> entries;
  size_t next = 0;
  bool holdsCollected = false;
};

// A link is judged by what it leads to: selected only when that lies in the
// game folder and is a legacy entry there. Returns 0 with `selected` set
// (false for a link leading nowhere), or the error that kept it from being
// judged.
DWORD JudgeLink(const HeldFolder& parent, const std::wstring& name, const NtObjectName& gameFolder,
                bool& selected) {
  selected = false;
  UniqueFileHandle target;
  if (const DWORD error = OpenChildTarget(parent, name, target); error != ERROR_SUCCESS) {
    return IsNotFoundError(error) ? ERROR_SUCCESS : error;
  }
  NtObjectName targetName;
  if (const DWORD error = ReadNtObjectName(target.get(), targetName); error != ERROR_SUCCESS) {
    return error;
  }
  std::wstring relative;
  DWORD error = ERROR_SUCCESS;
  selected = ObjectNameInside(gameFolder, targetName, relative, error) &&
             IsEasyAntiCheatRelativePath(relative);
  return error;
}

// Holds and lists the folder `name` of `parent`, the listed entry `listed`,
// for the walk to go on in. False, logged, when it can't be or it is no
// longer the folder listed.
bool EnterFolder(const HeldFolder& parent, const FolderEntry& listed,
                 const std::wstring& relativePath, CleanupLists& lists,
                 std::vector<WalkedFolder>& walk) {
  ChildOpen how;
  how.listedId = listed.fileId;
  HeldFolder child;
  const std::wstring path = JoinPath(parent.path, listed.name);
  if (const DWORD error = HoldChildFolder(parent, listed.name, how, child);
      error != ERROR_SUCCESS) {
    if (error == kNotTheObjectMeant) {
      LogSkippedLinkOrReplaced(path);
    } else {
      LogEntryError(error, L"listing dir", path);
    }
    return false;
  }
  std::vector<FolderEntry> entries;
  if (const DWORD error = ListFolder(child, entries); error != ERROR_SUCCESS) {
    LogEntryError(error, L"listing dir", path);
    return false;
  }
  lists.held.push_back(std::move(child));
  walk.push_back(WalkedFolder{&lists.held.back(), relativePath, std::move(entries)});
  return true;
}

// Sorts the next entry of the innermost walked folder into the lists and
// walks into it when it is a plain folder.
void VisitNextEntry(const NtObjectName& gameFolder, CleanupLists& lists,
                    std::vector<WalkedFolder>& walk) {
  WalkedFolder& current = walk.back();
  const FolderEntry& entry = current.entries[current.next++];
  const HeldFolder& parent = *current.folder;
  const std::wstring relativePath =
      current.relativePath.empty() ? entry.name : current.relativePath + L'\\' + entry.name;
  CleanupEntry collected{&parent, entry.name, JoinPath(parent.path, entry.name), entry.fileId};
  const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  bool selected = false;
  if (IsLink(entry.attributes, entry.reparseTag)) {
    // Never walked into: it may lead anywhere.
    collected.link = true;
    if (const DWORD error = JudgeLink(parent, entry.name, gameFolder, selected);
        error != ERROR_SUCCESS) {
      LogEntryError(error, L"reading link", collected.path);
    }
  } else {
    selected = IsEasyAntiCheatRelativePath(relativePath);
  }
  if (selected) {
    current.holdsCollected = true;
    (folder ? lists.folders : lists.files).push_back(collected);
  }
  if (collected.link || !folder) {
    return;
  }
  // `current` is not used past here: entering a folder may move it.
  if (EnterFolder(parent, entry, relativePath, lists, walk) && selected) {
    lists.folders.back().ownHold = walk.back().folder;
  }
}

// Opens a collected entry for deletion: the object listed there, and only
// it. Returns 0 with `entry` open, the open's error, or kNotTheObjectMeant.
DWORD OpenCollected(const CleanupEntry& collected, ChildKind kind, UniqueFileHandle& entry) {
  ChildOpen how;
  how.access = DELETE | FILE_WRITE_ATTRIBUTES;
  how.kind = kind;
  how.listedId = collected.listedId;
  how.link = collected.link;
  return OpenChild(*collected.parent, collected.name, how, entry);
}

// How long the deletions of one cleanup may wait, in all, for entries to
// come free: a tree of folders that will never be empty must not take
// 300 ms a folder.
struct RetryBudget {
  DWORD leftMs = 1000;
};

// Deletes the collected entry open in `entry` (or, after `openError`, not
// open) and makes sure it is gone. What someone holds for a moment (a
// scanner, an indexer) or a folder whose entries are still going is tried
// again a few times, about 300 ms at most, while `budget` lasts.
DWORD DeleteCollected(const CleanupEntry& collected, ChildKind kind, DWORD openError,
                      UniqueFileHandle& entry, RetryBudget& budget) {
  constexpr DWORD kRetryWaitsMs[] = {20, 40, 80, 160};
  DWORD error = openError;
  for (size_t attempt = 0;; ++attempt) {
    if (error == ERROR_SUCCESS) {
      error = DeleteThroughHandle(entry.get());
      entry.reset();
      // The platform may take a deletion it does not carry out (Wine
      // deletes by path when the handle closes): only what is gone counts.
      if (error == ERROR_SUCCESS) {
        error = ConfirmChildGone(*collected.parent, collected.name, collected.listedId);
      }
    }
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_DIR_NOT_EMPTY) ||
        attempt == std::size(kRetryWaitsMs) || budget.leftMs < kRetryWaitsMs[attempt]) {
      break;
    }
    budget.leftMs -= kRetryWaitsMs[attempt];
    Sleep(kRetryWaitsMs[attempt]);
    error = OpenCollected(collected, kind, entry);
  }
  // Replaced while it was being tried again: it is left.
  return error == kNotTheObjectMeant ? static_cast<DWORD>(ERROR_FILE_INVALID) : error;
}

void DeleteFiles(const std::vector<CleanupEntry>& files, RetryBudget& budget) {
  if (files.empty()) {
    return;
  }
  WriteLogLine(L"Deleting " + std::to_wstring(files.size()) + L" file(s)...");
  for (const CleanupEntry& file : files) {
    UniqueFileHandle entry;
    DWORD error = OpenCollected(file, ChildKind::File, entry);
    if (error == kNotTheObjectMeant) {
      LogSkippedLinkOrReplaced(file.path);
      continue;
    }
    WriteLogLine(L"\tDeleting file: " + file.path);
    error = DeleteCollected(file, ChildKind::File, error, entry, budget);
    if (error != ERROR_SUCCESS) {
      LogEntryError(error, L"deleting file", file.path);
    }
  }
}

// Deepest first: every folder after the folders found inside it.
void DeleteFolders(std::vector<CleanupEntry>& folders, RetryBudget& budget) {
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    // Our own hold would keep the folder from going.
    if (folder->ownHold != nullptr) {
      folder->ownHold->handle.reset();
    }
    UniqueFileHandle entry;
    DWORD error = OpenCollected(*folder, ChildKind::Directory, entry);
    if (IsNotFoundError(error)) {
      continue;  // gone already
    }
    if (error == kNotTheObjectMeant) {
      LogSkippedLinkOrReplaced(folder->path);
      continue;
    }
    WriteLogLine(L"Deleting dir: " + folder->path);
    error = DeleteCollected(*folder, ChildKind::Directory, error, entry, budget);
    if (error != ERROR_SUCCESS) {
      LogEntryError(error, L"deleting dir", folder->path);
    }
  }
}

// A second handle of `folder`'s own open, for lists that outlive the
// caller's. Returns 0 or the error.
DWORD DuplicateHold(const HeldFolder& folder, HeldFolder& copy) {
  HANDLE duplicate = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), folder.handle.get(), GetCurrentProcess(), &duplicate, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    return GetLastError();
  }
  copy = HeldFolder{folder.path, UniqueFileHandle(duplicate), folder.objectName};
  return ERROR_SUCCESS;
}

}  // namespace

bool IsEasyAntiCheatRelativePath(const std::wstring& relativePath) {
  const std::wstring_view path = relativePath;
  const bool launcher = path.size() >= kLauncherSuffix.size() &&
                        path.substr(path.size() - kLauncherSuffix.size()) == kLauncherSuffix;
  const bool inLegacyFolder = path.size() > kLegacyFolder.size() &&
                              path.substr(0, kLegacyFolder.size()) == kLegacyFolder &&
                              path[kLegacyFolder.size()] == L'\\';
  return launcher || path == kLegacyFolder || inLegacyFolder;
}

CleanupLists CollectEasyAntiCheatEntries(const std::wstring& installDir) {
  CleanupLists lists;
  HeldFolder game;
  const DWORD error = HoldFolderWithoutLinks(installDir, game);
  if (error == kNotTheObjectMeant) {
    LogNotCleaningUp(installDir);
    return lists;
  }
  std::vector<FolderEntry> entries;
  const DWORD listed = error != ERROR_SUCCESS ? error : ListFolder(game, entries);
  if (listed != ERROR_SUCCESS) {
    LogEntryError(listed, L"listing dir", installDir);
    return lists;
  }
  // No link lies on the way to the folder held, so its path is where it
  // is; its final path also undoes short names (C:\PROGRA~1). A half that
  // can't be read can't clear the folder.
  SharedFolders shared;
  std::wstring finalPath;
  DWORD scopeError = ReadSharedFolders(shared);
  if (scopeError == ERROR_SUCCESS) {
    scopeError = GetFinalPath(game.handle.get(), finalPath);
  }
  const bool broad = scopeError != ERROR_SUCCESS ||
                     IsTooBroadForCleanup(NormalizedAbsolutePath(installDir), shared, scopeError) ||
                     IsTooBroadForCleanup(finalPath, shared, scopeError);
  if (scopeError != ERROR_SUCCESS) {
    LogEntryError(scopeError, L"checking dir", installDir);
  }
  if (broad) {
    LogNotCleaningUp(installDir);
    return lists;
  }
  const NtObjectName gameFolder = game.objectName;
  lists.held.push_back(std::move(game));
  std::vector<WalkedFolder> walk;
  walk.push_back(WalkedFolder{&lists.held.back(), std::wstring(), std::move(entries)});
  while (!walk.empty()) {
    if (walk.back().next < walk.back().entries.size()) {
      VisitNextEntry(gameFolder, lists, walk);
      continue;
    }
    // A folder nothing was collected in is let go as the walk leaves it.
    if (!walk.back().holdsCollected) {
      walk.back().folder->handle.reset();
    }
    walk.pop_back();
  }
  return lists;
}

void AddExtractedSetup(const HeldFolder& folder, CleanupLists& lists) {
  if (!folder.handle) {
    return;
  }
  const std::wstring path = JoinPath(folder.path, kLegacySetupFileName);
  UniqueFileHandle setup;
  ChildOpen how;
  how.kind = ChildKind::File;
  DWORD error = OpenChild(folder, kLegacySetupFileName, how, setup);
  // Nothing there, or a folder that is no setup program of ours.
  if (IsNotFoundError(error) || error == kFolderWhereFileMeant) {
    return;
  }
  ULONGLONG fileId = 0;
  if (error == ERROR_SUCCESS) {
    error = ReadFileId(setup.get(), fileId);
  }
  // The walk may have found that very file, when the folder is in the game's.
  if (error == ERROR_SUCCESS &&
      std::any_of(lists.files.begin(), lists.files.end(), [&](const CleanupEntry& file) {
        UniqueFileHandle collected;
        return file.listedId == fileId &&
               OpenCollected(file, ChildKind::File, collected) == ERROR_SUCCESS &&
               AreSameObject(collected.get(), setup.get());
      })) {
    return;
  }
  HeldFolder copy;
  if (error == ERROR_SUCCESS) {
    error = DuplicateHold(folder, copy);
  }
  if (error == kNotTheObjectMeant) {
    LogSkippedLinkOrReplaced(path);
    return;
  }
  if (error != ERROR_SUCCESS) {
    LogEntryError(error, L"deleting file", path);
    return;
  }
  lists.held.push_back(std::move(copy));
  lists.files.push_back(CleanupEntry{&lists.held.back(), kLegacySetupFileName, path, fileId});
}

void DeleteEasyAntiCheatEntries(CleanupLists& lists) {
  RetryBudget budget;
  DeleteFiles(lists.files, budget);
  // Only the folders that hold a folder to delete stay held.
  std::set<const HeldFolder*> parents;
  for (const CleanupEntry& folder : lists.folders) {
    parents.insert(folder.parent);
  }
  for (HeldFolder& held : lists.held) {
    if (parents.count(&held) == 0) {
      held.handle.reset();
    }
  }
  DeleteFolders(lists.folders, budget);
  lists = CleanupLists{};
}

void DeleteEasyAntiCheatFiles(const HeldFolder& logFolder, const HeldFolder& setupFolder,
                              const std::wstring& installDir) {
  CleanupLists lists;
  if (!installDir.empty()) {
    lists = CollectEasyAntiCheatEntries(installDir);
  }
  AddExtractedSetup(logFolder, lists);
  if (&setupFolder != &logFolder) {
    AddExtractedSetup(setupFolder, lists);
  }
  DeleteEasyAntiCheatEntries(lists);
}
