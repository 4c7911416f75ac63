#include "common/process.h"

#include <vector>

#include "common/unique_resource.h"

namespace {

DWORD Start(const std::wstring& commandLine, const wchar_t* applicationName,
            UniqueProcessInformation& child) {
  // CreateProcessW may write into the command line it is given.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created{};
  // No handle is inherited, whatever the launcher's standard output is.
  if (!CreateProcessW(applicationName, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &created)) {
    return GetLastError();
  }
  child.process.reset(created.hProcess);
  child.thread.reset(created.hThread);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD StartProcess(const std::wstring& commandLine, const wchar_t* applicationName) {
  UniqueProcessInformation child;
  return Start(commandLine, applicationName, child);
}

DWORD RunProcessAndWait(const std::wstring& commandLine, DWORD& exitCode,
                        const wchar_t* applicationName) {
  exitCode = 0;
  UniqueProcessInformation child;
  if (const DWORD error = Start(commandLine, applicationName, child); error != ERROR_SUCCESS) {
    return error;
  }
  if (WaitForSingleObject(child.process.get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(child.process.get(), &exitCode)) {
    exitCode = 0;
    return WAIT_FAILED;
  }
  return ERROR_SUCCESS;
}
