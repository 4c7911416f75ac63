#pragma once
// What the overhead benchmark's reference programs share with the launcher:
// starting the installer beside them for `title` and waiting for it.

#include <windows.h>

#include <string>

#include "common/unique_resource.h"

inline int StartInstallerBesideAndWait(const std::wstring& title) {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) {
    return ERROR_FILENAME_EXCED_RANGE;
  }
  std::wstring commandLine(self, length);
  commandLine.erase(commandLine.find_last_of(L'\\') + 1);
  commandLine =
      L"\"" + commandLine + L"ZelqaAntiCheat.Installer.exe\" --noui --install --title " + title;

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
