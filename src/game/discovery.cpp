#include "game/discovery.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process_facts.h"
#include "common/unique_resource.h"
#include "log/run_log.h"

namespace {

constexpr wchar_t kGamesKey[] = L"SOFTWARE\\Zelqa Games";
constexpr wchar_t kInstallDirValue[] = L"Install Dir";
constexpr DWORD kMinimumNameChars = 260;
// No Windows path is longer; a longer value can't name the game's folder.
constexpr size_t kLongestPathChars = 32767;

// The parent of the deepest folder named exactly "__Installer" on `directory`.
std::wstring GameRootAboveInstaller(const std::wstring& directory) {
  std::wstring path = directory;
  for (;;) {
    std::wstring parent = ParentPath(path);
    if (parent.empty() || parent == path) {
      return std::wstring();
    }
    if (FileName(path) == L"__Installer") {
      return parent;
    }
    path = std::move(parent);
  }
}

// A folder the game may live in: as the launcher names it, compared as
// text, and which folder it is, where it can be opened.
struct Candidate {
  std::wstring normal;
  bool identified = false;
  FileIdentity identity;
};

// Reads which folder `path` names, following links as the path itself
// does. Returns 0 with `identified` set, or the error of a folder that is
// there but can't be told; a folder that isn't there, or a path that names
// none on its own (relative, empty), leaves `identified` false.
DWORD IdentifyFolder(const std::wstring& path, bool& identified, FileIdentity& identity) {
  identified = false;
  std::wstring root;
  std::vector<std::wstring> names;
  if (!SplitRootAndNames(path, root, names)) {
    return ERROR_SUCCESS;
  }
  UniqueFileHandle folder;
  DWORD error = OpenFollowingLinks(path, 0, folder);
  if (error == ERROR_SUCCESS) {
    error = ReadFileIdentity(folder.get(), identity);
  }
  identified = error == ERROR_SUCCESS;
  return IsNotFoundError(error) ? ERROR_SUCCESS : error;
}

// `folder` in the form it is compared in, and which folder it is; a folder
// that can't be told is logged and returned with its error.
DWORD MakeCandidate(const std::wstring& folder, Candidate& candidate) {
  candidate.normal = std::filesystem::path(folder).lexically_normal().wstring();
  const DWORD error = IdentifyFolder(candidate.normal, candidate.identified, candidate.identity);
  if (error != ERROR_SUCCESS) {
    LogStepError(error, L"opening " + LogPath(folder));
  }
  return error;
}

// The candidates of `folders`, in order. Returns 0, or the error of the last
// that can't be told.
DWORD MakeCandidates(const std::vector<std::wstring>& folders, std::vector<Candidate>& candidates) {
  DWORD lastError = ERROR_SUCCESS;
  candidates.assign(folders.size(), Candidate{});
  for (size_t i = 0; i < folders.size(); ++i) {
    if (const DWORD error = MakeCandidate(folders[i], candidates[i]); error != ERROR_SUCCESS) {
      lastError = error;
    }
  }
  return lastError;
}

// Where a registered install folder matches where the launcher runs.
struct FolderMatch {
  bool throughLauncher = false;  // one of the launcher's own folders
  bool throughCurrent = false;   // the current directory
};

// Whether the registered `folder` (normalized) names a candidate: as text
// (letter case aside), or else as the same folder, however it is spelled (a
// drive letter aliasing another, Wine's Z:, a link on the way), opened once.
// Returns 0, or the error of opening a folder that is there.
DWORD MatchInstallFolder(const std::vector<Candidate>& launcherFolders, const Candidate& current,
                         const std::wstring& folder, FolderMatch& match) {
  const auto namedAs = [&](const Candidate& candidate) {
    return EqualPathsIgnoringCase(candidate.normal, folder);
  };
  match.throughLauncher = std::any_of(launcherFolders.begin(), launcherFolders.end(), namedAs);
  match.throughCurrent = !current.normal.empty() && namedAs(current);
  const auto identified = [](const Candidate& candidate) { return candidate.identified; };
  if (match.throughLauncher || match.throughCurrent ||
      (std::none_of(launcherFolders.begin(), launcherFolders.end(), identified) &&
       !current.identified)) {
    return ERROR_SUCCESS;
  }
  bool opened = false;
  FileIdentity identity;
  const DWORD error = IdentifyFolder(folder, opened, identity);
  const auto isIt = [&](const Candidate& candidate) {
    return opened && candidate.identified && candidate.identity == identity;
  };
  match.throughLauncher = std::any_of(launcherFolders.begin(), launcherFolders.end(), isIt);
  match.throughCurrent = isIt(current);
  return error;
}

// Reads the registration at `index` of the open `games` key into `values`,
// with `name` as room for its name. Returns 0; ERROR_NO_MORE_ITEMS or
// ERROR_FILE_NOT_FOUND for one removed meanwhile; or the error.
DWORD ReadRegistrationAt(HKEY games, DWORD index, std::vector<wchar_t>& name,
                         GameInstallInfo& values) {
  auto nameLength = static_cast<DWORD>(name.size());
  const LSTATUS status =
      RegEnumKeyExW(games, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) {
    return static_cast<DWORD>(status);
  }
  return ReadGameKeyValues(std::wstring(name.data(), nameLength), values);
}

}  // namespace

std::wstring InstallDir(const GameInstallInfo& info) {
  const auto found = info.find(kInstallDirValue);
  return found == info.end() ? std::wstring() : found->second;
}

std::vector<std::wstring> GameRootCandidates(const std::wstring& programDirectory) {
  std::vector<std::wstring> candidates{programDirectory};
  std::wstring root;
  if (programDirectory.find(L"__Installer") != std::wstring::npos) {
    root = GameRootAboveInstaller(programDirectory);
  } else if (programDirectory.find(L"ZelqaAntiCheat") != std::wstring::npos) {
    root = ParentPath(programDirectory);
  }
  if (!root.empty()) {
    candidates.insert(candidates.begin(), root);
  }
  return candidates;
}

std::wstring NormalizeInstallFolder(const std::wstring& folder) {
  std::wstring path = folder;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  // Appending a component and taking its parent drops trailing separators
  // while a root keeps its own.
  path = ParentPath((std::filesystem::path(path) / L"temp").wstring());
  return std::filesystem::path(path).lexically_normal().wstring();
}

bool FindGameInstallInfo(GameInstallInfo& info) {
  std::wstring modulePath;
  // Without its own path the launcher can't tell its game from the one in
  // the current directory: none is taken.
  if (const DWORD error = ReadModulePath(modulePath); error != ERROR_SUCCESS) {
    LogStepError(error, L"reading the launcher's path");
    return false;
  }
  return MatchGameInstallKey(GameRootCandidates(ParentPath(modulePath)), GetWorkingDirectory(),
                             info);
}

bool MatchGameInstallKey(const std::vector<std::wstring>& launcherFolders,
                         const std::wstring& currentDirectory, GameInstallInfo& info) {
  UniqueHkey games;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGamesKey, 0, KEY_READ, games.put());
  DWORD subkeyCount = 0;
  DWORD longestName = 0;
  if (status == ERROR_SUCCESS) {
    status = RegQueryInfoKeyW(games.get(), nullptr, nullptr, nullptr, &subkeyCount, &longestName,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  if (status != ERROR_SUCCESS) {
    // No key at all is the answer of a machine with none of the games.
    if (status != ERROR_FILE_NOT_FOUND) {
      LogStepError(static_cast<DWORD>(status), L"reading the game registrations");
    }
    return false;
  }

  // A launcher folder that can't be told may be the one a registration
  // names in another spelling: then no match through the current directory
  // stands, as after a registration that can't be read.
  std::vector<Candidate> launcher;
  DWORD unreadable = MakeCandidates(launcherFolders, launcher);
  Candidate current;
  (void)MakeCandidate(currentDirectory, current);

  std::vector<wchar_t> name(std::max(longestName + 1, kMinimumNameChars));
  GameInstallInfo found;
  bool matched = false;
  bool matchedThroughLauncher = false;
  for (DWORD index = 0; index < subkeyCount; ++index) {
    GameInstallInfo values;
    const DWORD error = ReadRegistrationAt(games.get(), index, name, values);
    if (error == ERROR_NO_MORE_ITEMS || error == ERROR_FILE_NOT_FOUND) {
      continue;  // removed since the count was taken
    }
    if (error != ERROR_SUCCESS) {
      LogStepError(error, L"reading a game registration");
      unreadable = error;
      continue;
    }
    const auto installDir = values.find(kInstallDirValue);
    if (installDir == values.end() || installDir->second.size() > kLongestPathChars) {
      continue;
    }
    // The game that holds the launcher is the one it serves: the current
    // directory may be another game's folder, whose files must not be
    // taken for this game's. Within each kind, the last registration
    // enumerated wins.
    FolderMatch match;
    if (const DWORD openError = MatchInstallFolder(
            launcher, current, NormalizeInstallFolder(installDir->second), match);
        openError != ERROR_SUCCESS) {
      LogStepError(openError, L"opening " + LogPath(installDir->second));
      unreadable = openError;
    }
    if (match.throughLauncher || (!matchedThroughLauncher && match.throughCurrent)) {
      found = std::move(values);
      matched = true;
      matchedThroughLauncher = matchedThroughLauncher || match.throughLauncher;
    }
  }
  // A registration that could not be read may have been the launcher's own
  // game: then only a match through the launcher's folders stands.
  if (!matched || (unreadable != ERROR_SUCCESS && !matchedThroughLauncher)) {
    return false;
  }
  info = std::move(found);
  return true;
}

DWORD ReadGameKeyValues(const std::wstring& subkeyName, GameInstallInfo& values) {
  UniqueHkey game;
  LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kGamesKey) + L"\\" + subkeyName).c_str(), 0,
                    KEY_READ, game.put());
  DWORD valueCount = 0;
  DWORD longestName = 0;
  DWORD largestData = 0;
  if (status == ERROR_SUCCESS) {
    status = RegQueryInfoKeyW(game.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &valueCount, &longestName, &largestData, nullptr, nullptr);
  }
  if (status != ERROR_SUCCESS || valueCount == 0 || largestData == 0) {
    return static_cast<DWORD>(status);
  }
  std::vector<wchar_t> name(std::max(longestName + 1, kMinimumNameChars));
  std::vector<BYTE> data(largestData);
  for (DWORD index = 0; index < valueCount; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    status = RegEnumValueW(game.get(), index, name.data(), &nameLength, nullptr, &type, data.data(),
                           &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) {
      break;  // removed since the count was taken
    }
    if (status != ERROR_SUCCESS) {
      return static_cast<DWORD>(status);
    }
    if (type != REG_SZ) {
      continue;
    }
    const auto* text = reinterpret_cast<const wchar_t*>(data.data());
    const size_t units = dataSize / sizeof(wchar_t);
    values[std::wstring(name.data(), nameLength)] =
        std::wstring(text, std::find(text, text + units, L'\0'));
  }
  return ERROR_SUCCESS;
}
