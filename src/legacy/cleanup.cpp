#include "legacy/cleanup.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "common/deletion.h"
#include "common/file_system.h"
#include "common/path_text.h"
#include "legacy/cleanup_scope.h"
#include "legacy/setup_folder.h"
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
    return IsGoneError(error) ? ERROR_SUCCESS : error;
  }
  NtObjectName targetName;
  if (const DWORD error = ReadNtObjectName(target.get(), targetName); error != ERROR_SUCCESS) {
    return error;
  }
  std::wstring relative;
  selected =
      ObjectNameInside(gameFolder, targetName, relative) && IsEasyAntiCheatRelativePath(relative);
  return ERROR_SUCCESS;
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
    if (IsGoneError(error)) {
      return false;
    }
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

// How a collected entry is opened: the object listed there, and only it.
ChildOpen HowToOpen(const CleanupEntry& collected, ChildKind kind) {
  ChildOpen how;
  how.kind = kind;
  how.listedId = collected.listedId;
  how.link = collected.link;
  return how;
}

// Deletes a collected entry and logs what became of it: nothing when it
// was gone before its turn, that it was skipped when something else stands
// there, else its line and, when it did not go, the error or that it goes
// once others let go of it.
void DeleteCollected(const CleanupEntry& collected, ChildKind kind, RetryBudget& budget) {
  Deletion outcome = Deletion::AlreadyGone;
  const DWORD error =
      DeleteChild(*collected.parent, collected.name, HowToOpen(collected, kind), budget, outcome);
  if (error == kNotTheObjectMeant) {
    LogSkippedLinkOrReplaced(collected.path);
    return;
  }
  if (error == ERROR_SUCCESS && outcome == Deletion::AlreadyGone) {
    return;
  }
  const bool file = kind == ChildKind::File;
  WriteLogLine((file ? L"\tDeleting file: " : L"Deleting dir: ") + collected.path);
  if (error != ERROR_SUCCESS) {
    LogEntryError(error, file ? L"deleting file" : L"deleting dir", collected.path);
  } else if (outcome == Deletion::Pending) {
    WriteLogLine(L"Deletion pending: " + collected.path);
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
  bool broad = true;
  if (const DWORD scopeError = CheckCleanupScope(installDir, game.handle.get(), broad);
      scopeError != ERROR_SUCCESS) {
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
  if (IsGoneError(error) || error == kFolderWhereFileMeant) {
    return;
  }
  ULONGLONG fileId = 0;
  if (error == ERROR_SUCCESS) {
    error = ReadFileId(setup.get(), fileId);
  }
  // The walk may have found that very file, when the folder is in the game's.
  const NtObjectName setupName = ChildObjectName(folder.objectName, kLegacySetupFileName);
  if (error == ERROR_SUCCESS &&
      std::any_of(lists.files.begin(), lists.files.end(), [&](const CleanupEntry& file) {
        return file.listedId == fileId &&
               IsObjectNamed(ChildObjectName(file.parent->objectName, file.name).text,
                             setupName.text);
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

void DeleteEasyAntiCheatEntries(CleanupLists& lists, RetryBudget& budget) {
  if (!lists.files.empty()) {
    WriteLogLine(L"Deleting " + std::to_wstring(lists.files.size()) + L" file(s)...");
  }
  for (const CleanupEntry& file : lists.files) {
    DeleteCollected(file, ChildKind::File, budget);
  }
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
  // Deepest first: every folder after the folders found inside it.
  for (auto folder = lists.folders.rbegin(); folder != lists.folders.rend(); ++folder) {
    // Our own hold would keep the folder from going.
    if (folder->ownHold != nullptr) {
      folder->ownHold->handle.reset();
    }
    DeleteCollected(*folder, ChildKind::Directory, budget);
  }
  lists = CleanupLists{};
}

void DeleteEasyAntiCheatFiles(const HeldFolder& logFolder, const HeldFolder& setupFolder,
                              const std::wstring& installDir, RetryBudget& budget) {
  CleanupLists lists;
  if (!installDir.empty()) {
    lists = CollectEasyAntiCheatEntries(installDir);
  }
  AddExtractedSetup(logFolder, lists);
  if (&setupFolder != &logFolder) {
    AddExtractedSetup(setupFolder, lists);
  }
  DeleteEasyAntiCheatEntries(lists, budget);
}
