#include "launcher/consent.h"

#include <windows.h>

#include "common/unique_resource.h"
#include "log/run_log.h"

bool HasInstallConsent(const std::wstring& title) {
  UniqueHkey key;
  DWORD type = REG_NONE;
  DWORD consent = 0;
  DWORD size = sizeof(consent);
  LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelqa\\AC\\Installs", 0, KEY_READ, key.put());
  // Only a number counts: a text "0" or a stray binary value is no consent,
  // and longer data (a REG_QWORD) fails with ERROR_MORE_DATA.
  if (status == ERROR_SUCCESS) {
    status = RegQueryValueExW(key.get(), title.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(&consent), &size);
  }
  // A consent that can't be read is none: the player is asked.
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != ERROR_MORE_DATA) {
    LogStepError(static_cast<DWORD>(status), L"reading the install consent");
  }
  return status == ERROR_SUCCESS && type == REG_DWORD && consent != 0;
}
