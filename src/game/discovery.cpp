#include "game/discovery.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>

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

// Where a registered install folder matches where the launcher runs.
struct FolderMatch {
  bool throughLauncher = false;  // one of the launcher's own folders
  bool throughCurrent = false;   // the current directory
};

// Compares the normalized `folder` with the launcher's folders and the
// current directory. Returns 0, or the error of a comparison that failed.
DWORD MatchInstallFolder(const std::vector<std::wstring>& launcherFolders,
                         const std::wstring& currentDirectory, const std::wstring& folder,
                         FolderMatch& match) {
  DWORD error = ERROR_SUCCESS;
  match.throughLauncher = std::any_of(launcherFolders.begin(), launcherFolders.end(),
                                      [&](const std::wstring& candidate) {
                                        return EqualPathsIgnoringCase(candidate, folder, error);
                                      });
  match.throughCurrent =
      !currentDirectory.empty() && EqualPathsIgnoringCase(currentDirectory, folder, error);
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

  std::vector<std::wstring> normalFolders;
  normalFolders.reserve(launcherFolders.size());
  for (const std::wstring& folder : launcherFolders) {
    normalFolders.push_back(std::filesystem::path(folder).lexically_normal().wstring());
  }
  const std::wstring normalCurrent =
      std::filesystem::path(currentDirectory).lexically_normal().wstring();

  std::vector<wchar_t> name(std::max(longestName + 1, kMinimumNameChars));
  bool matched = false;
  bool matchedThroughLauncher = false;
  DWORD unreadable = ERROR_SUCCESS;
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
    if (const DWORD compareError = MatchInstallFolder(
            normalFolders, normalCurrent, NormalizeInstallFolder(installDir->second), match);
        compareError != ERROR_SUCCESS) {
      LogStepError(compareError, L"comparing a game registration");
      unreadable = compareError;
    }
    if (match.throughLauncher || (!matchedThroughLauncher && match.throughCurrent)) {
      info = std::move(values);
      matched = true;
      matchedThroughLauncher = matchedThroughLauncher || match.throughLauncher;
    }
  }
  // A registration that could not be read may have been the launcher's own
  // game: then only a match through the launcher's folders stands.
  if (unreadable != ERROR_SUCCESS && !matchedThroughLauncher) {
    info.clear();
    return false;
  }
  return matched;
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
