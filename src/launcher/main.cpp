// Entry point of Launcher.exe: a GUI-subsystem program that opens no window.

#include <windows.h>

#include "launcher/run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  // Before anything can load a DLL: setups run the launcher elevated from
  // folders that users can write to, so DLLs come from System32 only.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return static_cast<int>(RunLauncher(instance));
}
