#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

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

TEST(MessagesSystemText, KeepsTheLineBreakAndIsEmptyForUnknownCodes) {
  const std::wstring notFound = FormatSystemMessage(ERROR_FILE_NOT_FOUND);
  ASSERT_GT(notFound.size(), 2u);
  EXPECT_EQ(notFound.substr(notFound.size() - 2), L"\r\n");
  EXPECT_EQ(notFound.find(L'\0'), std::wstring::npos);
  // Codes with the customer bit are never the system's.
  EXPECT_EQ(FormatSystemMessage(0x20001234), L"");
}

TEST(MessagesLocalizedText, LoadsExactlyTheChosenBlockOrFallsBack) {
  const UniqueModule launcher = LoadBuiltLauncherAsData();
  ASSERT_TRUE(launcher);
  const auto instance = reinterpret_cast<HINSTANCE>(launcher.get());
  EXPECT_EQ(LoadLocalizedText(instance, 0x0009, 102, L"fallback"),
            L"Zelqa anticheat could not be installed.");
  EXPECT_EQ(LoadLocalizedText(instance, 0x0441, 102, L"fallback"), L"fallback") << "no block";
  EXPECT_EQ(LoadLocalizedText(instance, 0x0009, 106, L"fallback"), L"fallback");
  EXPECT_EQ(LoadLocalizedText(GetModuleHandleW(nullptr), 0x0009, 103, L"built in"), L"built in")
      << "a module without the table";
}

// Among the built launcher's blocks: a language's own block, else the nearest
// of the same language and script, else English; right to left exactly for
// the right-to-left languages shown.
TEST(MessagesTextLanguage, DisplayLanguageGetsItsOwnTheNearestOrTheEnglishBlock) {
  const UniqueModule launcher = LoadBuiltLauncherAsData();
  const std::vector<LANGID> blocks =
      StringBlockLanguages(reinterpret_cast<HINSTANCE>(launcher.get()), 103);
  for (const auto& [display, expected, rightToLeft] :
       std::initializer_list<std::tuple<LANGID, LANGID, bool>>{
           {0x0409, 0x0009, false},  // English (United States)
           {0x0441, 0x0009, false},  // Swahili, which has no block
           {0x0000, 0x0009, false},  // no language at all
           {0x0807, 0x0007, false},  // German (Switzerland): the neutral block
           {0x0C0A, 0x0C0A, false},  // Spanish (Spain): its own
           {0x0401, 0x0001, true},   // Arabic (Saudi Arabia)
           {0x040D, 0x000D, true},   // Hebrew
           {0x0429, 0x0029, true},   // Persian
           {0x048C, 0x0029, true},   // Dari: Persian, right to left
           {0x0820, 0x0020, true},   // Urdu (India)
           {0x041B, 0x001B, false},  // Slovak
           {0x101A, 0x041A, false},  // Croatian (Bosnia and Herzegovina)
           {0x2C1A, 0x241A, false},  // Serbian, Latin (Montenegro)
           {0x281A, 0x281A, false},  // Serbian, Cyrillic (Serbia)
           {0x1C1A, 0x281A, false},  // Serbian, Cyrillic (Bosnia and Herzegovina)
           {0x201A, 0x0009, false},  // Bosnian, Cyrillic: no block in its script
           {0x082C, 0x0009, false},  // Azerbaijani, Cyrillic: not the Latin block
           {0x1004, 0x0004, false},  // Chinese (Singapore): simplified
           {0x1404, 0x0C04, false},  // Chinese (Macau): traditional, as in Hong Kong
           {0x0404, 0x0404, false},  // Chinese (Taiwan)
           {0x0814, 0x0814, false},  // Norwegian, Nynorsk
           {0x0414, 0x0014, false},  // Norwegian, Bokmal
       }) {
    const LANGID block = ChooseTextLanguage(display, blocks);
    EXPECT_EQ(block, expected) << std::hex << display;
    EXPECT_EQ(IsRightToLeftLanguage(block), rightToLeft) << std::hex << display;
  }
  // Of all the table's blocks, exactly Arabic, Hebrew, Urdu and Persian read right to left.
  std::vector<LANGID> rightToLeft;
  std::copy_if(blocks.begin(), blocks.end(), std::back_inserter(rightToLeft),
               IsRightToLeftLanguage);
  std::sort(rightToLeft.begin(), rightToLeft.end());
  EXPECT_EQ(rightToLeft, (std::vector<LANGID>{0x0001, 0x000D, 0x0020, 0x0029}));
  EXPECT_EQ(ChooseTextLanguage(0x241A, {0x0009, 0x041A}), 0x0009) << "Croatian is not Serbian";
  EXPECT_EQ(ChooseTextLanguage(0x0816, {0x0009, 0x0416}), 0x0416) << "another region's block";
}

}  // namespace
