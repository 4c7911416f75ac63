#include "legacy/cleanup.h"

#include <shlobj.h>

#include <algorithm>
#include <regex>
#include <string_view>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/unique_resource.h"
#include "legacy/uninstall.h"
#include "log/run_log.h"

namespace {

// The legacy entries by their path inside the game folder, compiled once.
const std::vector<std::wregex>& CleanupPatterns() {
  static const std::vector<std::wregex> patterns{
      std::wregex(LR"(^.*_launcher\.exe$)"),
      std::wregex(LR"(^EasyAntiCheat$)"),
      std::wregex(LR"(^EasyAntiCheat\\.*$)"),
  };
  return patterns;
}

// Every text the patterns match ends in "_launcher.exe" or starts with
// "EasyAntiCheat"; this spares the patterns the many game files that do
// neither, and the patterns alone decide the rest.
bool MayBeLegacyPath(std::wstring_view relativePath) {
  constexpr std::wstring_view launcherSuffix = L"_launcher.exe";
  constexpr std::wstring_view legacyFolder = L"EasyAntiCheat";
  return (relativePath.size() >= launcherSuffix.size() &&
          relativePath.substr(relativePath.size() - launcherSuffix.size()) == launcherSuffix) ||
         relativePath.substr(0, legacyFolder.size()) == legacyFolder;
}

void LogListingError(DWORD error, const std::wstring& folder) {
  BeginLogLine() << L"Error " << error << L" listing dir: " << folder << std::endl;
}

// The folders no game may be cleaned up in, each as given and as it resolves.
void ReadSystemFolders(std::vector<std::wstring>& systemFolders, std::wstring& usersFolder) {
  for (const int folder : {CSIDL_WINDOWS, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
                           CSIDL_COMMON_APPDATA, CSIDL_PROFILE}) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
      continue;
    }
    systemFolders.emplace_back(path);
    std::wstring finalPath;
    if (GetFinalPathOf(path, finalPath) == ERROR_SUCCESS) {
      systemFolders.push_back(finalPath);
    }
    if (folder == CSIDL_PROFILE) {
      usersFolder = ParentPath(finalPath.empty() ? std::wstring(path) : finalPath);
    }
  }
}

// A link is judged by what it leads to: selected only when that lies in the
// game folder and is a legacy entry there. Sets the target's attributes.
bool IsLegacyLink(const std::wstring& path, const std::wstring& gameFolder, DWORD& attributes) {
  UniqueFileHandle target;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  std::wstring targetPath;
  if (OpenFollowingLinks(path, 0, target) != ERROR_SUCCESS ||
      !GetFileInformationByHandleEx(target.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
      GetFinalPath(target.get(), targetPath) != ERROR_SUCCESS) {
    return false;  // leads nowhere
  }
  attributes = tag.FileAttributes;
  return IsEasyAntiCheatPath(gameFolder, targetPath);
}

// Sorts one listed entry into the lists. Plain entries are judged by their
// path in the game folder without touching the disk; links by their target.
void CollectEntry(const std::wstring& gameFolder, const std::wstring& path,
                  const std::wstring& relativePath, DWORD attributes, CleanupLists& lists) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if (!IsLegacyLink(path, gameFolder, attributes)) {
      return;
    }
  } else if (!IsEasyAntiCheatRelativePath(relativePath)) {
    return;
  }
  ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? lists.folders : lists.files)
      .push_back(CleanupEntry{path, JoinPath(gameFolder, relativePath)});
}

// Opens a collected entry for deletion. Returns 0 with `entry` open, the
// open's error, or ERROR_REPARSE_TAG_MISMATCH when the object there is not
// the entry collected: a link (which the platform may resolve to its
// target) or an entry reached through a folder swapped for a link.
DWORD OpenCollectedEntry(const CleanupEntry& collected, UniqueFileHandle& entry) {
  if (const DWORD error =
          OpenEntry(collected.path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, entry);
      error != ERROR_SUCCESS) {
    return error;
  }
  std::wstring finalPath;
  if (const DWORD error = GetFinalPath(entry.get(), finalPath); error != ERROR_SUCCESS) {
    return error;
  }
  return EqualPathsIgnoringCase(finalPath, collected.finalPath) ? ERROR_SUCCESS
                                                                : ERROR_REPARSE_TAG_MISMATCH;
}

void DeleteFiles(const std::vector<CleanupEntry>& files) {
  if (files.empty()) {
    return;
  }
  BeginLogLine() << L"Deleting " << static_cast<unsigned long long>(files.size()) << L" file(s)..."
                 << std::endl;
  for (const CleanupEntry& file : files) {
    UniqueFileHandle entry;
    DWORD error = OpenCollectedEntry(file, entry);
    if (error == ERROR_REPARSE_TAG_MISMATCH) {
      LogSkippedLink(file.path);
      continue;
    }
    BeginLogLine() << L"\tDeleting file: " << file.path << std::endl;
    if (error == ERROR_SUCCESS) {
      error = DeleteThroughHandle(entry.get());
    }
    if (error != ERROR_SUCCESS) {
      BeginLogLine() << L"Error " << error << L" deleting file: " << file.path << std::endl;
    }
  }
}

// Deepest first: every folder after the folders found inside it.
void DeleteFolders(const std::vector<CleanupEntry>& folders) {
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    UniqueFileHandle entry;
    DWORD error = OpenCollectedEntry(*folder, entry);
    if (IsNotFoundError(error)) {
      continue;  // gone already
    }
    if (error == ERROR_REPARSE_TAG_MISMATCH) {
      LogSkippedLink(folder->path);
      continue;
    }
    BeginLogLine() << L"Deleting dir: " << folder->path << std::endl;
    if (error == ERROR_SUCCESS) {
      error = DeleteThroughHandle(entry.get());
    }
    if (error != ERROR_SUCCESS) {
      BeginLogLine() << L"Error " << error << L" deleting dir: " << folder->path << std::endl;
    }
  }
}

// Adds the setup program extracted into the held `logFolder` and
// `setupFolder`, when one is there, to the files to delete.
void AddExtractedSetups(const HeldFolder& logFolder, const HeldFolder& setupFolder,
                        CleanupLists& lists) {
  // Only the file in the folder held for it, never what a link there, or a
  // link now standing for the folder, leads to.
  for (const HeldFolder* folder : {&logFolder, &setupFolder}) {
    const std::wstring extracted = JoinPath(folder->path, kLegacySetupFileName);
    bool exists = false;
    if (!folder->handle || TestPathExists(extracted, exists) != ERROR_SUCCESS || !exists ||
        std::any_of(lists.files.begin(), lists.files.end(),
                    [&](const CleanupEntry& file) { return file.path == extracted; })) {
      continue;
    }
    lists.files.push_back(CleanupEntry{
        extracted, IsStillHeld(*folder) ? FinalPathInside(*folder, kLegacySetupFileName) : L""});
  }
}

}  // namespace

bool IsEasyAntiCheatRelativePath(const std::wstring& relativePath) {
  if (!MayBeLegacyPath(relativePath)) {
    return false;
  }
  return std::any_of(
      CleanupPatterns().begin(), CleanupPatterns().end(),
      [&](const std::wregex& pattern) { return std::regex_match(relativePath, pattern); });
}

bool IsEasyAntiCheatPath(const std::wstring& gameFolder, const std::wstring& path) {
  std::wstring relative;
  return RelativePathInside(gameFolder, path, relative) && IsEasyAntiCheatRelativePath(relative);
}

bool ShouldDescendInto(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool IsTooBroadForCleanup(const std::wstring& folder,
                          const std::vector<std::wstring>& systemFolders,
                          const std::wstring& usersFolder) {
  const std::wstring plain = WithoutTrailingSeparators(WithoutExtendedPrefix(folder));
  const auto same = [&](const std::wstring& other) {
    return !other.empty() &&
           EqualPathsIgnoringCase(plain, WithoutTrailingSeparators(WithoutExtendedPrefix(other)));
  };
  const bool isProfile =
      !usersFolder.empty() && EqualPathsIgnoringCase(WithoutTrailingSeparators(ParentPath(plain)),
                                                     WithoutTrailingSeparators(usersFolder));
  return plain.empty() || IsVolumeRoot(plain) ||
         std::any_of(systemFolders.begin(), systemFolders.end(), same) || same(usersFolder) ||
         isProfile;
}

// Pre-order walk in listing order; links and junctions are listed, never
// entered.
CleanupLists CollectEasyAntiCheatEntries(const std::wstring& installDir) {
  CleanupLists lists;
  struct ListedFolder {
    UniqueFindHandle find;
    std::wstring path;
    std::wstring relativePath;
  };
  std::vector<ListedFolder> open;
  WIN32_FIND_DATAW entry{};

  const auto enter = [&](const std::wstring& path, const std::wstring& relativePath) {
    UniqueFindHandle find(FindFirstFileExW(ExtendedLengthPath(JoinPath(path, L"*")).c_str(),
                                           FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
      const DWORD error = GetLastError();
      // No entry at all, not even "." (a drive's root): nothing to collect.
      if (error != ERROR_FILE_NOT_FOUND) {
        LogListingError(error, path);
      }
      return false;
    }
    open.push_back(ListedFolder{std::move(find), path, relativePath});
    return true;
  };

  bool haveEntry = enter(installDir, std::wstring());
  if (!haveEntry) {
    return lists;
  }
  // Entries are judged, and later deleted, against the folder the game
  // really is in.
  std::wstring gameFolder;
  if (const DWORD error = GetFinalPathOf(installDir, gameFolder); error != ERROR_SUCCESS) {
    LogListingError(error, installDir);
    return lists;
  }
  std::vector<std::wstring> systemFolders;
  std::wstring usersFolder;
  ReadSystemFolders(systemFolders, usersFolder);
  if (IsTooBroadForCleanup(installDir, systemFolders, usersFolder) ||
      IsTooBroadForCleanup(gameFolder, systemFolders, usersFolder)) {
    BeginLogLine() << L"Not cleaning up: " << installDir << std::endl;
    return lists;
  }

  while (!open.empty()) {
    if (!haveEntry) {
      const DWORD error = GetLastError();
      if (error != ERROR_NO_MORE_FILES) {
        LogListingError(error, open.back().path);
      }
      open.pop_back();
      haveEntry = !open.empty() && FindNextFileW(open.back().find.get(), &entry);
      continue;
    }
    const std::wstring name = entry.cFileName;
    const DWORD attributes = entry.dwFileAttributes;
    if (name == L"." || name == L"..") {
      haveEntry = FindNextFileW(open.back().find.get(), &entry);
      continue;
    }
    const ListedFolder& folder = open.back();
    const std::wstring path = JoinPath(folder.path, name);
    const std::wstring relativePath =
        folder.relativePath.empty() ? name : folder.relativePath + L'\\' + name;
    CollectEntry(gameFolder, path, relativePath, attributes, lists);
    // A folder just entered has its first entry in `entry` already: not
    // every file system lists "." first, or at all.
    haveEntry = (ShouldDescendInto(attributes) && enter(path, relativePath)) ||
                FindNextFileW(open.back().find.get(), &entry);
  }
  return lists;
}

void DeleteEasyAntiCheatEntries(const CleanupLists& lists) {
  DeleteFiles(lists.files);
  DeleteFolders(lists.folders);
}

void DeleteEasyAntiCheatFiles(const HeldFolder& logFolder, const HeldFolder& setupFolder,
                              const std::wstring& installDir) {
  CleanupLists lists;
  if (!installDir.empty()) {
    lists = CollectEasyAntiCheatEntries(installDir);
  }
  AddExtractedSetups(logFolder, setupFolder, lists);
  DeleteEasyAntiCheatEntries(lists);
}

void DeleteEasyAntiCheatFiles(const std::wstring& logDirectory, const std::wstring& installDir) {
  CleanupLists lists;
  if (!installDir.empty()) {
    lists = CollectEasyAntiCheatEntries(installDir);
  }
  HeldFolder logFolder;
  if (HoldFolder(logDirectory, logFolder) == ERROR_SUCCESS) {
    AddExtractedSetups(logFolder, logFolder, lists);
  }
  // Let go before the deletions: the log folder may be a legacy folder too.
  logFolder = HeldFolder{};
  DeleteEasyAntiCheatEntries(lists);
}
