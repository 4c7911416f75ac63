#pragma once
// Starting child programs: the anti-cheat installer and the legacy setup.
// Every child starts with the loader mitigations the platform offers, so a
// DLL planted beside it is not taken for a system one.

#include <windows.h>

#include <string>

struct ChildStart {
  // The file that runs, when given; the command line then only carries the
  // arguments the child sees.
  const wchar_t* applicationName = nullptr;
  // A file held open since it was checked: the child is started suspended
  // and runs only when its image is that very file.
  HANDLE checkedImage = nullptr;
  // Called between the start and the check of the image, for tests to give
  // a child that was not started suspended the time to show it runs.
  void (*beforeImageCheck)() = nullptr;
};

// Starts `commandLine` (program first, quoted by the caller) and returns at
// once; the child runs on by itself. 0; CreateProcessW's error; or
// ERROR_FILE_INVALID when the child's image was not the checked file, or the
// checked file has another name (the child is then ended before it ran).
[[nodiscard]] DWORD StartProcess(const std::wstring& commandLine, const ChildStart& options = {});

// Starts `commandLine` as above and waits for the child to end. Returns 0
// with the child's own code in `exitCode`; the start's error as above; or
// WAIT_FAILED when the wait, or reading the code, failed. A child that
// can't be waited for is ended: none runs on past the call.
[[nodiscard]] DWORD RunProcessAndWait(const std::wstring& commandLine, DWORD& exitCode,
                                      const ChildStart& options = {});
