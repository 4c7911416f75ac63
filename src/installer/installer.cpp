#include "installer/installer.h"

#include "common/command_line.h"
#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process.h"
#include "common/process_facts.h"
#include "log/run_log.h"

namespace {

constexpr wchar_t kInstallerFileName[] = L"ZelqaAntiCheat.Installer.exe";

std::optional<std::wstring> FindInstallerOrReport() {
  std::optional<std::wstring> installer = FindInstallerExecutable();
  if (!installer) {
    BeginLogLine() << kInstallerFileName << L" not found." << std::endl;
  }
  return installer;
}

DWORD RunInstaller(const wchar_t* headLine, const std::wstring& arguments,
                   const std::wstring& title) {
  BeginLogLine() << headLine << std::endl;
  const std::optional<std::wstring> installer = FindInstallerOrReport();
  if (!installer) {
    return ERROR_FILE_NOT_FOUND;
  }
  DWORD exitCode = 0;
  const DWORD error =
      RunProcessAndWait(InstallerCommandLine(*installer, arguments, title), exitCode);
  if (error == WAIT_FAILED) {
    return WAIT_FAILED;
  }
  if (error != ERROR_SUCCESS) {
    BeginLogLine() << L"CreateProcess failed : " << error << std::endl;
    return error;
  }
  return exitCode;
}

}  // namespace

std::optional<std::wstring> FindInstallerExecutable() {
  // The bare name resolves against the current directory.
  for (const std::wstring& candidate :
       {std::wstring(kInstallerFileName), JoinPath(GetModuleDirectory(), kInstallerFileName)}) {
    bool exists = false;
    // A candidate whose state can't be read can't be started either.
    if (TestPathExists(candidate, exists) == ERROR_SUCCESS && exists) {
      return candidate;
    }
  }
  return std::nullopt;
}

std::wstring InstallerCommandLine(const std::wstring& installer, const std::wstring& arguments,
                                  const std::wstring& title) {
  return QuoteProgramPath(installer) + arguments + QuoteArgument(title);
}

void OpenInstaller() {
  BeginLogLine() << L"Opening Zelqa Anti-Cheat Installer" << std::endl;
  const std::optional<std::wstring> installer = FindInstallerOrReport();
  if (!installer) {
    return;
  }
  if (const DWORD error = StartProcess(QuoteProgramPath(*installer)); error != ERROR_SUCCESS) {
    BeginLogLine() << L"CreateProcess failed : " << error << std::endl;
  }
}

DWORD InstallAntiCheat(const std::wstring& title) {
  return RunInstaller(L"Installing Zelqa Anti-Cheat", L" --noui --install --title ", title);
}

DWORD UninstallAntiCheat(const std::wstring& title) {
  return RunInstaller(L"Uninstalling Zelqa Anti-Cheat", L" --noui --uninstall --title ", title);
}

bool InstallerSucceeded(DWORD result) {
  return result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_REQUIRED ||
         result == ERROR_SUCCESS_REBOOT_INITIATED;
}
