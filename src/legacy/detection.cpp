#include "legacy/detection.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/text.h"
#include "common/unique_resource.h"

namespace {

// The value's data as UTF-16 text up to its first null, whatever its type
// and length; false when it can't be read.
bool ReadTextValue(HKEY key, const wchar_t* name, std::wstring& text) {
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
      return true;
    }
  }
  return false;
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

bool IsEasyAntiCheatInstalled(std::int32_t gameId) {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\EasyAntiCheat", 0, KEY_READ,
                    key.put()) != ERROR_SUCCESS) {
    return false;
  }
  std::wstring list;
  return ReadTextValue(key.get(), L"GamesInstalled", list) && GamesListContains(list, gameId);
}
