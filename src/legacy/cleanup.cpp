#include "legacy/cleanup.h"

#include <knownfolders.h>
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

// A known folder's path for the running account, or the system's; empty
// when there is none.
std::wstring KnownFolderPath(REFKNOWNFOLDERID folder) {
  UniqueIdList list;
  std::wstring path(UNICODE_STRING_MAX_CHARS, L'\0');
  // The ID list and its path need nothing beyond shell32; the path form
  // would need ole32 loaded to free it.
  if (FAILED(SHGetKnownFolderIDList(folder, KF_FLAG_DONT_VERIFY, nullptr, list.put())) ||
      !SHGetPathFromIDListEx(list.get(), path.data(), static_cast<DWORD>(path.size()),
                             GPFIDL_DEFAULT)) {
    return {};
  }
  path.resize(wcslen(path.c_str()));
  return path;
}

// The folders no game may be cleaned up in, each as the system names it and
// as it resolves. The profiles folder is the system's, never the parent of
// the running account's profile: LocalSystem's lies in the Windows folder.
SharedFolders ReadSharedFolders() {
  SharedFolders shared;
  const auto add = [](std::vector<std::wstring>& list, const std::wstring& path) {
    if (path.empty()) {
      return;
    }
    list.push_back(path);
    std::wstring finalPath;
    if (GetFinalPathOf(path, finalPath) == ERROR_SUCCESS) {
      list.push_back(finalPath);
    }
  };
  const std::wstring profile = KnownFolderPath(FOLDERID_Profile);
  for (const KNOWNFOLDERID* folder :
       {&FOLDERID_Profile, &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData, &FOLDERID_Documents,
        &FOLDERID_Desktop, &FOLDERID_Downloads, &FOLDERID_Public, &FOLDERID_ProgramFiles,
        &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesCommon, &FOLDERID_ProgramFilesCommonX86,
        &FOLDERID_ProgramData}) {
    const std::wstring path = KnownFolderPath(*folder);
    add(shared.exact, path);
    if (folder == &FOLDERID_ProgramData && !path.empty()) {
      add(shared.exact, JoinPath(path, L"Microsoft"));
    }
    std::wstring inProfile;
    if (RelativePathInside(profile, path, inProfile)) {
      shared.inEveryProfile.push_back(inProfile);
    }
  }
  add(shared.whole, KnownFolderPath(FOLDERID_Windows));
  add(shared.profiles, KnownFolderPath(FOLDERID_UserProfiles));
  return shared;
}

// The form paths are compared in: no \\?\ prefix, no separator at the end.
std::wstring ComparedForm(const std::wstring& path) {
  return WithoutTrailingSeparators(WithoutExtendedPrefix(path));
}

// True when `outer` is `inner` or holds it, both in compared form.
bool IsOrHolds(const std::wstring& outer, const std::wstring& inner) {
  std::wstring ignored;
  return !inner.empty() &&
         (EqualPathsIgnoringCase(outer, inner) || RelativePathInside(outer, inner, ignored));
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
  return OpenEntryAt(collected.path, collected.finalPath,
                     DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, entry);
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

// The legacy entries of `installDir` (none when it is empty) and the setup
// programs extracted into the two folders.
CleanupLists CollectCleanup(const HeldFolder& logFolder, const HeldFolder& setupFolder,
                            const std::wstring& installDir) {
  CleanupLists lists;
  if (!installDir.empty()) {
    lists = CollectEasyAntiCheatEntries(installDir);
  }
  AddExtractedSetups(logFolder, setupFolder, lists);
  return lists;
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

bool IsTooBroadForCleanup(const std::wstring& folder, const SharedFolders& shared) {
  const std::wstring plain = ComparedForm(folder);
  if (plain.empty() || IsVolumeRoot(plain)) {
    return true;
  }
  // A folder that holds a shared one holds more than a game too.
  const auto refused = [&](const std::wstring& sharedFolder) {
    return IsOrHolds(plain, ComparedForm(sharedFolder));
  };
  const auto inside = [&](const std::wstring& sharedFolder) {
    std::wstring ignored;
    return !sharedFolder.empty() && RelativePathInside(ComparedForm(sharedFolder), plain, ignored);
  };
  // A profile itself, or one of its shared folders, in any account's profile.
  const auto inAProfile = [&](const std::wstring& profiles) {
    std::wstring inProfiles;
    if (profiles.empty() || !RelativePathInside(ComparedForm(profiles), plain, inProfiles)) {
      return false;
    }
    const size_t separator = inProfiles.find_first_of(L"\\/");
    if (separator == std::wstring::npos) {
      return true;
    }
    const std::wstring inProfile = inProfiles.substr(separator + 1);
    return std::any_of(
        shared.inEveryProfile.begin(), shared.inEveryProfile.end(),
        [&](const std::wstring& path) { return IsOrHolds(inProfile, ComparedForm(path)); });
  };
  return std::any_of(shared.exact.begin(), shared.exact.end(), refused) ||
         std::any_of(shared.whole.begin(), shared.whole.end(), refused) ||
         std::any_of(shared.whole.begin(), shared.whole.end(), inside) ||
         std::any_of(shared.profiles.begin(), shared.profiles.end(), refused) ||
         std::any_of(shared.profiles.begin(), shared.profiles.end(), inAProfile);
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
  const SharedFolders shared = ReadSharedFolders();
  if (IsTooBroadForCleanup(installDir, shared) || IsTooBroadForCleanup(gameFolder, shared)) {
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
  DeleteEasyAntiCheatEntries(CollectCleanup(logFolder, setupFolder, installDir));
}

void DeleteEasyAntiCheatFiles(const std::wstring& logDirectory, const std::wstring& installDir) {
  HeldFolder logFolder;
  // A log folder that can't be held adds no extracted setup.
  (void)HoldFolder(logDirectory, logFolder);
  const CleanupLists lists = CollectCleanup(logFolder, logFolder, installDir);
  // Let go before the deletions: the log folder may be a legacy folder too.
  logFolder = HeldFolder{};
  DeleteEasyAntiCheatEntries(lists);
}
