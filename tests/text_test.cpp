#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"

namespace {

using Fields = std::vector<std::wstring>;

TEST(TextSplit, KeepsEveryFieldEmptyOnesIncluded) {
  EXPECT_EQ(SplitString(L"", L";"), (Fields{L""}));
  EXPECT_EQ(SplitString(L"1234", L";"), (Fields{L"1234"}));
  EXPECT_EQ(SplitString(L"1;2", L";"), (Fields{L"1", L"2"}));
  EXPECT_EQ(SplitString(L"1;;2", L";"), (Fields{L"1", L"", L"2"}));
  EXPECT_EQ(SplitString(L"1;2;", L";"), (Fields{L"1", L"2", L""}));
  EXPECT_EQ(SplitString(L";", L";"), (Fields{L"", L""}));
  EXPECT_EQ(SplitString(L"a::b:c", L"::"), (Fields{L"a", L"b:c"}));
}

TEST(TextDecimalId, ReadsTheLeadingNumberOrNothing) {
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

}  // namespace
