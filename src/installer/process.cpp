#include "installer/process.h"

#include <vector>

#include "common/unique_resource.h"
#include "log/run_log.h"

DWORD RunProcessAndWait(const std::wstring& commandLine, bool wait) {
  // CreateProcessW may write into the command line it is given.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created{};
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &created)) {
    const DWORD error = GetLastError();
    BeginLogLine() << L"CreateProcess failed : " << error << std::endl;
    return error;
  }
  const UniqueHandle process(created.hProcess);
  const UniqueHandle thread(created.hThread);
  return wait ? WaitForSingleObject(process.get(), INFINITE) : ERROR_SUCCESS;
}
