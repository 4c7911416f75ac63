#include "installer/installer.h"

#include "common/path_text.h"
#include "installer/process.h"
#include "launcher/log_placement.h"
#include "log/run_log.h"

namespace {

constexpr wchar_t kInstallerFileName[] = L"ZelqaAntiCheat.Installer.exe";

DWORD RunInstaller(const wchar_t* headLine, const std::wstring& arguments,
                   const std::wstring& title) {
  BeginLogLine() << headLine << std::endl;
  const std::optional<std::wstring> installer = FindInstallerExecutable();
  if (!installer) {
    BeginLogLine() << kInstallerFileName << L" not found." << std::endl;
    return ERROR_FILE_NOT_FOUND;
  }
  return RunProcessAndWait(InstallerCommandLine(*installer, arguments, title), true);
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
  const std::optional<std::wstring> installer = FindInstallerExecutable();
  if (!installer) {
    BeginLogLine() << kInstallerFileName << L" not found." << std::endl;
    return;
  }
  // A start failure is logged by the runner; there is nothing more to do.
  (void)RunProcessAndWait(QuoteProgramPath(*installer), false);
}

DWORD InstallAntiCheat(const std::wstring& title) {
  return RunInstaller(L"Installing Zelqa Anti-Cheat", L" --noui --install --title ", title);
}

DWORD UninstallAntiCheat(const std::wstring& title) {
  return RunInstaller(L"Uninstalling Zelqa Anti-Cheat", L" --noui --uninstall --title ", title);
}
