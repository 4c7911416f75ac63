#include "log/run_log.h"

#include <chrono>
#include <iomanip>
#include <locale>
#include <sstream>

#include "common/unique_resource.h"

namespace {

std::int64_t SteadyNanoseconds() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Where lines go: standard output until a log file is opened, or a handle
// a caller chose.
struct LogOutput {
  HANDLE handle = nullptr;
  UniqueFileHandle file;  // the log file, when the log writes into one
};

LogOutput& Output() {
  static LogOutput output{GetStdHandle(STD_OUTPUT_HANDLE), UniqueFileHandle()};
  return output;
}

// The byte a character is written as.
char LogByte(wchar_t c) {
  const auto code = static_cast<unsigned>(c);
  const bool control = (code < 0x20 && c != L'\t') || (code >= 0x7F && code <= 0x9F);
  return control || code > 0xFF ? '?' : static_cast<char>(static_cast<unsigned char>(code));
}

}  // namespace

const std::int64_t ProcessStartTime = SteadyNanoseconds();

std::wstring FormatLogPrefix(std::int64_t elapsedNanoseconds) {
  std::wostringstream prefix;
  prefix.imbue(std::locale::classic());
  const std::int64_t elapsedMilliseconds = elapsedNanoseconds / 1000000;
  // Single precision, as the log has always shown it: exact below 16,384 s.
  const float seconds = static_cast<float>(elapsedMilliseconds) / 1000.0F;
  prefix << std::setw(8) << std::setfill(L'0') << std::fixed << std::setprecision(3)
         << static_cast<double>(seconds) << L" | ";
  return prefix.str();
}

std::string RenderLogLine(const std::wstring& prefix, const std::wstring& text) {
  std::string bytes;
  bytes.reserve(prefix.size() + text.size() + 2);
  for (const std::wstring* part : {&prefix, &text}) {
    for (const wchar_t c : *part) {
      bytes.push_back(LogByte(c));
    }
  }
  bytes += "\r\n";
  return bytes;
}

void WriteLogLine(const std::wstring& text) {
  const std::string bytes =
      RenderLogLine(FormatLogPrefix(SteadyNanoseconds() - ProcessStartTime), text);
  const HANDLE output = Output().handle;
  if (output != nullptr && output != INVALID_HANDLE_VALUE) {
    // A line a full disk or a closed pipe refuses is lost; the run goes on.
    DWORD written = 0;
    (void)WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

std::wstring LogPath(const std::wstring& path) {
  std::wstring quoted = L"\"";
  for (const wchar_t c : path) {
    if (c == L'\\' || c == L'"') {
      quoted += L'\\';
    }
    quoted += c;
  }
  return quoted + L"\"";
}

void LogStepError(DWORD error, const std::wstring& step) {
  WriteLogLine(L"Error " + std::to_wstring(error) + L" " + step);
}

void LogChildTrouble(const ChildResult& child, const std::wstring& program) {
  if (child.waitError != ERROR_SUCCESS) {
    LogStepError(child.waitError, L"waiting for " + program);
  }
  if (child.endError != ERROR_SUCCESS) {
    LogStepError(child.endError, L"ending " + program);
  }
}

void LogSkippedLinkOrReplaced(const std::wstring& path) { WriteLogLine(L"Skipping link: " + path); }

void SetRunLogOutput(HANDLE output) {
  LogOutput& current = Output();
  current.handle = output;
  current.file.reset();
}

DWORD RedirectRunLog(const HeldFolder& folder, const std::wstring& name) {
  // Only a new file, and never through a link: the log folder may belong to
  // the user while the launcher runs elevated, and an earlier run's log is
  // never overwritten. Readable by others while it is written.
  ChildOpen how;
  how.access = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE;
  how.share = FILE_SHARE_READ;
  how.disposition = Disposition::CreateNew;
  how.kind = ChildKind::File;
  UniqueFileHandle file;
  if (const DWORD error = OpenChild(folder, name, how, file); error != ERROR_SUCCESS) {
    return error;
  }
  LogOutput& output = Output();
  output.handle = file.get();
  output.file = std::move(file);
  return ERROR_SUCCESS;
}
