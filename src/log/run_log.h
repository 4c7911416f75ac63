#pragma once
// The run log: one line per message, each begun with the elapsed-time prefix,
// written as single bytes to standard output or to the log file.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <iomanip>
#include <ostream>
#include <string>

// Monotonic nanoseconds, taken before the entry point runs.
extern const std::int64_t ProcessStartTime;

// The process-wide log stream.
std::wostream& RunLog();

// Writes the prefix ("0000.045 | ") and returns the stream for the line's items;
// the caller ends the line with std::endl.
std::wostream& BeginLogLine();

// The prefix for `elapsedNanoseconds` since start: whole milliseconds as
// seconds, width 8, zero-filled, three decimals, then " | ".
std::wstring FormatLogPrefix(std::int64_t elapsedNanoseconds);

// The byte a character is written as: itself up to U+00FF, "?" above, so one
// character the log can't hold never silences the rest of the run; "?" for
// control characters too (tab aside), so no text can forge a line.
char LogByte(wchar_t c);

// Sends the log to an open C stream (standard output at start), flushing
// the one before, which is returned.
FILE* SetRunLogOutput(FILE* stream);

// Sends the log into a new file `path` (text mode). With `expectedFinalPath`
// the new file must be that one: a file made elsewhere (through a folder
// swapped for a link) is removed again. Returns 0; the error of creating it
// (ERROR_FILE_EXISTS when the name is taken); or ERROR_FILE_INVALID. The
// current output stays on failure.
[[nodiscard]] DWORD RedirectRunLog(const std::wstring& path,
                                   const std::wstring& expectedFinalPath = std::wstring());

// Logs that `path` was left alone: it no longer leads where it did when it
// was chosen (a link, or reached through one).
void LogSkippedLink(const std::wstring& path);

// A path item: quoted, with a backslash before every backslash and quote.
inline auto LogPath(const std::wstring& path) { return std::quoted(path, L'"', L'\\'); }
