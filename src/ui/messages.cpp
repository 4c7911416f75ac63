#include "ui/messages.h"

#include <wtsapi32.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cwchar>

#include "common/process_facts.h"
#include "common/unique_resource.h"

const wchar_t* const kMessageCaption = L"Zelqa anticheat";

namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL);
constexpr UINT kStringsPerBlock = 16;
constexpr UINT kRightToLeftStyle = MB_RIGHT | MB_RTLREADING;
constexpr int kErrorBoxChars = 256;

// Languages that share one primary id but are written in different scripts
// or are languages of their own: a user of one form reads only blocks of
// that form, the first listed first (unused places are 0), and English when
// the form has none. Macau's written Chinese follows Hong Kong's, so Hong
// Kong comes before Taiwan.
constexpr std::array<LANGID, 5> kWrittenForms[] = {
    {0x041A, 0x101A, 0x001A},                  // Croatian
    {0x241A, 0x081A, 0x181A, 0x2C1A, 0x701A},  // Serbian, Latin script
    {0x281A, 0x0C1A, 0x1C1A, 0x301A, 0x6C1A},  // Serbian, Cyrillic script
    {0x141A, 0x681A, 0x781A},                  // Bosnian, Latin script
    {0x201A, 0x641A},                          // Bosnian, Cyrillic script
    {0x002C, 0x042C, 0x782C},                  // Azerbaijani, Latin script
    {0x082C, 0x742C},                          // Azerbaijani, Cyrillic script
    {0x0004, 0x0804, 0x1004, 0x7804},          // Chinese, simplified script
    {0x0C04, 0x1404, 0x0404, 0x7C04},          // Chinese, traditional script
};

// Dari, the Persian of Afghanistan, has a language id of its own and no
// block: its readers read the Persian block.
constexpr LANGID kPersian = MAKELANGID(LANG_PERSIAN, SUBLANG_NEUTRAL);

// The string table keeps its texts in blocks of 16, named by number from 1.
LPCWSTR StringBlockName(UINT id) { return MAKEINTRESOURCEW((id / kStringsPerBlock) + 1); }

// Collects the languages EnumResourceLanguagesW reports; no exception may
// cross the system's frames, so running out of memory ends the listing.
BOOL CALLBACK AddLanguage(HMODULE /*module*/, LPCWSTR /*type*/, LPCWSTR /*name*/, WORD language,
                          LONG_PTR languages) {
  try {
    // The list's address comes back as the integer the API carries it in.
    reinterpret_cast<std::vector<LANGID>*>(languages)  // NOLINT(performance-no-int-to-ptr)
        ->push_back(language);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

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

// The user's display language. One without an id of its own (a custom
// locale's 0x0C00 or 0x1000, as Wine gives for ru_UA) is taken by its
// language alone, from the name of the user's locale: Russian for ru-UA.
LANGID UserDisplayLanguage() {
  const LANGID display = GetUserDefaultUILanguage();
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (PRIMARYLANGID(display) != LANG_NEUTRAL ||
      GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) {
    return display;
  }
  *std::find(name, name + LOCALE_NAME_MAX_LENGTH - 1, L'-') = L'\0';
  return LANGIDFROMLCID(LocaleNameToLCID(name, 0));
}

}  // namespace

LANGID ChooseTextLanguage(LANGID display, const std::vector<LANGID>& blocks) {
  const auto exists = [&blocks](LANGID language) {
    return language != 0 && std::find(blocks.begin(), blocks.end(), language) != blocks.end();
  };
  if (exists(display)) {
    return display;
  }
  if (PRIMARYLANGID(display) == LANG_DARI) {
    return ChooseTextLanguage(kPersian, blocks);
  }
  const WORD primary = PRIMARYLANGID(display);
  bool writtenTwoWays = false;
  for (const auto& form : kWrittenForms) {
    if (PRIMARYLANGID(form[0]) != primary) {
      continue;
    }
    writtenTwoWays = true;
    if (std::find(form.begin(), form.end(), display) == form.end()) {
      continue;
    }
    for (const LANGID block : form) {
      if (exists(block)) {
        return block;
      }
    }
  }
  if (writtenTwoWays || primary == LANG_NEUTRAL) {
    return kEnglish;
  }
  if (exists(MAKELANGID(primary, SUBLANG_NEUTRAL))) {
    return MAKELANGID(primary, SUBLANG_NEUTRAL);
  }
  const auto sameLanguage = std::find_if(blocks.begin(), blocks.end(), [primary](LANGID block) {
    return PRIMARYLANGID(block) == primary;
  });
  return sameLanguage != blocks.end() ? *sameLanguage : kEnglish;
}

bool IsRightToLeftLanguage(LANGID language) {
  switch (PRIMARYLANGID(language)) {
    case LANG_ARABIC:
    case LANG_HEBREW:
    case LANG_PERSIAN:
    case LANG_URDU:
      return true;
    default:
      return false;
  }
}

std::vector<LANGID> StringBlockLanguages(HINSTANCE instance, UINT id) {
  std::vector<LANGID> languages;
  EnumResourceLanguagesW(instance, RT_STRING, StringBlockName(id), AddLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

// The display language, not the regional format: a player with an English
// Windows and Arabic number formats reads English, laid out left to right.
// Only a display language without an id of its own is taken from the name
// of the regional format's locale (see UserDisplayLanguage).
LANGID ChooseUserTextLanguage(HINSTANCE instance, UINT id) {
  return ChooseTextLanguage(UserDisplayLanguage(), StringBlockLanguages(instance, id));
}

UINT QuestionStyle(bool rightToLeft) {
  return MB_SYSTEMMODAL | MB_USERICON | MB_YESNO | (rightToLeft ? kRightToLeftStyle : 0);
}

UINT ErrorStyle(bool rightToLeft) {
  return MB_SYSTEMMODAL | MB_ICONHAND | MB_OK | (rightToLeft ? kRightToLeftStyle : 0);
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

// Read from the block itself: LoadStringW would choose the language on its
// own, and ends on the table's first block when the user's has none.
std::wstring LoadLocalizedText(HINSTANCE instance, LANGID language, UINT id,
                               const wchar_t* fallback) {
  HRSRC found = FindResourceExW(instance, RT_STRING, StringBlockName(id), language);
  HGLOBAL loaded = found == nullptr ? nullptr : LoadResource(instance, found);
  const auto* data =
      static_cast<const wchar_t*>(loaded == nullptr ? nullptr : LockResource(loaded));
  if (data == nullptr) {
    return fallback;
  }
  // The block is 16 texts, each its length in characters and then the
  // characters; a damaged one must not lead the reading out of it.
  const size_t size = SizeofResource(instance, found) / sizeof(wchar_t);
  size_t at = 0;
  for (UINT skipped = 0; skipped < id % kStringsPerBlock && at < size; ++skipped) {
    at += 1 + static_cast<size_t>(data[at]);
  }
  if (at >= size || data[at] == 0 || static_cast<size_t>(data[at]) > size - at - 1) {
    return fallback;
  }
  return std::wstring(data + at + 1, static_cast<size_t>(data[at]));
}
