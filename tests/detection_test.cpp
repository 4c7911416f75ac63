#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "legacy/detection.h"
#include "test_support.h"

namespace {

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

// Whether the registration lists `gameId`; a failed read fails the test.
bool IsEasyAntiCheatInstalled(std::int32_t gameId) {
  bool installed = false;
  EXPECT_EQ(::IsEasyAntiCheatInstalled(gameId, installed), 0u);
  return installed;
}

TEST(DetectionRegistry, ReadsGamesInstalledFromTheLegacyKey) {
  {
    LegacyRegistration legacy;
    EXPECT_FALSE(IsEasyAntiCheatInstalled(1234)) << "no value";
    legacy.SetGames(L"");
    EXPECT_FALSE(IsEasyAntiCheatInstalled(1234));
    legacy.SetGames(L"1;1234;-7;");
    EXPECT_TRUE(IsEasyAntiCheatInstalled(1234));
    EXPECT_TRUE(IsEasyAntiCheatInstalled(-7));
    EXPECT_FALSE(IsEasyAntiCheatInstalled(12));
    // The type isn't looked at: the data are read as UTF-16 text.
    legacy.SetGames(L"77", REG_EXPAND_SZ);
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

  // A registration that can't be read is no answer, least of all "not installed".
  LegacyRegistration locked(L"1234");
  locked.DenyReading(L"");
  bool installed = true;
  EXPECT_EQ(::IsEasyAntiCheatInstalled(1234, installed), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(installed);
}

// A long list read in part would count as "not installed", and the cleanup
// would then delete the files of a legacy install still registered.
TEST(DetectionRegistry, AListOfAnyLengthIsReadWhole) {
  std::wstring list;
  while (list.size() < 1500) {
    list += std::to_wstring(100000 + list.size()) + L";";
  }
  const LegacyRegistration legacy(list + L"5");
  EXPECT_TRUE(IsEasyAntiCheatInstalled(5)) << "about 3,000 bytes, the id last";
  EXPECT_FALSE(IsEasyAntiCheatInstalled(6));
}

}  // namespace
