#include "launcher/log_placement.h"

#include <shlobj.h>
#include <windows.h>

#include <iomanip>
#include <locale>
#include <sstream>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process_facts.h"
#include "log/run_log.h"

namespace {

// Names tried for the log file of one second before the log stays where it is.
constexpr int kLogFileAttempts = 10;

}  // namespace

bool EnsureAppDataLogDirectory(HeldFolder& folder) {
  wchar_t base[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) {
    // A value too long for the buffer is reported by its size, not copied.
    const DWORD length = GetEnvironmentVariableW(L"AppData", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      return false;
    }
  }
  HeldFolder appData;
  DWORD error = HoldFolderFollowingLinks(base, appData);
  if (IsNotFoundError(error)) {
    const int created = SHCreateDirectoryExW(nullptr, base, nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_FILE_EXISTS &&
        created != ERROR_ALREADY_EXISTS) {
      return false;
    }
    error = HoldFolderFollowingLinks(base, appData);
  }
  // The launcher may run elevated while this folder belongs to the user: it
  // counts only as a real folder of its own, never a file, a link or a
  // junction that would send the log and the setup program elsewhere.
  ChildOpen how;
  how.disposition = Disposition::OpenOrCreate;
  return error == ERROR_SUCCESS &&
         HoldChildFolder(appData, GetModuleStem(), how, folder) == ERROR_SUCCESS;
}

void SelectLogDirectory(HeldFolder& folder) {
  if (IsInteractiveWindowStation() && EnsureAppDataLogDirectory(folder)) {
    return;
  }
  // The executable's own folder may well be reached through a link (a game
  // library on another drive); what counts is that it stays the same one.
  if (HoldFolderFollowingLinks(GetModuleDirectory(), folder) != ERROR_SUCCESS) {
    folder.path = GetModuleDirectory();
  }
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

bool OpenLogFile(const HeldFolder& logFolder, std::wstring& logFilePath) {
  const std::wstring stem = GetModuleStem();
  const std::wstring timestamp = FormatLogTimestamp();
  for (int attempt = 1; attempt <= kLogFileAttempts; ++attempt) {
    const std::wstring name = LogFileName(stem, timestamp, attempt);
    logFilePath = JoinPath(logFolder.path, name);
    const DWORD error = RedirectRunLog(logFolder, name);
    if (error == ERROR_SUCCESS) {
      return true;
    }
    if (error == kNotTheObjectMeant) {
      LogSkippedLinkOrReplaced(logFilePath);
      return false;
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return false;
}
