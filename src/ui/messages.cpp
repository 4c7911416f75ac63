#include "ui/messages.h"

#include <wtsapi32.h>

#include <cstdarg>
#include <cwchar>

#include "common/process_facts.h"
#include "common/unique_resource.h"

const wchar_t* const kMessageCaption = L"Zelqa anticheat";

namespace {

constexpr int kLoadStringChars = 1024;
constexpr UINT kRightToLeftStyle = MB_RIGHT | MB_RTLREADING;
constexpr int kErrorBoxChars = 256;

using WtsSendMessageFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, DWORD, LPWSTR, DWORD, DWORD,
                                             DWORD, DWORD*, BOOL);

// wtsapi32 is not one of the DLLs Windows always takes from System32, so it
// is loaded from there explicitly, and only on this path.
int SendToConsoleSession(const std::wstring& text, UINT style) {
  const UniqueModule wtsapi(LoadLibraryExW(L"wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!wtsapi) {
    return IDABORT;
  }
  // A function found by name is called as its own type; the cast goes
  // through void* because GCC warns on a direct one between function types.
  // NOLINTBEGIN(bugprone-casting-through-void)
  const auto send = reinterpret_cast<WtsSendMessageFunction>(
      reinterpret_cast<void*>(GetProcAddress(wtsapi.get(), "WTSSendMessageW")));
  // NOLINTEND(bugprone-casting-through-void)
  if (send == nullptr) {
    return IDABORT;
  }
  std::wstring caption = kMessageCaption;
  std::wstring message = text;
  DWORD response = 0;
  if (!send(WTS_CURRENT_SERVER_HANDLE, WTSGetActiveConsoleSessionId(), caption.data(),
            static_cast<DWORD>(caption.size() * sizeof(wchar_t)), message.data(),
            static_cast<DWORD>(message.size() * sizeof(wchar_t)), ConsoleMessageStyle(style), 0,
            &response, TRUE)) {
    return IDABORT;
  }
  return static_cast<int>(response);
}

}  // namespace

bool IsArabicUserLanguage() { return PRIMARYLANGID(GetUserDefaultLangID()) == LANG_ARABIC; }

UINT QuestionStyle(bool arabic) {
  return MB_SYSTEMMODAL | MB_USERICON | MB_YESNO | (arabic ? kRightToLeftStyle : 0);
}

UINT ErrorStyle(bool arabic) {
  return MB_SYSTEMMODAL | MB_ICONHAND | MB_OK | (arabic ? kRightToLeftStyle : 0);
}

UINT ConsoleMessageStyle(UINT style) {
  if ((style & MB_USERICON) != 0) {
    return (style & ~static_cast<UINT>(MB_USERICON)) | MB_ICONINFORMATION;
  }
  return style;
}

int ShowUserMessage(HINSTANCE instance, const std::wstring& text, UINT style, const wchar_t* icon) {
  if (!IsInteractiveWindowStation()) {
    return SendToConsoleSession(text, style);
  }
  MSGBOXPARAMSW params{};
  params.cbSize = sizeof(params);
  params.hInstance = instance;
  params.lpszText = text.c_str();
  params.lpszCaption = kMessageCaption;
  params.dwStyle = style;
  params.lpszIcon = icon;
  return MessageBoxIndirectW(&params);
}

std::wstring FormatSystemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer),
      0, nullptr);
  const UniqueLocalMemory owner(buffer);
  return length == 0 || buffer == nullptr ? std::wstring() : std::wstring(buffer, length);
}

// printf-style on purpose: the box text is the platform's format of a code.
std::wstring FormatErrorBoxText(const wchar_t* format, ...) {  // NOLINT(cert-dcl50-cpp)
  wchar_t buffer[kErrorBoxChars] = {};
  va_list arguments;
  va_start(arguments, format);
  // The runtime's own formatter, where %s takes a wide string; _TRUNCATE cuts
  // an overlong text at 255 characters instead of failing.
  _vsnwprintf_s(buffer, kErrorBoxChars, _TRUNCATE, format, arguments);
  va_end(arguments);
  return buffer;
}

std::wstring LoadLocalizedText(HINSTANCE instance, UINT id, const wchar_t* fallback) {
  wchar_t buffer[kLoadStringChars] = {};
  const int length = LoadStringW(instance, id, buffer, kLoadStringChars);
  return length == 0 ? std::wstring(fallback) : std::wstring(buffer, static_cast<size_t>(length));
}
