#include "launcher/log_placement.h"

#include <shlobj.h>
#include <windows.h>

#include <cwchar>
#include <iomanip>
#include <locale>
#include <sstream>

#include "common/path_text.h"
#include "log/run_log.h"

namespace {

constexpr DWORD kModulePathChars = 520;
constexpr DWORD kWorkingDirectoryChars = 520;

std::wstring GetModulePath() {
  std::wstring path(kModulePathChars, L'\0');
  // A longer path is cut by the platform to what fits, terminator included.
  GetModuleFileNameW(nullptr, path.data(), kModulePathChars);
  path.resize(wcsnlen(path.c_str(), kModulePathChars));
  return path;
}

}  // namespace

bool IsInteractiveWindowStation() {
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr) {
    return true;
  }
  USEROBJECTFLAGS flags{};
  if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), nullptr)) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

std::wstring GetModuleDirectory() { return ParentPath(GetModulePath()); }

std::wstring GetWorkingDirectory() {
  std::wstring directory(kWorkingDirectoryChars, L'\0');
  const DWORD length = GetCurrentDirectoryW(kWorkingDirectoryChars, directory.data());
  // A directory that doesn't fit reports the size it needs: it reads as empty.
  directory.resize(length < kWorkingDirectoryChars ? length : 0);
  return directory;
}

std::wstring GetModuleStem() { return FileStem(GetModulePath()); }

bool EnsureAppDataLogDirectory(std::wstring& directory) {
  wchar_t base[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) {
    // A value too long for the buffer is reported by its size, not copied.
    const DWORD length = GetEnvironmentVariableW(L"AppData", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      return false;
    }
  }
  directory = JoinPath(base, GetModuleStem());
  bool exists = false;
  // A folder whose state can't be read is treated like one that can't be made.
  if (TestPathExists(directory, exists) != ERROR_SUCCESS) {
    return false;
  }
  if (exists) {
    return true;
  }
  const int created = SHCreateDirectoryExW(nullptr, directory.c_str(), nullptr);
  return created == ERROR_SUCCESS || created == ERROR_FILE_EXISTS ||
         created == ERROR_ALREADY_EXISTS;
}

std::wstring SelectLogDirectory() {
  std::wstring directory;
  if (IsInteractiveWindowStation() && EnsureAppDataLogDirectory(directory)) {
    return directory;
  }
  return GetModuleDirectory();
}

std::wstring FormatLogTimestamp(std::time_t time) {
  std::tm local{};
  if (localtime_s(&local, &time) != 0) {
    return std::wstring();
  }
  std::wostringstream text;
  text.imbue(std::locale::classic());
  text << std::put_time(&local, L"%Y-%m-%d %H-%M-%S");
  return text.str();
}

std::wstring FormatLogTimestamp() { return FormatLogTimestamp(std::time(nullptr)); }

std::wstring LogFileName(const std::wstring& stem, const std::wstring& timestamp) {
  return stem + L"_" + timestamp + L".log";
}

bool OpenLogFile(const std::wstring& logDirectory, std::wstring& logFilePath) {
  logFilePath = JoinPath(logDirectory, LogFileName(GetModuleStem(), FormatLogTimestamp()));
  return RedirectRunLog(logFilePath);
}
