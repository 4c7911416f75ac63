// Starts the anti-cheat installer beside it and waits: the cost of the
// process start alone, for the overhead benchmark.

#include <windows.h>

#include <string>

#include "common/unique_resource.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) {
    return ERROR_FILENAME_EXCED_RANGE;
  }
  std::wstring commandLine(self, length);
  commandLine.erase(commandLine.find_last_of(L'\\') + 1);
  commandLine =
      L"\"" + commandLine + L"ZelqaAntiCheat.Installer.exe\" --noui --install --title Bench";

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return static_cast<int>(GetLastError());
  }
  const UniqueHandle child(process.hProcess);
  const UniqueHandle thread(process.hThread);
  // The launcher, too, reports that the installer ran, not its exit code.
  return static_cast<int>(WaitForSingleObject(child.get(), INFINITE));
}
