#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "legacy/detection.h"
#include "test_support.h"

namespace {

using Fields = std::vector<std::wstring>;

TEST(DetectionSplit, KeepsEveryFieldEmptyOnesIncluded) {
  EXPECT_EQ(SplitString(L"", L";"), (Fields{L""}));
  EXPECT_EQ(SplitString(L"1234", L";"), (Fields{L"1234"}));
  EXPECT_EQ(SplitString(L"1;2", L";"), (Fields{L"1", L"2"}));
  EXPECT_EQ(SplitString(L"1;;2", L";"), (Fields{L"1", L"", L"2"}));
  EXPECT_EQ(SplitString(L"1;2;", L";"), (Fields{L"1", L"2", L""}));
  EXPECT_EQ(SplitString(L";", L";"), (Fields{L"", L""}));
  EXPECT_EQ(SplitString(L"a::b:c", L"::"), (Fields{L"a", L"b:c"}));
}

TEST(DetectionList, MatchesTheFirstNumberOfEachField) {
  EXPECT_TRUE(GamesListContains(L"1234", 1234));
  EXPECT_FALSE(GamesListContains(L"1234", 123));
  EXPECT_TRUE(GamesListContains(L"1;2;3;", 3));
  EXPECT_FALSE(GamesListContains(L"1;2;3;", 4));
  EXPECT_FALSE(GamesListContains(L"", 0)) << "an empty field is no id";
  EXPECT_FALSE(GamesListContains(L";;", 0));
  for (const wchar_t* list : {L" 42", L"\t42", L"+42", L"0042", L"42 ", L"42abc", L"7;42"}) {
    EXPECT_TRUE(GamesListContains(list, 42)) << Narrow(list);
  }
  EXPECT_TRUE(GamesListContains(L"-7", -7));
  EXPECT_FALSE(GamesListContains(L"-7", 7));
  EXPECT_FALSE(GamesListContains(L"7", -7));
  EXPECT_TRUE(GamesListContains(L"0x1F", 0)) << "digits stop at the x";
}

TEST(DetectionList, FieldsWithoutANumberOrOutOfRangeMatchNothingAndTheSearchGoesOn) {
  EXPECT_TRUE(GamesListContains(L"5;abc", 5));
  EXPECT_TRUE(GamesListContains(L"abc;5", 5));
  for (const wchar_t* list : {L"abc", L" ", L"-", L"+", L"+-1", L"- 1", L"x5"}) {
    EXPECT_FALSE(GamesListContains(list, 0)) << Narrow(list);
    EXPECT_FALSE(GamesListContains(list, 1)) << Narrow(list);
    EXPECT_FALSE(GamesListContains(list, 5)) << Narrow(list);
  }
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  EXPECT_TRUE(GamesListContains(L"2147483647", kMax));
  EXPECT_TRUE(GamesListContains(L"-2147483648", kMin));
  // Wrapped into 32 bits these would be ids: 2^31 is kMin, 2^32 + 5 is 5.
  EXPECT_FALSE(GamesListContains(L"2147483648", kMin));
  EXPECT_FALSE(GamesListContains(L"-2147483649", kMax));
  EXPECT_FALSE(GamesListContains(L"4294967301", 5));
  EXPECT_FALSE(GamesListContains(L"99999999999999999999", -1));
  EXPECT_TRUE(GamesListContains(L"4294967301;5", 5));
}

TEST(DetectionId, ReadsTheLeadingNumberOrNothing) {
  std::int32_t id = 99;
  EXPECT_TRUE(ParseDecimalId(L" \t\r\n12abc", id));
  EXPECT_EQ(id, 12);
  EXPECT_TRUE(ParseDecimalId(L"-0", id));
  EXPECT_EQ(id, 0);
  id = 99;
  EXPECT_FALSE(ParseDecimalId(L"", id));
  EXPECT_FALSE(ParseDecimalId(L"abc", id));
  EXPECT_FALSE(ParseDecimalId(L"2147483648", id));
  EXPECT_EQ(id, 99) << "a failed conversion leaves the id alone";
}

constexpr wchar_t kLegacyKey[] = L"SOFTWARE\\WOW6432Node\\EasyAntiCheat";

TEST(DetectionRegistry, ReadsGamesInstalledFromTheLegacyKey) {
  {
    RegistryFixture legacy(kLegacyKey);
    EXPECT_FALSE(IsEasyAntiCheatInstalled(1234)) << "no value";
    legacy.SetString(L"", L"GamesInstalled", L"");
    EXPECT_FALSE(IsEasyAntiCheatInstalled(1234));
    legacy.SetString(L"", L"GamesInstalled", L"1;1234;-7;");
    EXPECT_TRUE(IsEasyAntiCheatInstalled(1234));
    EXPECT_TRUE(IsEasyAntiCheatInstalled(-7));
    EXPECT_FALSE(IsEasyAntiCheatInstalled(12));
    // The type isn't looked at: the data are read as UTF-16 text.
    legacy.SetString(L"", L"GamesInstalled", L"77", REG_EXPAND_SZ);
    EXPECT_TRUE(IsEasyAntiCheatInstalled(77));
    const std::wstring text = L"88;";
    legacy.SetBinary(
        L"", L"GamesInstalled",
        std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
    EXPECT_TRUE(IsEasyAntiCheatInstalled(88));
  }
  EXPECT_FALSE(IsEasyAntiCheatInstalled(1234)) << "no key";

  // The same key outside the 32-bit view is not where the legacy records.
  RegistryFixture native(L"SOFTWARE\\EasyAntiCheat");
  native.SetString(L"", L"GamesInstalled", L"1234");
  EXPECT_FALSE(IsEasyAntiCheatInstalled(1234));
}

TEST(DetectionRegistry, AListBeyond1024BytesCountsAsAbsent) {
  RegistryFixture legacy(kLegacyKey);
  // 511 characters and the terminating zero fill the 1024 bytes exactly.
  std::wstring list = L"5;" + std::wstring(509, L'9');
  legacy.SetString(L"", L"GamesInstalled", list);
  EXPECT_TRUE(IsEasyAntiCheatInstalled(5));
  legacy.SetString(L"", L"GamesInstalled", list + L"9");
  EXPECT_FALSE(IsEasyAntiCheatInstalled(5)) << "1026 bytes";
}

}  // namespace
