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
  // How long the child is waited for before it counts as one that can't
  // be; no limit but in tests.
  DWORD waitMs = INFINITE;
};

// What became of a started child, beyond its start.
struct ChildResult {
  DWORD exitCode = 0;    // its own code once it ended, or the one it was ended with
  DWORD checkError = 0;  // why it was not let run after its image check
  DWORD waitError = 0;   // why it could not be waited for, or its code read
  DWORD endError = 0;    // why a child that had to be ended could not be
};

// Starts `commandLine` (program first, quoted by the caller) and returns at
// once; the child runs on by itself. Returns 0; CreateProcessW's error; or
// the check's error, also in `result.checkError`, when the child's image is
// not the checked file (ERROR_FILE_INVALID), the checked file has other
// names (ERROR_TOO_MANY_LINKS: a hard link would pass for it wherever it
// was started from) or the check failed: the child is then ended before it
// ran.
[[nodiscard]] DWORD StartProcess(const std::wstring& commandLine, ChildResult& result,
                                 const ChildStart& options = {});

// Starts `commandLine` as above and waits for the child to end. Returns 0
// with the child's own code in `result`; an error of the start as above; or
// WAIT_FAILED when the wait, or reading the code, failed (`waitError` says
// why). A child that can't be waited for is ended: none runs on past the
// call, unless `endError` says it could not be ended.
[[nodiscard]] DWORD RunProcessAndWait(const std::wstring& commandLine, ChildResult& result,
                                      const ChildStart& options = {});
