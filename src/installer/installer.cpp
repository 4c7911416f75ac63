#include "installer/installer.h"

#include <sstream>
#include <vector>

#include "common/command_line.h"
#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process.h"
#include "common/process_facts.h"
#include "common/unique_resource.h"
#include "installer/signature.h"
#include "log/run_log.h"

namespace {

constexpr wchar_t kInstallerFileName[] = L"ZelqaAntiCheat.Installer.exe";

std::optional<std::wstring> FindInstallerOrReport() {
  std::optional<std::wstring> installer = FindInstallerExecutable();
  if (!installer) {
    WriteLogLine(std::wstring(kInstallerFileName) + L" not found.");
  }
  return installer;
}

std::wstring FullPath(const std::wstring& path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) {
      return path;
    }
    if (length < buffer.size()) {
      return std::wstring(buffer.data(), length);
    }
    buffer.resize(length);
  }
}

// The file Windows runs for the bare name: the copy beside the launcher
// when there is one, else the one in the current directory.
std::wstring FileThatRuns(const std::wstring& candidate) {
  const std::wstring beside = JoinPath(GetModuleDirectory(), kInstallerFileName);
  bool exists = false;
  return TestPathExists(beside, exists) == ERROR_SUCCESS && exists ? beside : FullPath(candidate);
}

// Opens the file that will run, so that nobody can change or replace it
// until the child has started, and checks its signer. Sets `application` to
// its final path: the very file checked is the one started. Returns 0 or
// the trust failure.
DWORD OpenTrustedInstaller(const std::wstring& candidate, const std::wstring& publisher,
                           UniqueFileHandle& held, std::wstring& application) {
  const std::wstring path = FileThatRuns(candidate);
  held.reset(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr));
  if (!held) {
    return GetLastError();
  }
  if (const DWORD error = GetFinalPath(held.get(), application); error != ERROR_SUCCESS) {
    return error;
  }
  return VerifyPublisher(held.get(), application, publisher);
}

void LogUntrusted(DWORD code) {
  std::wostringstream text;
  text << std::hex << code;
  WriteLogLine(L"Installer signature not trusted: 0x" + text.str());
}

// Starts the installer found at `candidate` with `commandLine`, and waits
// for it when `exitCode` is given. With a required publisher, only the file
// checked to be signed by it runs: the child is started suspended and goes
// on only when its image is that file. Returns 0, the logged trust or start
// failure, or WAIT_FAILED.
DWORD StartInstaller(const std::wstring& candidate, const std::wstring& commandLine,
                     const std::wstring& publisher, DWORD* exitCode) {
  UniqueFileHandle held;
  std::wstring application;
  if (!publisher.empty()) {
    if (const DWORD trust = OpenTrustedInstaller(candidate, publisher, held, application);
        trust != ERROR_SUCCESS) {
      LogUntrusted(trust);
      return trust;
    }
  }
  const ChildStart options{application.empty() ? nullptr : application.c_str(), held.get()};
  const DWORD error = exitCode == nullptr ? StartProcess(commandLine, options)
                                          : RunProcessAndWait(commandLine, *exitCode, options);
  if (held && error == ERROR_FILE_INVALID) {
    // Another file stood at the checked one's name when the child started.
    const auto untrusted = static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED);
    LogUntrusted(untrusted);
    return untrusted;
  }
  if (error != ERROR_SUCCESS && error != WAIT_FAILED) {
    WriteLogLine(L"CreateProcess failed : " + std::to_wstring(error));
  }
  return error;
}

DWORD RunInstaller(const wchar_t* headLine, const std::wstring& arguments,
                   const std::wstring& title, const std::wstring& publisher) {
  WriteLogLine(headLine);
  const std::optional<std::wstring> installer = FindInstallerOrReport();
  if (!installer) {
    return ERROR_FILE_NOT_FOUND;
  }
  DWORD exitCode = 0;
  const DWORD error = StartInstaller(*installer, InstallerCommandLine(*installer, arguments, title),
                                     publisher, &exitCode);
  return error != ERROR_SUCCESS ? error : exitCode;
}

}  // namespace

std::optional<std::wstring> FindInstallerExecutable() {
  // The bare name resolves against the current directory.
  for (const std::wstring& candidate :
       {std::wstring(kInstallerFileName), JoinPath(GetModuleDirectory(), kInstallerFileName)}) {
    bool exists = false;
    // A candidate whose state can't be read can't be started either; the
    // next one is tried.
    const DWORD error = TestPathExists(candidate, exists);
    if (error != ERROR_SUCCESS) {
      LogStepError(error, L"looking for " + LogPath(candidate));
    }
    if (exists) {
      return candidate;
    }
  }
  return std::nullopt;
}

std::wstring InstallerCommandLine(const std::wstring& installer, const std::wstring& arguments,
                                  const std::wstring& title) {
  return QuoteProgramPath(installer) + arguments + QuoteArgument(title);
}

void OpenInstaller(const std::wstring& publisher) {
  WriteLogLine(L"Opening Zelqa Anti-Cheat Installer");
  const std::optional<std::wstring> installer = FindInstallerOrReport();
  if (installer) {
    // Failures are logged; there is nothing more to do.
    (void)StartInstaller(*installer, QuoteProgramPath(*installer), publisher, nullptr);
  }
}

DWORD InstallAntiCheat(const std::wstring& title, const std::wstring& publisher) {
  return RunInstaller(L"Installing Zelqa Anti-Cheat", L" --noui --install --title ", title,
                      publisher);
}

DWORD UninstallAntiCheat(const std::wstring& title, const std::wstring& publisher) {
  return RunInstaller(L"Uninstalling Zelqa Anti-Cheat", L" --noui --uninstall --title ", title,
                      publisher);
}

bool InstallerSucceeded(DWORD result) {
  return result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_REQUIRED ||
         result == ERROR_SUCCESS_REBOOT_INITIATED;
}
