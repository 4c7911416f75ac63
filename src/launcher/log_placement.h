#pragma once
// Where the launcher keeps its files, and the time-stamped log file.

#include <ctime>
#include <string>

// False only when the process's window station is readable and not visible
// (a service's); true otherwise, including when the query fails.
bool IsInteractiveWindowStation();

// The folder of the launcher's own executable.
std::wstring GetModuleDirectory();

// The process's current directory; empty when it needs 520 characters or more.
std::wstring GetWorkingDirectory();

// The launcher's file name without its extension.
std::wstring GetModuleStem();

// Sets `directory` to the per-user folder (application data, named after the
// executable's stem) and returns true when it exists or was created.
[[nodiscard]] bool EnsureAppDataLogDirectory(std::wstring& directory);

// The run's log directory: the per-user folder on a visible window station,
// otherwise (or when that folder can't be had) the executable's folder.
std::wstring SelectLogDirectory();

// "YYYY-MM-DD HH-MM-SS" of `time`; empty when the local time can't be formed.
std::wstring FormatLogTimestamp(std::time_t time);
std::wstring FormatLogTimestamp();

// The log file's name: the stem, "_", the time stamp, ".log".
std::wstring LogFileName(const std::wstring& stem, const std::wstring& timestamp);

// Sends the run log into a new file in `logDirectory` and sets `logFilePath`.
// Returns false, and keeps the log where it was, when the file can't be opened.
[[nodiscard]] bool OpenLogFile(const std::wstring& logDirectory, std::wstring& logFilePath);
