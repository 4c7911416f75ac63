#include "legacy/cleanup.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string_view>
#include <system_error>
#include <vector>

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

// What a link refers to; false when it leads nowhere (a dangling link).
bool ReadLinkTargetAttributes(const std::wstring& path, DWORD& attributes) {
  const UniqueFileHandle target(
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!target || !GetFileInformationByHandle(target.get(), &information)) {
    return false;
  }
  attributes = information.dwFileAttributes;
  return true;
}

void LogListingError(DWORD error, const std::wstring& folder) {
  BeginLogLine() << L"Error " << error << L" listing dir: " << folder << std::endl;
}

// Sorts one listed entry into the lists. Entries the walk knows the relative
// path of are judged without touching the disk; links by their target.
void CollectEntry(const std::wstring& installDir, const std::wstring& path,
                  const std::wstring& relativePath, DWORD attributes, CleanupLists& lists) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if (!ReadLinkTargetAttributes(path, attributes) || !IsEasyAntiCheatPath(installDir, path)) {
      return;
    }
  } else if (!IsEasyAntiCheatRelativePath(relativePath)) {
    return;
  }
  ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? lists.folders : lists.files).push_back(path);
}

}  // namespace

// Pre-order walk in listing order; links and junctions are listed, never
// entered. A folder that can't be listed is logged and passed over.
CleanupLists CollectEasyAntiCheatEntries(const std::wstring& installDir) {
  CleanupLists lists;
  struct Folder {
    UniqueFindHandle find;
    std::wstring path;
    std::wstring relativePath;
  };
  std::vector<Folder> open;
  WIN32_FIND_DATAW entry{};

  const auto enter = [&](const std::wstring& path, const std::wstring& relativePath) {
    UniqueFindHandle find(FindFirstFileExW(JoinPath(path, L"*").c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
      const DWORD error = GetLastError();
      // No entry at all, not even "." (a drive's root): nothing to collect.
      if (error != ERROR_FILE_NOT_FOUND) {
        LogListingError(error, path);
      }
      return false;
    }
    open.push_back(Folder{std::move(find), path, relativePath});
    return true;
  };

  bool haveEntry = enter(installDir, std::wstring());
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
    const Folder& folder = open.back();
    const std::wstring path = JoinPath(folder.path, name);
    const std::wstring relativePath =
        folder.relativePath.empty() ? name : folder.relativePath + L'\\' + name;
    CollectEntry(installDir, path, relativePath, attributes, lists);
    // A folder just entered has its first entry in `entry` already: not
    // every file system lists "." first, or at all.
    haveEntry = (ShouldDescendInto(attributes) && enter(path, relativePath)) ||
                FindNextFileW(open.back().find.get(), &entry);
  }
  return lists;
}

bool IsEasyAntiCheatRelativePath(const std::wstring& relativePath) {
  if (!MayBeLegacyPath(relativePath)) {
    return false;
  }
  for (const std::wregex& pattern : CleanupPatterns()) {
    if (std::regex_match(relativePath, pattern)) {
      return true;
    }
  }
  return false;
}

bool IsEasyAntiCheatPath(const std::wstring& installDir, const std::wstring& entryPath) {
  std::error_code error;
  const std::filesystem::path root = std::filesystem::weakly_canonical(installDir, error);
  if (error) {
    return false;
  }
  const std::filesystem::path entry = std::filesystem::weakly_canonical(entryPath, error);
  if (error) {
    return false;
  }
  return IsEasyAntiCheatRelativePath(entry.lexically_relative(root).wstring());
}

bool ShouldDescendInto(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

void DeleteEasyAntiCheatFiles(const std::wstring& logDirectory, const std::wstring& installDir) {
  CleanupLists lists;
  if (!installDir.empty()) {
    lists = CollectEasyAntiCheatEntries(installDir);
  }
  const std::wstring extraFile = JoinPath(logDirectory, kLegacySetupFileName);
  bool extraExists = false;
  if (TestPathExists(extraFile, extraExists) == ERROR_SUCCESS && extraExists &&
      std::find(lists.files.begin(), lists.files.end(), extraFile) == lists.files.end()) {
    lists.files.push_back(extraFile);
  }

  if (!lists.files.empty()) {
    BeginLogLine() << L"Deleting " << static_cast<unsigned long long>(lists.files.size())
                   << L" file(s)..." << std::endl;
    for (const std::wstring& file : lists.files) {
      ClearReadOnly(file);
      BeginLogLine() << L"\tDeleting file: " << file << std::endl;
      if (!DeleteFileW(file.c_str())) {
        BeginLogLine() << L"Error " << GetLastError() << L" deleting file: " << file << std::endl;
      }
    }
  }

  // Deepest first: every folder after the folders found inside it.
  for (auto folder = lists.folders.rbegin(); folder != lists.folders.rend(); ++folder) {
    bool exists = true;
    if (TestPathExists(*folder, exists) == ERROR_SUCCESS && !exists) {
      continue;
    }
    ClearReadOnly(*folder);
    BeginLogLine() << L"Deleting dir: " << *folder << std::endl;
    if (!RemoveDirectoryW(folder->c_str())) {
      BeginLogLine() << L"Error " << GetLastError() << L" deleting dir: " << *folder << std::endl;
    }
  }
}
