#include "game/discovery.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "common/path_text.h"
#include "common/process_facts.h"
#include "common/unique_resource.h"

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
  return MatchGameInstallKey(GameRootCandidates(GetModuleDirectory()), GetWorkingDirectory(), info);
}

bool MatchGameInstallKey(const std::vector<std::wstring>& launcherFolders,
                         const std::wstring& currentDirectory, GameInstallInfo& info) {
  UniqueHkey games;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGamesKey, 0, KEY_READ, games.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD subkeyCount = 0;
  DWORD longestName = 0;
  if (RegQueryInfoKeyW(games.get(), nullptr, nullptr, nullptr, &subkeyCount, &longestName, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      subkeyCount == 0) {
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
  for (DWORD index = 0; index < subkeyCount; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(games.get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      continue;
    }
    GameInstallInfo values;
    if (!ReadGameKeyValues(std::wstring(name.data(), nameLength), values)) {
      continue;
    }
    const auto installDir = values.find(kInstallDirValue);
    if (installDir == values.end() || installDir->second.size() > kLongestPathChars) {
      continue;
    }
    const std::wstring folder = NormalizeInstallFolder(installDir->second);
    // The game that holds the launcher is the one it serves: the current
    // directory may be another game's folder, whose files must not be
    // taken for this game's. Within each kind, the last registration
    // enumerated wins.
    const bool throughLauncher = std::any_of(
        normalFolders.begin(), normalFolders.end(),
        [&](const std::wstring& candidate) { return EqualPathsIgnoringCase(candidate, folder); });
    if (throughLauncher || (!matchedThroughLauncher && !normalCurrent.empty() &&
                            EqualPathsIgnoringCase(normalCurrent, folder))) {
      info = std::move(values);
      matched = true;
      matchedThroughLauncher = matchedThroughLauncher || throughLauncher;
    }
  }
  return matched;
}

bool ReadGameKeyValues(const std::wstring& subkeyName, GameInstallInfo& values) {
  UniqueHkey game;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kGamesKey) + L"\\" + subkeyName).c_str(), 0,
                    KEY_READ, game.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD valueCount = 0;
  DWORD longestName = 0;
  DWORD largestData = 0;
  if (RegQueryInfoKeyW(game.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &valueCount, &longestName, &largestData, nullptr,
                       nullptr) != ERROR_SUCCESS ||
      valueCount == 0 || largestData == 0) {
    return true;
  }
  std::vector<wchar_t> name(std::max(longestName + 1, kMinimumNameChars));
  std::vector<BYTE> data(largestData);
  for (DWORD index = 0; index < valueCount; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    // A value that grew since the query no longer fits and is skipped.
    if (RegEnumValueW(game.get(), index, name.data(), &nameLength, nullptr, &type, data.data(),
                      &dataSize) != ERROR_SUCCESS ||
        type != REG_SZ) {
      continue;
    }
    const auto* text = reinterpret_cast<const wchar_t*>(data.data());
    const size_t units = dataSize / sizeof(wchar_t);
    values[std::wstring(name.data(), nameLength)] =
        std::wstring(text, std::find(text, text + units, L'\0'));
  }
  return true;
}
