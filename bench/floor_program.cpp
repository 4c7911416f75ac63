// The least program that does what every "install" run of the launcher must
// do: split its arguments, look up the application-data folder, open the
// games' registry key, then start the anti-cheat installer beside it and
// wait for it. The overhead benchmark measures the launcher against it.

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "common/unique_resource.h"
#include "start_installer.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(PathGetArgsW(GetCommandLineW()), &count);
  const UniqueLocalMemory arguments(argv);
  // "install -title <title>"
  if (argv == nullptr || count < 3) {
    return ERROR_BAD_ARGUMENTS;
  }

  wchar_t appData[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData) != S_OK) {
    return ERROR_PATH_NOT_FOUND;
  }
  {
    // Usually missing on the bench machine; the launcher opens it either way.
    UniqueHkey games;
    (void)RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelqa Games", 0, KEY_READ, games.put());
  }

  return StartInstallerBesideAndWait(argv[2]);
}
