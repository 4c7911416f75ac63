#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/unique_resource.h"
#include "test_support.h"
#include "ui/messages.h"

namespace {

constexpr wchar_t kBoxFormat[] = L"%s\n0x%x: %s";

TEST(MessagesErrorText, CodeIsLowerCaseHexBetweenHeadAndSystemText) {
  EXPECT_EQ(FormatErrorBoxText(kBoxFormat, L"Could not install.", 1223u, L"Cancelled.\r\n"),
            L"Could not install.\n0x4c7: Cancelled.\r\n");
  EXPECT_EQ(FormatErrorBoxText(kBoxFormat, L"Head", 0xFFFFFFFFu, L"Wait failed."),
            L"Head\n0xffffffff: Wait failed.");
  EXPECT_EQ(FormatErrorBoxText(kBoxFormat, L"Head", 0xABCDEFu, L""), L"Head\n0xabcdef: ")
      << "no system text leaves the code and the colon";
  // %s takes wide texts: other scripts pass unchanged.
  const std::wstring arabic = L"\u062a\u0639\u0630\u0651\u0631 Zelqa anticheat.";
  EXPECT_EQ(FormatErrorBoxText(kBoxFormat, arabic.c_str(), 2u, L"\u00e9\u4e2d\r\n"),
            arabic + L"\n0x2: \u00e9\u4e2d\r\n");
}

TEST(MessagesErrorText, OverlongTextIsCutToExactly255Characters) {
  const std::wstring systemText = L"The system cannot find the file specified.\r\n";
  for (const size_t headLength : {200u, 205u, 206u, 207u, 255u, 300u, 2000u}) {
    const std::wstring head(headLength, L'h');
    const std::wstring whole = head + L"\n0x2: " + systemText;
    const std::wstring text = FormatErrorBoxText(kBoxFormat, head.c_str(), 2u, systemText.c_str());
    EXPECT_EQ(text, whole.substr(0, 255)) << "head of " << headLength;
  }
  EXPECT_EQ(FormatErrorBoxText(L"%s", std::wstring(255, L'x').c_str()), std::wstring(255, L'x'));
}

TEST(MessagesConsoleStyle, UserIconBecomesTheInformationIcon) {
  EXPECT_EQ(ConsoleMessageStyle(0x1084), 0x1044u);
  EXPECT_EQ(ConsoleMessageStyle(0x181084), 0x181044u);
  EXPECT_EQ(ConsoleMessageStyle(0x1010), 0x1010u);
  EXPECT_EQ(ConsoleMessageStyle(0x181010), 0x181010u);
}

// The platform's box doesn't show MB_RIGHT and MB_RTLREADING in its window
// styles, so the styles the launcher asks for are checked here.
TEST(MessagesBoxStyle, ArabicUsersGetRightAlignedRightToLeftBoxes) {
  EXPECT_EQ(QuestionStyle(false), 0x1084u);
  EXPECT_EQ(QuestionStyle(true), 0x181084u);
  EXPECT_EQ(ErrorStyle(false), 0x1010u);
  EXPECT_EQ(ErrorStyle(true), 0x181010u);
}

TEST(MessagesSystemText, KeepsTheLineBreakAndIsEmptyForUnknownCodes) {
  const std::wstring notFound = FormatSystemMessage(ERROR_FILE_NOT_FOUND);
  ASSERT_GT(notFound.size(), 2u);
  EXPECT_EQ(notFound.substr(notFound.size() - 2), L"\r\n");
  EXPECT_EQ(notFound.find(L'\0'), std::wstring::npos);
  // Codes with the customer bit are never the system's.
  EXPECT_EQ(FormatSystemMessage(0x20001234), L"");
}

TEST(MessagesLocalizedText, LoadsTheLaunchersTableOrFallsBack) {
  const UniqueModule launcher(
      LoadLibraryExW(BuiltLauncherPath().c_str(), nullptr,
                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(launcher);
  const auto instance = reinterpret_cast<HINSTANCE>(launcher.get());
  EXPECT_EQ(LoadLocalizedText(instance, 102, L"fallback"),
            L"Zelqa\u00a0anticheat could not be installed.");
  EXPECT_EQ(LoadLocalizedText(instance, 105, L"fallback"),
            L"Zelqa\u00a0anticheat is required to play this game. Do you want to uninstall it "
            L"anyway?");
  EXPECT_EQ(LoadLocalizedText(instance, 106, L"fallback"), L"fallback");
  EXPECT_EQ(LoadLocalizedText(GetModuleHandleW(nullptr), 103, L"built in"), L"built in")
      << "a module without the table";
}

}  // namespace
