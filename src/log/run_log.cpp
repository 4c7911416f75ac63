#include "log/run_log.h"

#include <chrono>
#include <cstdio>
#include <locale>
#include <sstream>
#include <streambuf>

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
  void SetFile(FILE* file) { file_ = file; }

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

bool RedirectRunLog(const std::wstring& path) {
  // Opened before anything is switched, so a failure leaves the old output.
  FILE* file = _wfopen(path.c_str(), L"w");
  if (file == nullptr) {
    return false;
  }
  RunLog().flush();
  LogBuffer().SetFile(file);
  return true;
}
