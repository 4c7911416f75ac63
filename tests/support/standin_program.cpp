// Stand-in for the programs the launcher starts (the anti-cheat installer
// and the legacy setup program) in tests and the demo. It appends its
// command line, as UTF-8, to the file named by <PREFIX>_RECORD and exits
// with the number in <PREFIX>_EXIT (0 when unset). <PREFIX>_SLEEP_MS keeps
// it running for a while first.

#include <windows.h>

#include <cstdlib>
#include <string>

#ifndef STANDIN_PREFIX
#error "STANDIN_PREFIX must name the environment prefix of this stand-in"
#endif

namespace {

std::wstring Environment(const std::wstring& name) {
  wchar_t value[32768] = {};
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value, 32768);
  return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

void AppendLine(const std::wstring& path, const std::wstring& line) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), text.data(), bytes,
                      nullptr, nullptr);
  text += '\n';
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A DLL that is no KnownDLL, as real setups load: one planted beside the
  // program would come first.
  GetFileVersionInfoSizeW(L"kernel32.dll", nullptr);
  const std::wstring prefix = STANDIN_PREFIX;
  const std::wstring record = Environment(prefix + L"_RECORD");
  if (!record.empty()) {
    AppendLine(record, GetCommandLineW());
  }
  const std::wstring sleep = Environment(prefix + L"_SLEEP_MS");
  if (!sleep.empty()) {
    Sleep(static_cast<DWORD>(std::wcstoul(sleep.c_str(), nullptr, 10)));
  }
  const std::wstring exitCode = Environment(prefix + L"_EXIT");
  return exitCode.empty() ? 0 : static_cast<int>(std::wcstoul(exitCode.c_str(), nullptr, 10));
}
