#include "legacy/detection.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/text.h"
#include "common/unique_resource.h"

namespace {

// The value's data as UTF-16 text up to its first null, whatever its type
// and length. Returns 0 or the error of reading it.
LSTATUS ReadTextValue(HKEY key, const wchar_t* name, std::wstring& text) {
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
  std::vector<BYTE> data;
  // A value that grows between the two queries is asked for again.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    data.resize(size);
    status = RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size);
    if (status == ERROR_SUCCESS) {
      const auto* units = reinterpret_cast<const wchar_t*>(data.data());
      const size_t count = std::min<size_t>(size, data.size()) / sizeof(wchar_t);
      text.assign(units, std::find(units, units + count, L'\0'));
      break;
    }
  }
  return status;
}

}  // namespace

bool GamesListContains(const std::wstring& list, std::int32_t gameId) {
  for (const std::wstring& field : SplitString(list, L";")) {
    std::int32_t id = 0;
    // A field that is no number matches no id; the search goes on.
    if (!field.empty() && ParseDecimalId(field, id) && id == gameId) {
      return true;
    }
  }
  return false;
}

DWORD IsEasyAntiCheatInstalled(std::int32_t gameId, bool& installed) {
  installed = false;
  UniqueHkey key;
  std::wstring list;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\EasyAntiCheat", 0,
                                 KEY_READ, key.put());
  if (status == ERROR_SUCCESS) {
    status = ReadTextValue(key.get(), L"GamesInstalled", list);
  }
  // No key or no list: nothing is registered. Anything else is no answer.
  if (status == ERROR_FILE_NOT_FOUND) {
    return ERROR_SUCCESS;
  }
  installed = status == ERROR_SUCCESS && GamesListContains(list, gameId);
  return static_cast<DWORD>(status);
}
