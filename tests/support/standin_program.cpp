// Stand-in for the programs the launcher starts (the anti-cheat installer
// and the legacy setup program) in tests and the demo. It appends its
// command line, as UTF-8, to the file named by <PREFIX>_RECORD and exits
// with the number in <PREFIX>_EXIT (0 when unset). With <PREFIX>_WAIT_FOR
// it runs until that file exists (a minute at most) and then records "done";
// with <PREFIX>_POLICY_RECORD it writes its image-load mitigation flags there.

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
  const std::wstring waitFor = Environment(prefix + L"_WAIT_FOR");
  for (int i = 0; !waitFor.empty() && i < 600; ++i) {
    if (GetFileAttributesW(waitFor.c_str()) != INVALID_FILE_ATTRIBUTES) {
      AppendLine(record, L"done");
      break;
    }
    Sleep(100);
  }
  // GetProcessMitigationPolicy with ProcessImageLoadPolicy (10), which
  // Windows 7 and Wine lack: the flags then read as "none".
  const std::wstring policyRecord = Environment(prefix + L"_POLICY_RECORD");
  if (!policyRecord.empty()) {
    using PolicyQuery = BOOL(WINAPI*)(HANDLE, int, PVOID, SIZE_T);
    const auto query = reinterpret_cast<PolicyQuery>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcessMitigationPolicy")));
    DWORD flags = 0;
    const bool read = query != nullptr && query(GetCurrentProcess(), 10, &flags, sizeof(flags));
    AppendLine(policyRecord, read ? std::to_wstring(flags) : L"none");
  }
  const std::wstring exitCode = Environment(prefix + L"_EXIT");
  return exitCode.empty() ? 0 : static_cast<int>(std::wcstoul(exitCode.c_str(), nullptr, 10));
}
