// A DLL a player plants where a program runs: it marks its loading in the
// file named by ZELQA_TEST_PLANTED_RECORD, and serves the one function the
// stand-in programs take from version.dll (exported under that name by
// planted_dll.def).

#include <windows.h>

extern "C" DWORD WINAPI PlantedVersionInfoSize(LPCWSTR /*file*/, LPDWORD handle) {
  if (handle != nullptr) {
    *handle = 0;
  }
  return 0;
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
  wchar_t record[MAX_PATH] = {};
  if (reason == DLL_PROCESS_ATTACH &&
      GetEnvironmentVariableW(L"ZELQA_TEST_PLANTED_RECORD", record, MAX_PATH) > 0) {
    CloseHandle(CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  return TRUE;
}
