#include "log/run_log.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <locale>
#include <sstream>
#include <streambuf>
#include <utility>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/unique_resource.h"

namespace {

std::int64_t SteadyNanoseconds() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Hands every character on as one byte to a C stream; text mode turns "\n"
// into CR LF. A line feed ends a line only when the flush that std::endl
// sends follows it: one inside an item is written as "?", like every other
// control character, so no text can make a line of its own.
class LogStreamBuffer : public std::wstreambuf {
 public:
  FILE* SetFile(FILE* file) { return std::exchange(file_, file); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    if (std::exchange(pendingLineFeed_, false) && !Put('?')) {
      return traits_type::eof();
    }
    const wchar_t character = traits_type::to_char_type(c);
    if (character == L'\n') {
      pendingLineFeed_ = true;
      return c;
    }
    return Put(LogByte(character)) ? c : traits_type::eof();
  }

  int sync() override {
    if (std::exchange(pendingLineFeed_, false) && !Put('\n')) {
      return -1;
    }
    return std::fflush(file_) == 0 ? 0 : -1;
  }

 private:
  bool Put(char byte) { return std::fputc(static_cast<unsigned char>(byte), file_) != EOF; }

  FILE* file_ = stdout;
  bool pendingLineFeed_ = false;
};

LogStreamBuffer& LogBuffer() {
  static LogStreamBuffer buffer;
  return buffer;
}

}  // namespace

const std::int64_t ProcessStartTime = SteadyNanoseconds();

char LogByte(wchar_t c) {
  const auto code = static_cast<unsigned>(c);
  const bool control = (code < 0x20 && c != L'\t') || (code >= 0x7F && code <= 0x9F);
  return control || code > 0xFF ? '?' : static_cast<char>(static_cast<unsigned char>(code));
}

std::wostream& RunLog() {
  static std::wostream stream(&LogBuffer());
  static const bool classic = (stream.imbue(std::locale::classic()), true);
  (void)classic;
  return stream;
}

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

std::wostream& BeginLogLine() {
  return RunLog() << FormatLogPrefix(SteadyNanoseconds() - ProcessStartTime);
}

FILE* SetRunLogOutput(FILE* stream) {
  RunLog().flush();
  return LogBuffer().SetFile(stream);
}

DWORD RedirectRunLog(const std::wstring& path, const std::wstring& expectedFinalPath) {
  // Only a new file, and never through a link: the log folder may belong to
  // the user while the launcher runs elevated, and an earlier run's log is
  // never overwritten. Opened before anything is switched, so a failure
  // leaves the old output.
  UniqueFileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    return GetLastError();
  }
  // Made somewhere else, through a folder swapped for a link meanwhile: the
  // new file is ours to take back, and the log stays where it was.
  std::wstring finalPath;
  if (!expectedFinalPath.empty() && (GetFinalPath(file.get(), finalPath) != ERROR_SUCCESS ||
                                     !EqualPathsIgnoringCase(finalPath, expectedFinalPath))) {
    (void)DeleteThroughHandle(file.get());
    return ERROR_FILE_INVALID;
  }
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_WRONLY | _O_TEXT);
  if (descriptor == -1) {
    return ERROR_INVALID_HANDLE;
  }
  file.release();
  FILE* stream = _fdopen(descriptor, "w");
  if (stream == nullptr) {
    _close(descriptor);
    return ERROR_INVALID_HANDLE;
  }
  SetRunLogOutput(stream);
  return ERROR_SUCCESS;
}

void LogSkippedLink(const std::wstring& path) {
  BeginLogLine() << L"Skipping link: " << path << std::endl;
}
