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

#include "common/unique_resource.h"

namespace {

std::int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Hands every character on as one byte to a C stream; text mode turns "\n"
// into CR LF.
class LogStreamBuffer : public std::wstreambuf {
 public:
  FILE* SetFile(FILE* file) { return std::exchange(file_, file); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    if (std::fputc(static_cast<unsigned char>(LogByte(traits_type::to_char_type(c))), file_) ==
        EOF) {
      return traits_type::eof();
    }
    return c;
  }

  int sync() override { return std::fflush(file_) == 0 ? 0 : -1; }

 private:
  FILE* file_ = stdout;
};

LogStreamBuffer& LogBuffer() {
  static LogStreamBuffer buffer;
  return buffer;
}

}  // namespace

const std::int64_t ProcessStartTime = SteadyNanoseconds();

char LogByte(wchar_t c) {
  return static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(static_cast<unsigned char>(c)) : '?';
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
  const float seconds = static_cast<float>(elapsedMilliseconds) / 1000.0f;
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

namespace {

// Opens `path` for writing, created or truncated, but never through a link:
// the log folder may belong to the user while the launcher runs elevated.
UniqueFileHandle OpenLogFileHandle(const std::wstring& path) {
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, kShare, nullptr, CREATE_NEW, kFlags, nullptr));
  if (file || GetLastError() != ERROR_FILE_EXISTS) {
    return file;
  }
  // An earlier run in the same second: its file is truncated, a link is not.
  file.reset(
      CreateFileW(path.c_str(), GENERIC_WRITE, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr));
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!file || !GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
      (tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      !SetEndOfFile(file.get())) {
    return UniqueFileHandle();
  }
  return file;
}

}  // namespace

bool RedirectRunLog(const std::wstring& path) {
  // Opened before anything is switched, so a failure leaves the old output.
  UniqueFileHandle file = OpenLogFileHandle(path);
  if (!file) {
    return false;
  }
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_WRONLY | _O_TEXT);
  if (descriptor == -1) {
    return false;
  }
  file.release();
  FILE* stream = _fdopen(descriptor, "w");
  if (stream == nullptr) {
    _close(descriptor);
    return false;
  }
  SetRunLogOutput(stream);
  return true;
}
