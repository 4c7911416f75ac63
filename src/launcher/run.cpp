#include "launcher/run.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstdint>
#include <vector>

#include "common/unique_resource.h"
#include "game/discovery.h"
#include "installer/installer.h"
#include "launcher/log_placement.h"
#include "launcher/options.h"
#include "legacy/cleanup.h"
#include "legacy/detection.h"
#include "legacy/uninstall.h"
#include "log/run_log.h"
#include "resource_ids.h"
#include "ui/messages.h"

namespace {

constexpr UINT kRightToLeftStyle = MB_RIGHT | MB_RTLREADING;

// The arguments after the program's own path, as the platform splits them.
std::vector<std::wstring> SplitArguments(const wchar_t* argumentText) {
  std::vector<std::wstring> arguments;
  if (argumentText == nullptr || *argumentText == L'\0') {
    return arguments;
  }
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(argumentText, &count);
  const UniqueLocalMemory owner(argv);
  if (argv != nullptr && count > 0) {
    arguments.assign(argv, argv + count);
  }
  return arguments;
}

bool AskUser(HINSTANCE instance, UINT textId, const wchar_t* fallback, bool arabic) {
  return ShowUserMessage(instance, LoadLocalizedText(instance, textId, fallback),
                         QuestionStyle(arabic), MAKEINTRESOURCEW(IDI_LAUNCHER)) == IDYES;
}

void ShowErrorBox(HINSTANCE instance, UINT headId, const wchar_t* fallback, DWORD code,
                  bool arabic) {
  const std::wstring head = LoadLocalizedText(instance, headId, fallback);
  const std::wstring systemText = FormatSystemMessage(code);
  ShowUserMessage(instance,
                  FormatErrorBoxText(L"%s\n0x%x: %s", head.c_str(), code, systemText.c_str()),
                  ErrorStyle(arabic), nullptr);
}

void LogLine(const wchar_t* text) { BeginLogLine() << text << std::endl; }

DWORD RunInstall(HINSTANCE instance, const LaunchOptions& options, const std::wstring& logDirectory,
                 GameInstallInfo& game, bool arabic) {
  const std::wstring title = GetOption(options, L"title");
  if (title.empty()) {
    LogLine(L"Missing: title");
    return kExitBadArguments;
  }

  // An id that is no number would otherwise migrate some other game.
  const std::wstring legacyIdText = GetOption(options, L"eactitleId");
  std::int32_t legacyId = 0;
  if (!legacyIdText.empty() && !ParseDecimalId(legacyIdText, legacyId)) {
    BeginLogLine() << L"Invalid eactitleId: " << legacyIdText << std::endl;
    return kExitBadArguments;
  }

  if (HasOption(options, L"prompt") && !HasInstallConsent(title) &&
      !AskUser(instance, IDS_INSTALL_PROMPT,
               L"In order to play this game, you need to install Zelqa Anti-Cheat. Would you like "
               L"to install it now?",
               arabic)) {
    LogLine(L"User declined Zelqa AntiCheat install.");
    return kExitCancelled;
  }

  if (legacyId != 0) {
    if (IsEasyAntiCheatInstalled(legacyId)) {
      LogLine(L"EasyAntiCheat is installed.");
      const DWORD legacyResult =
          UninstallEasyAntiCheat(logDirectory, game[L"Install Dir"], legacyId);
      if (legacyResult == ERROR_SUCCESS) {
        LogLine(L"Uninstalled EasyAntiCheat.");
      } else {
        BeginLogLine() << L"Could not uninstall EasyAntiCheat: " << legacyResult << std::endl;
      }
    } else {
      LogLine(L"EasyAntiCheat not installed.");
    }
  }

  const DWORD code = InstallAntiCheat(title);
  if (code == ERROR_SUCCESS) {
    LogLine(L"Installed Zelqa Anti-Cheat.");
    if (!legacyIdText.empty()) {
      DeleteEasyAntiCheatFiles(logDirectory, game[L"Install Dir"]);
    }
    return ERROR_SUCCESS;
  }
  BeginLogLine() << L"Could not install Zelqa Anti-Cheat: " << code << std::endl;
  if (HasOption(options, L"showerrors")) {
    ShowErrorBox(instance, IDS_INSTALL_FAILED, L"Could not install Zelqa Anti-Cheat.", code,
                 arabic);
  }
  return code;
}

DWORD RunUninstall(HINSTANCE instance, const LaunchOptions& options, bool arabic) {
  const std::wstring title = GetOption(options, L"title");
  if (title.empty()) {
    LogLine(L"Missing: title");
    return kExitBadArguments;
  }
  // The consent value is for installs only: removing always asks.
  if (HasOption(options, L"prompt") &&
      !AskUser(instance, IDS_UNINSTALL_PROMPT,
               L"This game requires Zelqa Anti-Cheat, are you sure you want to uninstall?",
               arabic)) {
    LogLine(L"User declined Zelqa AntiCheat install.");
    return kExitCancelled;
  }

  const DWORD code = UninstallAntiCheat(title);
  if (code == ERROR_SUCCESS) {
    LogLine(L"Uninstalled Zelqa Anti-Cheat.");
    return ERROR_SUCCESS;
  }
  BeginLogLine() << L"Could not uninstall Zelqa Anti-Cheat: " << code << std::endl;
  if (HasOption(options, L"showerrors")) {
    ShowErrorBox(instance, IDS_UNINSTALL_FAILED, L"Could not uninstall Zelqa Anti-Cheat.", code,
                 arabic);
  }
  return code;
}

}  // namespace

UINT QuestionStyle(bool arabic) {
  return MB_SYSTEMMODAL | MB_USERICON | MB_YESNO | (arabic ? kRightToLeftStyle : 0);
}

UINT ErrorStyle(bool arabic) {
  return MB_SYSTEMMODAL | MB_ICONHAND | MB_OK | (arabic ? kRightToLeftStyle : 0);
}

bool IsArabicUserLanguage() { return PRIMARYLANGID(GetUserDefaultLangID()) == LANG_ARABIC; }

bool HasInstallConsent(const std::wstring& title) {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelqa\\AC\\Installs", 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD consent = 0;
  DWORD size = sizeof(consent);
  // Longer data (a REG_QWORD) fails with ERROR_MORE_DATA and asks.
  return RegQueryValueExW(key.get(), title.c_str(), nullptr, nullptr,
                          reinterpret_cast<BYTE*>(&consent), &size) == ERROR_SUCCESS &&
         consent != 0;
}

DWORD RunLauncher(HINSTANCE instance) {
  const bool arabic = IsArabicUserLanguage();
  const wchar_t* argumentText = PathGetArgsW(GetCommandLineW());
  std::vector<std::wstring> arguments = SplitArguments(argumentText);

  if (arguments.empty()) {
    OpenInstaller();
    LogLine(L"Usage: <action>");
    return kExitBadArguments;
  }

  const std::wstring action = arguments.front();
  arguments.erase(arguments.begin());
  LaunchOptions options;
  ParseLaunchOptions(arguments, options);

  const std::wstring logDirectory = SelectLogDirectory();
  std::wstring logFilePath;
  if (HasOption(options, L"log") && OpenLogFile(logDirectory, logFilePath)) {
    BeginLogLine() << L"Log file started: " << LogPath(logFilePath) << std::endl;
    BeginLogLine() << L"Args: " << argumentText << std::endl;
    BeginLogLine() << L"Working Dir: " << LogPath(GetWorkingDirectory()) << std::endl;
  }

  GameInstallInfo game;
  if (FindGameInstallInfo(game)) {
    BeginLogLine() << L"Game Root: " << game[L"Install Dir"] << std::endl;
  } else {
    LogLine(L"Could not find game install information. Possible new installation.");
  }

  BeginLogLine() << L"Action: " << action << std::endl;
  if (action == L"install") {
    return RunInstall(instance, options, logDirectory, game, arabic);
  }
  if (action == L"uninstall") {
    return RunUninstall(instance, options, arabic);
  }
  LogLine(L"Invalid <action>");
  return kExitBadArguments;
}
