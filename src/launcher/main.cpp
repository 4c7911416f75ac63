// Entry point of Launcher.exe: a GUI-subsystem program that opens no window.

#include <windows.h>

#include "installer_publisher.h"
#include "launcher/run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  // Before anything can load a DLL: setups run the launcher elevated from
  // folders that users can write to, so DLLs come from System32 only.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The build's setting: who must have signed the installer for it to run.
  return static_cast<int>(RunLauncher(instance, ZELQA_INSTALLER_PUBLISHER));
}
