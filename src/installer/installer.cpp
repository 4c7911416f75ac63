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

// Whether the installer is at `path`. Returns 0 with `exists` set, or the
// error of looking, logged.
DWORD LookFor(const std::wstring& path, bool& exists) {
  const DWORD error = TestPathExists(path, exists);
  if (error != ERROR_SUCCESS) {
    LogStepError(error, L"looking for " + LogPath(path));
  }
  return error;
}

// The full path `path` names, resolved against the current directory once.
// Returns 0 or the error.
DWORD ReadFullPath(const std::wstring& path, std::wstring& fullPath) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) {
      return GetLastError();
    }
    if (length < buffer.size()) {
      fullPath.assign(buffer.data(), length);
      return ERROR_SUCCESS;
    }
    buffer.resize(length);
  }
}

// Finds the installer, logging when it is not there. Returns as
// FindInstallerExecutable does.
DWORD FindInstallerOrReport(InstallerLocation& found) {
  const DWORD error = FindInstallerExecutable(found);
  if (error == ERROR_FILE_NOT_FOUND) {
    WriteLogLine(std::wstring(kInstallerFileName) + L" not found.");
  }
  return error;
}

// Opens the installer file `path` so that nobody can change or replace it
// until the child has started, and checks its signer. Sets `application` to
// its final path: the very file checked is the one started. Returns 0 or
// the trust failure.
DWORD OpenTrustedInstaller(const std::wstring& path, const std::wstring& publisher,
                           UniqueFileHandle& held, std::wstring& application) {
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

// Starts the installer found at `installer` with `commandLine`, by its full
// path, and waits for it when `exitCode` is given. With a required
// publisher, only the file checked to be signed by it runs: the child is
// started suspended and goes on only when its image is that file. Returns
// 0, the logged trust, start or check failure, or WAIT_FAILED.
DWORD StartInstaller(const InstallerLocation& installer, const std::wstring& commandLine,
                     const std::wstring& publisher, DWORD* exitCode) {
  UniqueFileHandle held;
  std::wstring application = installer.file;
  if (!publisher.empty()) {
    if (const DWORD trust = OpenTrustedInstaller(installer.file, publisher, held, application);
        trust != ERROR_SUCCESS) {
      LogUntrusted(trust);
      return trust;
    }
  }
  const ChildStart options{application.c_str(), held.get()};
  ChildResult child;
  DWORD error = exitCode == nullptr ? StartProcess(commandLine, child, options)
                                    : RunProcessAndWait(commandLine, child, options);
  if (child.checkError == ERROR_FILE_INVALID) {
    // Another file stood at the checked one's name when the child started.
    error = static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED);
    LogUntrusted(error);
  } else if (child.checkError != ERROR_SUCCESS) {
    LogStepError(child.checkError, L"checking the installer's image");
  } else if (error != ERROR_SUCCESS && error != WAIT_FAILED) {
    WriteLogLine(L"CreateProcess failed : " + std::to_wstring(error));
  }
  LogChildTrouble(child, L"the installer");
  if (exitCode != nullptr) {
    *exitCode = child.exitCode;
  }
  return error;
}

DWORD RunInstaller(const wchar_t* headLine, const std::wstring& arguments,
                   const std::wstring& title, const std::wstring& publisher) {
  WriteLogLine(headLine);
  InstallerLocation installer;
  if (const DWORD error = FindInstallerOrReport(installer); error != ERROR_SUCCESS) {
    return error;
  }
  DWORD exitCode = 0;
  const DWORD error = StartInstaller(
      installer, InstallerCommandLine(installer.named, arguments, title), publisher, &exitCode);
  return error != ERROR_SUCCESS ? error : exitCode;
}

}  // namespace

DWORD FindInstallerExecutable(InstallerLocation& found) {
  found = InstallerLocation{};
  // The bare name resolves against the current directory.
  const std::wstring here = kInstallerFileName;
  const std::wstring beside = JoinPath(GetModuleDirectory(), kInstallerFileName);
  bool existsHere = false;
  bool existsBeside = false;
  const DWORD hereError = LookFor(here, existsHere);
  if (const DWORD error = LookFor(beside, existsBeside); error != ERROR_SUCCESS) {
    return error;
  }
  if (!existsBeside && hereError != ERROR_SUCCESS) {
    return hereError;
  }
  if (!existsHere && !existsBeside) {
    return ERROR_FILE_NOT_FOUND;
  }
  found.named = existsHere ? here : beside;
  if (existsBeside) {
    found.file = beside;
    return ERROR_SUCCESS;
  }
  return ReadFullPath(here, found.file);
}

std::wstring InstallerCommandLine(const std::wstring& installer, const std::wstring& arguments,
                                  const std::wstring& title) {
  return QuoteProgramPath(installer) + arguments + QuoteArgument(title);
}

void OpenInstaller(const std::wstring& publisher) {
  WriteLogLine(L"Opening Zelqa Anti-Cheat Installer");
  InstallerLocation installer;
  if (FindInstallerOrReport(installer) == ERROR_SUCCESS) {
    // Failures are logged; there is nothing more to do.
    (void)StartInstaller(installer, QuoteProgramPath(installer.named), publisher, nullptr);
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
