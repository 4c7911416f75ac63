#include "launcher/log_placement.h"

#include <shlobj.h>
#include <windows.h>

#include <locale>
#include <sstream>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process_facts.h"
#include "log/run_log.h"

namespace {

// Names tried for the log file of one second before the log stays where it is.
constexpr int kLogFileAttempts = 10;

// The launcher may run elevated while this folder belongs to the user: it
// counts only when it is a folder of its own, not a link or junction that
// would send the log and the setup program elsewhere.
bool IsOwnFolder(const std::wstring& directory) {
  const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(directory).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return false;
  }
  // The attributes don't show every kind of link; the final path does.
  std::wstring finalPath;
  std::wstring parentFinalPath;
  return GetFinalPathOf(directory, finalPath) == ERROR_SUCCESS &&
         GetFinalPathOf(ParentPath(directory), parentFinalPath) == ERROR_SUCCESS &&
         EqualPathsIgnoringCase(finalPath, JoinPath(parentFinalPath, FileName(directory)));
}

}  // namespace

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
  if (!exists) {
    const int created = SHCreateDirectoryExW(nullptr, directory.c_str(), nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_FILE_EXISTS &&
        created != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return IsOwnFolder(directory);
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

std::wstring LogFileName(const std::wstring& stem, const std::wstring& timestamp, int attempt) {
  return stem + L"_" + timestamp + (attempt > 1 ? L"_" + std::to_wstring(attempt) : L"") + L".log";
}

bool OpenLogFile(const std::wstring& logDirectory, std::wstring& logFilePath) {
  const std::wstring stem = GetModuleStem();
  const std::wstring timestamp = FormatLogTimestamp();
  for (int attempt = 1; attempt <= kLogFileAttempts; ++attempt) {
    logFilePath = JoinPath(logDirectory, LogFileName(stem, timestamp, attempt));
    const DWORD error = RedirectRunLog(logFilePath);
    if (error == ERROR_SUCCESS) {
      return true;
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return false;
}
