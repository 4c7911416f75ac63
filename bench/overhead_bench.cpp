// How much slower an install run of Launcher.exe is than the least program
// that must make the same platform calls and start the same installer.
//
//   overhead_bench.exe [runs [launcher]]
//
// Runs from the build folder, beside Launcher.exe, floor_program.exe,
// bare_program.exe and the stand-in ZelqaAntiCheat.Installer.exe; another
// launcher (the release build's) can be named, and finds the installer in
// the working directory, the build folder. Each pair
// times the launcher and the floor program back to back, in alternating
// order so neither always runs on a warmer cache; a bare run (the installer
// start alone) follows each pair.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/unique_resource.h"
#include "resource_ids.h"

namespace {

std::wstring ModuleDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring directory(path, length < MAX_PATH ? length : 0);
  return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

bool FileSize(const std::wstring& path, ULONGLONG& size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    return false;
  }
  size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

// Milliseconds from CreateProcessW to the end of the program, or a negative
// number when it did not start or did not succeed.
double TimeRun(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& directory, HANDLE nul) {
  std::wstring commandLine = L"\"" + program + L"\"" + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  // Both programs write nowhere, so neither pays for a console or a file.
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  PROCESS_INFORMATION created{};
  LARGE_INTEGER frequency{}, start{}, end{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      directory.c_str(), &startup, &created)) {
    std::fwprintf(stderr, L"cannot start %ls: %lu\n", program.c_str(), GetLastError());
    return -1;
  }
  const UniqueHandle process(created.hProcess);
  const UniqueHandle thread(created.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  QueryPerformanceCounter(&end);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  if (exitCode != 0) {
    std::fwprintf(stderr, L"%ls exited with %lu\n", program.c_str(), exitCode);
    return -1;
  }
  return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The size of the embedded legacy setup program, read from the image
// without running it.
bool LegacySetupResourceSize(const std::wstring& launcher, DWORD& size) {
  const UniqueModule image(LoadLibraryExW(
      launcher.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!image) {
    return false;
  }
  HRSRC resource = FindResourceW(image.get(), MAKEINTRESOURCEW(IDR_LEGACY_SETUP), L"BINARY");
  size = resource != nullptr ? SizeofResource(image.get(), resource) : 0;
  return resource != nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 30;
  const std::wstring directory = ModuleDirectory();
  const std::wstring launcher = argc > 2 ? std::wstring(argv[2]) : directory + L"Launcher.exe";
  const std::wstring floor = directory + L"floor_program.exe";
  const std::wstring bare = directory + L"bare_program.exe";
  for (const std::wstring& program :
       {launcher, floor, bare, directory + L"ZelqaAntiCheat.Installer.exe"}) {
    if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::fwprintf(stderr, L"missing %ls\n", program.c_str());
      return 1;
    }
  }
  const UniqueFileHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
  SetHandleInformation(nul.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  const std::wstring arguments = L" install -title Bench";

  // The first runs load the images into the cache and create the log
  // folder; they are not counted.
  for (int warm = 0; warm < 3; ++warm) {
    if (TimeRun(launcher, arguments, directory, nul.get()) < 0 ||
        TimeRun(floor, arguments, directory, nul.get()) < 0 ||
        TimeRun(bare, L"", directory, nul.get()) < 0) {
      return 1;
    }
  }

  std::vector<double> launcherTimes, floorTimes, bareTimes, ratios;
  std::wprintf(L"pair  launcher ms  floor ms  ratio   bare ms\n");
  for (int pair = 0; pair < runs; ++pair) {
    double launcherTime = 0, floorTime = 0;
    if (pair % 2 == 0) {
      launcherTime = TimeRun(launcher, arguments, directory, nul.get());
      floorTime = TimeRun(floor, arguments, directory, nul.get());
    } else {
      floorTime = TimeRun(floor, arguments, directory, nul.get());
      launcherTime = TimeRun(launcher, arguments, directory, nul.get());
    }
    const double bareTime = TimeRun(bare, L"", directory, nul.get());
    if (launcherTime < 0 || floorTime < 0 || bareTime < 0) {
      return 1;
    }
    launcherTimes.push_back(launcherTime);
    floorTimes.push_back(floorTime);
    bareTimes.push_back(bareTime);
    ratios.push_back(launcherTime / floorTime);
    std::wprintf(L"%4d  %11.2f  %8.2f  %5.3f  %8.2f\n", pair + 1, launcherTime, floorTime,
                 launcherTime / floorTime, bareTime);
  }

  const double launcherMedian = Median(launcherTimes);
  const double floorMedian = Median(floorTimes);
  const double bareMedian = Median(bareTimes);
  std::wprintf(L"\nmedian launcher %.2f ms, floor %.2f ms, bare %.2f ms (%d pairs)\n",
               launcherMedian, floorMedian, bareMedian, runs);
  std::wprintf(L"ratio of medians launcher/floor: %.3f\n", launcherMedian / floorMedian);
  std::wprintf(L"median of pair ratios launcher/floor: %.3f (target at most 1.050)\n",
               Median(ratios));
  std::wprintf(L"ratio of medians launcher/bare: %.3f, floor/bare: %.3f\n",
               launcherMedian / bareMedian, floorMedian / bareMedian);

  ULONGLONG size = 0;
  DWORD legacySize = 0;
  if (FileSize(launcher, size) && LegacySetupResourceSize(launcher, legacySize)) {
    std::wprintf(L"Launcher.exe %llu bytes, embedded legacy setup %lu bytes, without it %llu\n",
                 size, legacySize, size - legacySize);
  }
  return 0;
}
