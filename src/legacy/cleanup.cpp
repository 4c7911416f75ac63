#include "legacy/cleanup.h"

#include <algorithm>
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

void LogListingError(DWORD error, const std::wstring& folder) {
  WriteLogLine(L"Error " + std::to_wstring(error) + L" listing dir: " + folder);
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
// game folder and is a legacy entry there. Sets whether it leads to a folder.
bool IsLegacyLink(const HeldFolder& parent, const std::wstring& name,
                  const ObjectLocation& gameFolder, bool& toFolder) {
  UniqueFileHandle target;
  ObjectLocation targetLocation;
  FILE_BASIC_INFO basic{};
  std::wstring relative;
  if (OpenChildTarget(parent, name, target) != ERROR_SUCCESS ||
      ReadLocation(target.get(), targetLocation) != ERROR_SUCCESS ||
      !GetFileInformationByHandleEx(target.get(), FileBasicInfo, &basic, sizeof(basic)) ||
      !LocationInside(gameFolder, targetLocation, relative)) {
    return false;  // leads nowhere, or out of the game folder
  }
  toFolder = (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return IsEasyAntiCheatRelativePath(relative);
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
      LogSkippedLink(path);
    } else {
      LogListingError(error, path);
    }
    return false;
  }
  std::vector<FolderEntry> entries;
  if (const DWORD error = ListFolder(child, entries); error != ERROR_SUCCESS) {
    LogListingError(error, path);
    return false;
  }
  lists.held.push_back(std::move(child));
  walk.push_back(WalkedFolder{&lists.held.back(), relativePath, std::move(entries)});
  return true;
}

// Sorts the next entry of the innermost walked folder into the lists and
// walks into it when it is a plain folder.
void VisitNextEntry(const ObjectLocation& gameFolder, CleanupLists& lists,
                    std::vector<WalkedFolder>& walk) {
  WalkedFolder& current = walk.back();
  const FolderEntry& entry = current.entries[current.next++];
  const HeldFolder& parent = *current.folder;
  const std::wstring relativePath =
      current.relativePath.empty() ? entry.name : current.relativePath + L'\\' + entry.name;
  CleanupEntry collected{&parent, entry.name, JoinPath(parent.path, entry.name), entry.fileId};
  bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  bool selected = false;
  if (IsLink(entry.attributes, entry.reparseTag)) {
    // Never walked into: it may lead anywhere.
    selected = IsLegacyLink(parent, entry.name, gameFolder, folder);
    collected.link = true;
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
DWORD OpenCollected(const CleanupEntry& collected, UniqueFileHandle& entry) {
  ChildOpen how;
  how.access = DELETE | FILE_WRITE_ATTRIBUTES;
  how.listedId = collected.listedId;
  how.link = collected.link;
  return OpenChild(*collected.folder, collected.name, how, entry);
}

void DeleteFiles(const std::vector<CleanupEntry>& files) {
  if (files.empty()) {
    return;
  }
  WriteLogLine(L"Deleting " + std::to_wstring(files.size()) + L" file(s)...");
  for (const CleanupEntry& file : files) {
    UniqueFileHandle entry;
    DWORD error = OpenCollected(file, entry);
    if (error == kNotTheObjectMeant) {
      LogSkippedLink(file.path);
      continue;
    }
    WriteLogLine(L"\tDeleting file: " + file.path);
    if (error == ERROR_SUCCESS) {
      error = DeleteThroughHandle(entry.get());
    }
    if (error != ERROR_SUCCESS) {
      WriteLogLine(L"Error " + std::to_wstring(error) + L" deleting file: " + file.path);
    }
  }
}

// Deepest first: every folder after the folders found inside it.
void DeleteFolders(std::vector<CleanupEntry>& folders) {
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    // Our own hold would keep the folder from going.
    if (folder->ownHold != nullptr) {
      folder->ownHold->handle.reset();
    }
    UniqueFileHandle entry;
    DWORD error = OpenCollected(*folder, entry);
    if (IsNotFoundError(error)) {
      continue;  // gone already
    }
    if (error == kNotTheObjectMeant) {
      LogSkippedLink(folder->path);
      continue;
    }
    WriteLogLine(L"Deleting dir: " + folder->path);
    if (error == ERROR_SUCCESS) {
      error = DeleteThroughHandle(entry.get());
    }
    if (error != ERROR_SUCCESS) {
      WriteLogLine(L"Error " + std::to_wstring(error) + L" deleting dir: " + folder->path);
    }
  }
}

// A second handle of `folder`'s own open, for lists that outlive the caller's.
bool DuplicateHold(const HeldFolder& folder, HeldFolder& copy) {
  HANDLE duplicate = nullptr;
  if (!folder.handle ||
      !DuplicateHandle(GetCurrentProcess(), folder.handle.get(), GetCurrentProcess(), &duplicate, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    return false;
  }
  copy = HeldFolder{folder.path, UniqueFileHandle(duplicate), folder.location};
  return true;
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
    LogListingError(listed, installDir);
    return lists;
  }
  // No link lies on the way to the folder held, so its path is where it
  // is; its final path, where the platform gives one, also undoes short
  // names (C:\PROGRA~1).
  const SharedFolders shared = ReadSharedFolders();
  std::wstring finalPath;
  if (IsTooBroadForCleanup(NormalizedAbsolutePath(installDir), shared) ||
      (GetFinalPath(game.handle.get(), finalPath) == ERROR_SUCCESS &&
       IsTooBroadForCleanup(finalPath, shared))) {
    LogNotCleaningUp(installDir);
    return lists;
  }
  const ObjectLocation gameFolder = game.location;
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
  UniqueFileHandle setup;
  ChildOpen how;
  how.kind = ChildKind::File;
  const DWORD error = OpenChild(folder, kLegacySetupFileName, how, setup);
  if (IsNotFoundError(error)) {
    return;
  }
  // The walk may have found that very file, when the folder is in the game's.
  ULONGLONG fileId = 0;
  if (error == ERROR_SUCCESS && ReadFileId(setup.get(), fileId) == ERROR_SUCCESS &&
      std::any_of(lists.files.begin(), lists.files.end(), [&](const CleanupEntry& file) {
        UniqueFileHandle collected;
        return file.listedId == fileId && OpenCollected(file, collected) == ERROR_SUCCESS &&
               AreSameObject(collected.get(), setup.get());
      })) {
    return;
  }
  HeldFolder copy;
  if (!DuplicateHold(folder, copy)) {
    return;
  }
  lists.held.push_back(std::move(copy));
  lists.files.push_back(CleanupEntry{&lists.held.back(), kLegacySetupFileName,
                                     JoinPath(folder.path, kLegacySetupFileName), fileId});
}

void DeleteEasyAntiCheatEntries(CleanupLists& lists) {
  DeleteFiles(lists.files);
  // Only the folders that hold a folder to delete stay held.
  std::set<const HeldFolder*> parents;
  for (const CleanupEntry& folder : lists.folders) {
    parents.insert(folder.folder);
  }
  for (HeldFolder& held : lists.held) {
    if (parents.count(&held) == 0) {
      held.handle.reset();
    }
  }
  DeleteFolders(lists.folders);
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
