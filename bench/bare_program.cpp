// Starts the anti-cheat installer beside it and waits: the cost of the
// process start alone, for the overhead benchmark.

#include <windows.h>

#include "start_installer.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return StartInstallerBesideAndWait(L"Bench");
}
