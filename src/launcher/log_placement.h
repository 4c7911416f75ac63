#pragma once
// Where the launcher keeps its files (the log directory), and the
// time-stamped log file in it.

#include <ctime>
#include <string>

#include "common/held_folder.h"

// Holds the per-user folder (application data, named after the executable's
// stem) in `folder` and returns true when it exists or was created and is a
// real folder of its own: not a file, not a link or junction.
[[nodiscard]] bool EnsureAppDataLogDirectory(HeldFolder& folder);

// Holds the run's log directory in `folder` for the whole run: the per-user
// folder on a visible window station, otherwise (or when that folder can't
// be had) the executable's folder.
void SelectLogDirectory(HeldFolder& folder);

// "YYYY-MM-DD HH-MM-SS" of `time`; empty when the local time can't be formed.
std::wstring FormatLogTimestamp(std::time_t time);
std::wstring FormatLogTimestamp();

// The log file's name: the stem, "_", the time stamp, then "_<attempt>" for
// every attempt after the first, and ".log".
std::wstring LogFileName(const std::wstring& stem, const std::wstring& timestamp, int attempt = 1);

// Sends the run log into a new file in the held `logFolder` and sets
// `logFilePath`. A name an earlier run took in the same second gets a
// number. Returns false, and keeps the log where it was, when no file can
// be created there, or the file made is not the one meant (logged as a
// skipped link).
[[nodiscard]] bool OpenLogFile(const HeldFolder& logFolder, std::wstring& logFilePath);
