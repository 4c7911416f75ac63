#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "common/path_text.h"
#include "common/unique_resource.h"
#include "message_box_answerer.h"
#include "test_support.h"
#include "ui/messages.h"

namespace {

constexpr wchar_t kConsentKey[] = L"SOFTWARE\\Zelqa\\AC\\Installs";
constexpr char kDeclined[] = "User declined Zelqa AntiCheat install.";
constexpr DWORD kBoxTimeoutMs = 20000;

// Text `id` of the launcher's string table in exactly `language`.
std::wstring TableText(WORD language, UINT id) {
  const UniqueModule module(
      LoadLibraryExW(BuiltLauncherPath().c_str(), nullptr,
                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  HRSRC block = FindResourceExW(module.get(), RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  if (block == nullptr) {
    return L"";
  }
  const auto* data = static_cast<const wchar_t*>(LockResource(LoadResource(module.get(), block)));
  for (UINT i = 0; i < id % 16; ++i) {
    data += 1 + *data;
  }
  return std::wstring(data + 1, *data);
}

struct Answered {
  ProgramResult result;
  SeenMessageBox box;
};

// Runs the launcher while a second thread waits for its box and presses
// `button`, as the user at the desktop would.
Answered RunAndAnswer(const ProgramRun& run, int button) {
  Answered answered;
  std::thread user(
      [&] { answered.box = AnswerMessageBox(kMessageCaption, button, kBoxTimeoutMs); });
  answered.result = RunProgram(run);
  user.join();
  return answered;
}

class PromptRun : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring name = Widen(testing::UnitTest::GetInstance()->current_test_info()->name());
    placed_ = PlaceLauncher(L"Ask" + name.substr(0, 12));
    record_ = JoinPath(placed_.folder, L"record.txt");
  }

  // A box that should not come would hold the launcher until the time-out.
  ProgramRun Launch(const std::wstring& arguments, bool withInstaller = true) {
    if (withInstaller) {
      CopyStandInInstallerTo(placed_.folder);
    }
    ProgramRun run{placed_.exe, arguments, placed_.folder};
    run.environment[L"ZELQA_TEST_INSTALLER_RECORD"] = record_;
    run.timeoutMs = kBoxTimeoutMs;
    return run;
  }

  std::vector<std::wstring> Recorded() const { return ReadRecordedLines(record_); }

  PlacedLauncher placed_;
  std::wstring record_;
};

TEST_F(PromptRun, InstallQuestionShowsTheIconAndYesGoesOn) {
  RegistryFixture consent(kConsentKey);
  consent.SetDword(L"", L"Other Game", 1);
  const Answered answered = RunAndAnswer(Launch(L"install -title Demo -prompt"), IDYES);
  ASSERT_TRUE(answered.box.found);
  EXPECT_EQ(answered.box.text, TableText(0x0009, 103));
  EXPECT_EQ(answered.box.text,
            L"Zelqa anticheat installation is required to play this game. Do you want to install "
            L"it now?");
  EXPECT_TRUE(answered.box.hasYes && answered.box.hasNo && !answered.box.hasOk)
      << Narrow(answered.box.controls);
  EXPECT_TRUE(answered.box.hasIcon) << "icon 101 of the launcher";
  EXPECT_TRUE(answered.box.topmost) << "system modal";
  EXPECT_FALSE(answered.box.rightToLeft);
  EXPECT_EQ(answered.result.exitCode, 0u);
  EXPECT_EQ(LogTexts(answered.result.output),
            (LogLines{kNoGameLine, "Action: install", "Installing Zelqa Anti-Cheat",
                      "Installed Zelqa Anti-Cheat."}));
  EXPECT_EQ(Recorded().size(), 1u);
}

TEST_F(PromptRun, NoEndsTheRunBeforeTheInstaller) {
  RegistryFixture consent(kConsentKey);
  consent.SetDword(L"", L"Demo", 0);
  const Answered answered = RunAndAnswer(Launch(L"install -title Demo -prompt"), IDNO);
  ASSERT_TRUE(answered.box.found) << "a consent value of 0 still asks";
  EXPECT_EQ(answered.result.exitCode, static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(LogTexts(answered.result.output),
            (LogLines{kNoGameLine, "Action: install", kDeclined}));
  EXPECT_TRUE(Recorded().empty());
}

TEST_F(PromptRun, OnlyANonZeroDwordConsentSkipsTheQuestion) {
  RegistryFixture consent(kConsentKey);
  consent.SetDword(L"", L"Demo", 1);
  consent.SetDword(L"", L"My Game", 7);
  for (const wchar_t* title : {L"Demo", L"\"My Game\""}) {
    const ProgramResult skipped =
        RunProgram(Launch(L"install -prompt -title " + std::wstring(title)));
    EXPECT_FALSE(skipped.timedOut) << "a box was shown for " << Narrow(title);
    EXPECT_EQ(skipped.exitCode, 0u);
    EXPECT_EQ(LogTexts(skipped.output).back(), "Installed Zelqa Anti-Cheat.");
  }

  // Only a number counts; eight bytes don't fit the 32-bit answer, and the
  // value's name must match the title exactly.
  consent.SetQword(L"", L"Quad", 1);
  consent.SetString(L"", L"Text", L"1");
  consent.SetBinary(L"", L"Binary", std::string("\x01\0\0\0", 4));
  consent.SetString(L"", L"None", L"\x01", REG_NONE);
  for (const wchar_t* title : {L"Quad", L"Demo2", L"Text", L"Binary", L"None"}) {
    const Answered asked =
        RunAndAnswer(Launch(L"install -prompt -title " + std::wstring(title)), IDNO);
    EXPECT_TRUE(asked.box.found) << Narrow(title);
    EXPECT_EQ(asked.result.exitCode, static_cast<DWORD>(ERROR_CANCELLED)) << Narrow(title);
  }
  EXPECT_EQ(Recorded().size(), 2u);
}

TEST_F(PromptRun, UninstallAlwaysAsks) {
  RegistryFixture consent(kConsentKey);
  consent.SetDword(L"", L"Demo", 1);
  const Answered declined = RunAndAnswer(Launch(L"uninstall -title Demo -prompt"), IDNO);
  ASSERT_TRUE(declined.box.found);
  EXPECT_EQ(declined.box.text,
            L"Zelqa anticheat is required to play this game. Do you want to uninstall it anyway?");
  EXPECT_TRUE(declined.box.hasIcon);
  EXPECT_EQ(declined.result.exitCode, static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(LogTexts(declined.result.output),
            (LogLines{kNoGameLine, "Action: uninstall", kDeclined}));
  EXPECT_TRUE(Recorded().empty());

  const Answered accepted = RunAndAnswer(Launch(L"uninstall -title Demo -prompt"), IDYES);
  EXPECT_TRUE(accepted.box.found);
  EXPECT_EQ(accepted.result.exitCode, 0u);
  EXPECT_EQ(LogTexts(accepted.result.output).back(), "Uninstalled Zelqa Anti-Cheat.");
  EXPECT_EQ(Recorded(), std::vector<std::wstring>{
                            L"ZelqaAntiCheat.Installer.exe --noui --uninstall --title Demo"});
}

// Wine takes a process's display language from the Linux locale it
// inherits, not from its Windows environment block, so each language runs
// the whole test program under its own locale (the CTest entries
// *_prompt, which under Wine also set ZELQA_EXPECT_LANGUAGE); the launcher
// inherits it. Wine mirrors a box after its own translation of the locale,
// whatever styles the launcher asks for (messages_test checks those).
struct LanguageCase {
  LANGID display;
  WORD block;  // the block the boxes show
  bool rightToLeft;
};
// Arabic and Hebrew, Swahili (no block: English), and Russian in Ukraine, a
// locale without an id of its own (Wine's 0x0C00): Russian by its name.
constexpr LanguageCase kLanguageCases[] = {{0x0401, 0x0001, true},
                                           {0x040D, 0x000D, true},
                                           {0x0441, 0x0009, false},
                                           {0x0C00, 0x0019, false}};

class LanguagePrompt : public PromptRun {
 protected:
  void SetUp() override {
    const LANGID display = GetUserDefaultUILanguage();
    wchar_t expected[8] = {};
    if (GetEnvironmentVariableW(L"ZELQA_EXPECT_LANGUAGE", expected, 8) != 0 &&
        std::wcstoul(expected, nullptr, 16) != display) {
      FAIL() << "display language " << std::hex << display << ", not " << Narrow(expected)
             << ": is the locale installed (locale -a)?";
    }
    for (const LanguageCase& language : kLanguageCases) {
      if (language.display == display) {
        language_ = language;
      }
    }
    if (language_.display == 0) {
      GTEST_SKIP() << "needs an ar_SA, he_IL, sw_KE or ru_UA locale (CTest entries *_prompt)";
    }
    PromptRun::SetUp();
  }
  std::wstring Shown(UINT id) const { return TableText(language_.block, id); }
  LanguageCase language_{};
};

TEST_F(LanguagePrompt, BoxesShowTheChosenBlockInItsDirection) {
  const Answered question = RunAndAnswer(Launch(L"install -title Demo -prompt"), IDNO);
  ASSERT_TRUE(question.box.found);
  ASSERT_FALSE(TableText(language_.block, 103).empty());
  EXPECT_EQ(question.box.text, Shown(103));
  EXPECT_EQ(question.box.rightToLeft, language_.rightToLeft) << Narrow(question.box.controls);
  EXPECT_TRUE(question.box.hasIcon);
  EXPECT_EQ(question.result.exitCode, static_cast<DWORD>(ERROR_CANCELLED));

  DeleteFileW(JoinPath(placed_.folder, L"ZelqaAntiCheat.Installer.exe").c_str());
  const Answered error = RunAndAnswer(Launch(L"uninstall -title Demo -showerrors", false), IDOK);
  ASSERT_TRUE(error.box.found);
  EXPECT_EQ(error.box.text, FormatErrorBoxText(L"%s\n0x%x: %s", Shown(104).c_str(), 2,
                                               FormatSystemMessage(2).c_str()));
  EXPECT_EQ(error.box.rightToLeft, language_.rightToLeft);
  EXPECT_EQ(error.result.exitCode, 2u);
}

TEST_F(PromptRun, FailedRunShowsTheErrorWithItsCode) {
  const Answered missing = RunAndAnswer(Launch(L"install -title Demo -showerrors", false), IDOK);
  ASSERT_TRUE(missing.box.found);
  EXPECT_EQ(missing.box.text,
            L"Zelqa anticheat could not be installed.\n0x2: " + FormatSystemMessage(2));
  EXPECT_EQ(missing.box.text.substr(missing.box.text.size() - 2), L"\r\n");
  EXPECT_TRUE(missing.box.hasOk && !missing.box.hasYes && !missing.box.hasNo);
  EXPECT_TRUE(missing.box.hasIcon) << "the system's error icon";
  EXPECT_TRUE(missing.box.topmost);
  EXPECT_EQ(missing.result.exitCode, 2u);
  EXPECT_EQ(LogTexts(missing.result.output).back(), "Could not install Zelqa Anti-Cheat: 2")
      << "the box comes after the failure line";

  ASSERT_TRUE(
      WriteFileBytes(JoinPath(placed_.folder, L"ZelqaAntiCheat.Installer.exe"), "not a program"));
  const Answered broken = RunAndAnswer(Launch(L"uninstall -title Demo -showerrors", false), IDOK);
  ASSERT_TRUE(broken.box.found);
  EXPECT_EQ(broken.box.text, L"Zelqa anticheat could not be uninstalled.\n0xc1: " +
                                 FormatSystemMessage(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(broken.result.exitCode, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));

  // The installer ran and failed: its own code is the error.
  ProgramRun failing = Launch(L"install -title Demo -showerrors");
  failing.environment[L"ZELQA_TEST_INSTALLER_EXIT"] = L"1603";
  const Answered failed = RunAndAnswer(failing, IDOK);
  ASSERT_TRUE(failed.box.found);
  EXPECT_EQ(failed.box.text,
            L"Zelqa anticheat could not be installed.\n0x643: " + FormatSystemMessage(1603));
  EXPECT_EQ(failed.result.exitCode, 1603u);
}

TEST_F(PromptRun, SucceedingRunShowsNoErrorBox) {
  for (const wchar_t* action : {L"install", L"uninstall"}) {
    for (const wchar_t* installerExit : {L"0", L"3010"}) {
      ProgramRun run = Launch(std::wstring(action) + L" -title Demo -showerrors");
      run.environment[L"ZELQA_TEST_INSTALLER_EXIT"] = installerExit;
      const ProgramResult result = RunProgram(run);
      EXPECT_FALSE(result.timedOut) << "a box was shown";
      EXPECT_EQ(result.exitCode, 0u);
    }
  }
  EXPECT_EQ(Recorded().size(), 4u);
}

// On a service's window station no box reaches the user: a question counts
// as No, and an error box holds nothing up.
TEST_F(PromptRun, QuestionThatCannotReachTheConsoleCountsAsNo) {
  ProgramRun run = Launch(L"");
  run.desktop = CreateHiddenWindowStation(L"ZelqaTestHidden");
  ASSERT_FALSE(run.desktop.empty()) << "no hidden window station: " << GetLastError();
  for (const std::wstring action : {L"install", L"uninstall"}) {
    run.arguments = action + L" -title Demo -prompt";
    const ProgramResult result = RunProgram(run);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(LogTexts(result.output),
              (LogLines{kNoGameLine, "Action: " + Narrow(action), kDeclined}));
  }
  EXPECT_TRUE(Recorded().empty());

  DeleteFileW(JoinPath(placed_.folder, L"ZelqaAntiCheat.Installer.exe").c_str());
  run.arguments = L"install -title Demo -showerrors";
  const ProgramResult failed = RunProgram(run);
  EXPECT_FALSE(failed.timedOut);
  EXPECT_EQ(failed.exitCode, 2u);
}

}  // namespace
