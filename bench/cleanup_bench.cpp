// Times the legacy cleanup against a bare recursive listing of the same game
// folder, which is the least any walk must do: the selection step alone, and
// the whole cleanup with its checked deletions.
//   cleanup_bench.exe [folder]   (default: scratch\cleanup-bench beside it)

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "common/process_facts.h"
#include "common/unique_resource.h"
#include "legacy/cleanup.h"
#include "log/run_log.h"

namespace {

constexpr int kFolders = 5000;
constexpr int kFilesPerFolder = 10;
constexpr int kRounds = 7;

bool WriteSmallFile(const std::wstring& path) {
  const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), "x", 1, &written, nullptr);
}

std::wstring FolderPath(const std::wstring& root, int top, int sub) {
  const std::wstring topPath = JoinPath(root, L"Data" + std::to_wstring(top));
  return sub < 0 ? topPath : JoinPath(topPath, L"Part" + std::to_wstring(sub));
}

// A launcher in every 50th folder, and a legacy folder of 200 files in 20
// subfolders: 321 legacy entries.
bool MakeLegacyEntries(const std::wstring& root) {
  int folders = 0;
  for (int top = 0; top < 100; ++top) {
    for (int sub = -1; sub < 49; ++sub) {
      if (++folders % 50 == 0 &&
          !WriteSmallFile(JoinPath(FolderPath(root, top, sub), L"Tool_launcher.exe"))) {
        return false;
      }
    }
  }
  const std::wstring legacy = JoinPath(root, L"EasyAntiCheat");
  CreateDirectoryW(legacy.c_str(), nullptr);
  for (int sub = 0; sub < 20; ++sub) {
    const std::wstring folder = JoinPath(legacy, L"Part" + std::to_wstring(sub));
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int file = 0; file < 10; ++file) {
      if (!WriteSmallFile(JoinPath(folder, L"eac" + std::to_wstring(file) + L".dll"))) {
        return false;
      }
    }
  }
  return true;
}

// 100 top folders of 49 subfolders each (5,000 folders with the tops), ten
// files in every folder: 50,000 game files, and the legacy entries.
bool MakeGameFolder(const std::wstring& root) {
  CreateDirectoryW(root.c_str(), nullptr);
  for (int top = 0; top < 100; ++top) {
    for (int sub = -1; sub < 49; ++sub) {
      const std::wstring folder = FolderPath(root, top, sub);
      if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        return false;
      }
      for (int file = 0; file < kFilesPerFolder; ++file) {
        if (!WriteSmallFile(JoinPath(folder, L"asset" + std::to_wstring(file) + L".pak"))) {
          return false;
        }
      }
    }
  }
  return MakeLegacyEntries(root);
}

// Folders the walk goes into: never a link or junction.
bool IsPlainFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The bare walk: every folder listed once, links not entered.
size_t ListTree(const std::wstring& folder) {
  size_t entries = 0;
  WIN32_FIND_DATAW entry{};
  const UniqueFindHandle find(FindFirstFileExW(JoinPath(folder, L"*").c_str(), FindExInfoBasic,
                                               &entry, FindExSearchNameMatch, nullptr,
                                               FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    return 0;
  }
  do {
    if (entry.cFileName[0] == L'.' &&
        (entry.cFileName[1] == L'\0' ||
         (entry.cFileName[1] == L'.' && entry.cFileName[2] == L'\0'))) {
      continue;
    }
    ++entries;
    if (IsPlainFolder(entry.dwFileAttributes)) {
      entries += ListTree(JoinPath(folder, entry.cFileName));
    }
  } while (FindNextFileW(find.get(), &entry));
  return entries;
}

// The relative paths the walk hands to the patterns, without the disk.
std::vector<std::wstring> RelativePaths(const std::wstring& folder, const std::wstring& relative) {
  std::vector<std::wstring> paths;
  WIN32_FIND_DATAW entry{};
  const UniqueFindHandle find(FindFirstFileExW(JoinPath(folder, L"*").c_str(), FindExInfoBasic,
                                               &entry, FindExSearchNameMatch, nullptr, 0));
  if (!find) {
    return paths;
  }
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") {
      continue;
    }
    paths.push_back(relative.empty() ? name : relative + L'\\' + name);
    if (IsPlainFolder(entry.dwFileAttributes)) {
      const std::vector<std::wstring> inner = RelativePaths(JoinPath(folder, name), paths.back());
      paths.insert(paths.end(), inner.begin(), inner.end());
    }
  } while (FindNextFileW(find.get(), &entry));
  return paths;
}

template <typename Step>
double MedianMilliseconds(Step step) {
  return MedianMilliseconds([] {}, step);
}

// The median of `step`'s times, `prepare` running untimed before each.
template <typename Prepare, typename Step>
double MedianMilliseconds(Prepare prepare, Step step) {
  std::vector<double> times;
  for (int round = 0; round < kRounds; ++round) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    step();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring scratch = JoinPath(GetModuleDirectory(), L"scratch");
  CreateDirectoryW(scratch.c_str(), nullptr);
  const std::wstring root = argc > 1 ? argv[1] : JoinPath(scratch, L"cleanup-bench");

  const std::wstring marker = JoinPath(root, L"complete.txt");
  if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("Generating the game folder (once)...\n");
    if (!MakeGameFolder(root) || !WriteSmallFile(marker)) {
      std::printf("Could not generate the game folder: %lu\n", GetLastError());
      return 1;
    }
  }
  // The cleanup's log lines go nowhere, so only its own work is timed.
  const UniqueFileHandle nowhere(
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!nowhere) {
    return 1;
  }
  SetRunLogOutput(nowhere.get());

  size_t listed = 0;
  size_t selected = 0;
  // One warm-up of each, so both run on a warm cache.
  ListTree(root);
  (void)CollectEasyAntiCheatEntries(root);
  const double walk = MedianMilliseconds([&] { listed = ListTree(root); });
  const double selection = MedianMilliseconds([&] {
    const CleanupLists lists = CollectEasyAntiCheatEntries(root);
    selected = lists.files.size() + lists.folders.size();
  });
  bool restored = true;
  const double cleanup = MedianMilliseconds([&] { restored = MakeLegacyEntries(root) && restored; },
                                            [&] {
                                              CleanupLists lists =
                                                  CollectEasyAntiCheatEntries(root);
                                              RetryBudget budget;
                                              DeleteEasyAntiCheatEntries(lists, budget);
                                            });
  restored = MakeLegacyEntries(root) && restored;
  SetRunLogOutput(GetStdHandle(STD_OUTPUT_HANDLE));

  const std::vector<std::wstring> relativePaths = RelativePaths(root, std::wstring());
  size_t matched = 0;
  const double patterns = MedianMilliseconds([&] {
    matched = static_cast<size_t>(
        std::count_if(relativePaths.begin(), relativePaths.end(), IsEasyAntiCheatRelativePath));
  });

  std::printf("Game folder: %ls\n", root.c_str());
  std::printf("Entries listed: %zu, legacy entries selected: %zu\n", listed, selected);
  std::printf("Bare listing (median of %d): %8.1f ms\n", kRounds, walk);
  std::printf("Selection    (median of %d): %8.1f ms\n", kRounds, selection);
  std::printf("Cleanup      (median of %d): %8.1f ms (selection and checked deletions)\n", kRounds,
              cleanup);
  std::printf("Ratio selection / listing:   %8.2f\n", selection / walk);
  std::printf("Ratio cleanup / listing:     %8.2f\n", cleanup / walk);
  std::printf("Patterns alone over %zu paths (%zu match): %.1f ms\n", relativePaths.size(), matched,
              patterns);
  if (!restored) {
    std::printf("Could not restore the legacy entries between rounds: %lu\n", GetLastError());
    return 1;
  }
  return 0;
}
