#include "launcher/consent.h"

#include <windows.h>

#include "common/unique_resource.h"

bool HasInstallConsent(const std::wstring& title) {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelqa\\AC\\Installs", 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = REG_NONE;
  DWORD consent = 0;
  DWORD size = sizeof(consent);
  // Only a number counts: a text "0" or a stray binary value is no consent,
  // and longer data (a REG_QWORD) fails with ERROR_MORE_DATA.
  return RegQueryValueExW(key.get(), title.c_str(), nullptr, &type,
                          reinterpret_cast<BYTE*>(&consent), &size) == ERROR_SUCCESS &&
         type == REG_DWORD && consent != 0;
}
