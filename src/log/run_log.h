#pragma once
// The run log: one whole line per message, begun with the elapsed-time
// prefix and written as single bytes, to standard output or to the log file.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/held_folder.h"
#include "common/process.h"

// Monotonic nanoseconds, taken before the entry point runs.
extern const std::int64_t ProcessStartTime;

// The prefix for `elapsedNanoseconds` since start: whole milliseconds as
// seconds, width 8, zero-filled, three decimals, then " | ".
std::wstring FormatLogPrefix(std::int64_t elapsedNanoseconds);

// The bytes of one line: `prefix` and `text`, then CR LF. A character is
// itself up to U+00FF and "?" above, so one the log can't hold never
// silences the rest of the run; control characters (tab aside) are "?" too,
// so no text can forge a line.
std::string RenderLogLine(const std::wstring& prefix, const std::wstring& text);

// Writes one whole line, prefix, `text` and CR LF, in one write: each
// finished step has reached the file or pipe before the next begins. A log
// that can't be written never changes the run.
void WriteLogLine(const std::wstring& text);

// A path item: quoted, with a backslash before every backslash and quote.
std::wstring LogPath(const std::wstring& path);

// Logs that `step` failed: "Error <code> <step>". A failed call is no
// answer, so its code always reaches the log.
void LogStepError(DWORD error, const std::wstring& step);

// Logs what went wrong with the child `program` after its start: "Error
// <code> waiting for <program>" and "Error <code> ending <program>", each
// when it happened. Why it was refused after its check is the caller's to
// tell.
void LogChildTrouble(const ChildResult& child, const std::wstring& program);

// Logs that `path` was left alone: it leads to something else than the
// entry meant (a link, or an entry replaced meanwhile).
void LogSkippedLinkOrReplaced(const std::wstring& path);

// Sends the log to `output` from now on, a handle the caller keeps open
// (standard output at start); a log file opened before is closed.
void SetRunLogOutput(HANDLE output);

// Sends the log into a new file `name` in the held `folder`, which stays
// open to the end of the process. Never an earlier run's file, never
// through a link. Returns 0; ERROR_FILE_EXISTS when the name is taken;
// kNotTheObjectMeant when the file made is not the one meant (then removed
// again); or the error of creating it. The output stays on failure.
[[nodiscard]] DWORD RedirectRunLog(const HeldFolder& folder, const std::wstring& name);
