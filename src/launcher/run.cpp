#include "launcher/run.h"

#include <shlwapi.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/process_facts.h"
#include "common/text.h"
#include "game/discovery.h"
#include "installer/installer.h"
#include "launcher/consent.h"
#include "launcher/log_placement.h"
#include "launcher/options.h"
#include "legacy/cleanup.h"
#include "legacy/detection.h"
#include "legacy/setup_folder.h"
#include "legacy/uninstall.h"
#include "log/run_log.h"
#include "resource_ids.h"
#include "ui/messages.h"

namespace {

bool AskUser(HINSTANCE instance, UINT textId, const wchar_t* fallback, LANGID language) {
  return ShowUserMessage(instance, LoadLocalizedText(instance, language, textId, fallback),
                         QuestionStyle(IsRightToLeftLanguage(language)),
                         MAKEINTRESOURCEW(IDI_LAUNCHER)) == IDYES;
}

void ShowErrorBox(HINSTANCE instance, UINT headId, const wchar_t* fallback, DWORD code,
                  LANGID language) {
  const std::wstring head = LoadLocalizedText(instance, language, headId, fallback);
  const std::wstring systemText = FormatSystemMessage(code);
  ShowUserMessage(instance,
                  FormatErrorBoxText(L"%s\n0x%x: %s", head.c_str(), code, systemText.c_str()),
                  ErrorStyle(IsRightToLeftLanguage(language)), nullptr);
}

// The installer succeeded, possibly with a restart to come, which the
// caller's setup may want to know of.
void LogRestartIfRequired(DWORD code) {
  if (code != ERROR_SUCCESS) {
    WriteLogLine(L"Restart required: " + std::to_wstring(code));
  }
}

// The exit code of a run whose installer succeeded (0, 3010 or 1641): the
// restart codes only for a setup that asked for them, since other setups
// take any code but 0 for a failure.
DWORD SuccessExitCode(const LaunchOptions& options, DWORD code) {
  return HasOption(options, kReportRestartOption) ? code : ERROR_SUCCESS;
}

// What every step of the run reads and nothing changes.
struct RunContext {
  HINSTANCE instance = nullptr;
  LANGID language = 0;  // the block of the string table the boxes show
  std::wstring installerPublisher;
};

// Runs the legacy uninstall when the legacy anti-cheat is registered for
// `legacyId`, and returns its result: 0 also when there was nothing to
// uninstall; the error when the registration could not be read. An elevated
// run provides the setup program in a folder of its own, `secureFolder`. The
// outcome never stops the install.
DWORD MigrateOffLegacyAntiCheat(const RunContext& run, const HeldFolder& logFolder,
                                UniqueSetupFolder& secureFolder, const GameInstallInfo& game,
                                std::int32_t legacyId) {
  bool installed = false;
  // A registration that can't be read may still be there: nothing is
  // uninstalled, and the legacy files, its only way out, stay.
  if (const DWORD error = IsEasyAntiCheatInstalled(legacyId, installed); error != ERROR_SUCCESS) {
    WriteLogLine(L"Could not detect EasyAntiCheat: " + std::to_wstring(error));
    return error;
  }
  if (!installed) {
    WriteLogLine(L"EasyAntiCheat not installed.");
    return ERROR_SUCCESS;
  }
  WriteLogLine(L"EasyAntiCheat is installed.");
  const DWORD result =
      UninstallEasyAntiCheat(logFolder, IsElevatedOrSystem() ? &secureFolder : nullptr,
                             InstallDir(game), legacyId, !run.installerPublisher.empty());
  if (result == ERROR_SUCCESS) {
    WriteLogLine(L"Uninstalled EasyAntiCheat.");
  } else {
    WriteLogLine(L"Could not uninstall EasyAntiCheat: " + std::to_wstring(result));
  }
  return result;
}

// After a done install: the legacy files go, but while the legacy
// anti-cheat is still registered they are its only way out, so a failed
// legacy uninstall keeps them. The extracted setup program goes either way.
void CleanUpAfterInstall(const HeldFolder& logFolder, const UniqueSetupFolder& secureFolder,
                         const GameInstallInfo& game, DWORD legacyResult, RetryBudget& retries) {
  if (legacyResult != ERROR_SUCCESS) {
    WriteLogLine(L"Keeping legacy files: " + std::to_wstring(legacyResult));
  }
  DeleteEasyAntiCheatFiles(logFolder, secureFolder.folder(),
                           legacyResult == ERROR_SUCCESS ? InstallDir(game) : std::wstring(),
                           retries);
}

DWORD RunInstall(const RunContext& run, const LaunchOptions& options, const HeldFolder& logFolder,
                 const GameInstallInfo& game) {
  const std::wstring title = GetOption(options, kTitleOption);
  if (title.empty()) {
    WriteLogLine(L"Missing: title");
    return kExitBadArguments;
  }

  // An id that is no number would otherwise migrate some other game.
  std::int32_t legacyId = 0;
  if (HasLegacyId(options) && !ParseDecimalId(GetOption(options, kLegacyIdOption), legacyId)) {
    WriteLogLine(L"Invalid eactitleId: " + GetOption(options, kLegacyIdOption));
    return kExitBadArguments;
  }

  if (HasOption(options, kPromptOption) && !HasInstallConsent(title) &&
      !AskUser(run.instance, IDS_INSTALL_PROMPT,
               L"In order to play this game, you need to install Zelqa Anti-Cheat. Would you like "
               L"to install it now?",
               run.language)) {
    WriteLogLine(L"User declined Zelqa AntiCheat install.");
    return kExitCancelled;
  }

  // What the run deletes may wait this long, in all, for whoever holds it.
  RetryBudget retries;
  // Owns the elevated run's folder and the setup program in it: both go on
  // every way out of this function.
  UniqueSetupFolder secureFolder(retries);
  const DWORD legacyResult =
      legacyId != 0 ? MigrateOffLegacyAntiCheat(run, logFolder, secureFolder, game, legacyId)
                    : ERROR_SUCCESS;

  const DWORD code = InstallAntiCheat(title, run.installerPublisher);
  if (InstallerSucceeded(code)) {
    WriteLogLine(L"Installed Zelqa Anti-Cheat.");
    LogRestartIfRequired(code);
    // Only now is the game protected again: the legacy files may go.
    if (HasLegacyId(options)) {
      CleanUpAfterInstall(logFolder, secureFolder, game, legacyResult, retries);
    }
    return SuccessExitCode(options, code);
  }
  WriteLogLine(L"Could not install Zelqa Anti-Cheat: " + std::to_wstring(code));
  if (HasOption(options, kShowErrorsOption)) {
    ShowErrorBox(run.instance, IDS_INSTALL_FAILED, L"Could not install Zelqa Anti-Cheat.", code,
                 run.language);
  }
  return code;
}

DWORD RunUninstall(const RunContext& run, const LaunchOptions& options) {
  const std::wstring title = GetOption(options, kTitleOption);
  if (title.empty()) {
    WriteLogLine(L"Missing: title");
    return kExitBadArguments;
  }
  // The consent value is for installs only: removing always asks.
  if (HasOption(options, kPromptOption) &&
      !AskUser(run.instance, IDS_UNINSTALL_PROMPT,
               L"This game requires Zelqa Anti-Cheat, are you sure you want to uninstall?",
               run.language)) {
    WriteLogLine(L"User declined Zelqa AntiCheat install.");
    return kExitCancelled;
  }

  const DWORD code = UninstallAntiCheat(title, run.installerPublisher);
  if (InstallerSucceeded(code)) {
    WriteLogLine(L"Uninstalled Zelqa Anti-Cheat.");
    LogRestartIfRequired(code);
    return SuccessExitCode(options, code);
  }
  WriteLogLine(L"Could not uninstall Zelqa Anti-Cheat: " + std::to_wstring(code));
  if (HasOption(options, kShowErrorsOption)) {
    ShowErrorBox(run.instance, IDS_UNINSTALL_FAILED, L"Could not uninstall Zelqa Anti-Cheat.", code,
                 run.language);
  }
  return code;
}

DWORD Run(HINSTANCE instance, const std::wstring& installerPublisher) {
  const RunContext run{instance, ChooseUserTextLanguage(instance, IDS_INSTALL_PROMPT),
                       installerPublisher};
  const wchar_t* argumentText = PathGetArgsW(GetCommandLineW());
  std::vector<std::wstring> arguments = SplitArguments(argumentText);

  if (arguments.empty()) {
    OpenInstaller(run.installerPublisher);
    WriteLogLine(L"Usage: <action>");
    return kExitBadArguments;
  }

  const std::wstring action = arguments.front();
  arguments.erase(arguments.begin());
  LaunchOptions options;
  ParseLaunchOptions(arguments, options);

  HeldFolder logFolder;
  SelectLogDirectory(logFolder);
  std::wstring logFilePath;
  if (HasOption(options, kLogOption) && OpenLogFile(logFolder, logFilePath)) {
    WriteLogLine(L"Log file started: " + LogPath(logFilePath));
    WriteLogLine(std::wstring(L"Args: ") + argumentText);
    WriteLogLine(L"Working Dir: " + LogPath(GetWorkingDirectory()));
  }

  GameInstallInfo game;
  if (FindGameInstallInfo(game)) {
    WriteLogLine(L"Game Root: " + InstallDir(game));
  } else {
    WriteLogLine(L"Could not find game install information. Possible new installation.");
  }

  WriteLogLine(L"Action: " + action);
  if (action == L"install") {
    return RunInstall(run, options, logFolder, game);
  }
  if (action == L"uninstall") {
    return RunUninstall(run, options);
  }
  WriteLogLine(L"Invalid <action>");
  return kExitBadArguments;
}

}  // namespace

DWORD RunLauncher(HINSTANCE instance, const std::wstring& installerPublisher) {
  // Nothing the run does throws on purpose; what the library may throw
  // (out of memory) ends the run in order, with the reason in the log.
  try {
    return Run(instance, installerPublisher);
  } catch (const std::exception& error) {
    const std::string what = error.what();
    WriteLogLine(L"Unexpected error: " + std::wstring(what.begin(), what.end()));
  } catch (...) {
    WriteLogLine(L"Unexpected error: unknown exception");
  }
  return kExitInternalError;
}
