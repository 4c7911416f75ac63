#include <gtest/gtest.h>

#include <algorithm>

#include "common/path_text.h"
#include "test_support.h"

namespace {

TEST(PathTextJoin, OneBackslashUnlessTheFolderEndsInASeparatorOrIsEmpty) {
  EXPECT_EQ(JoinPath(L"C:\\Games", L"x.exe"), L"C:\\Games\\x.exe");
  EXPECT_EQ(JoinPath(L"C:\\Games\\", L"x.exe"), L"C:\\Games\\x.exe");
  EXPECT_EQ(JoinPath(L"C:/Games/", L"x.exe"), L"C:/Games/x.exe");
  EXPECT_EQ(JoinPath(L"", L"x.exe"), L"x.exe");
}

TEST(PathTextParts, ParentAndFileNameTakeBothSeparators) {
  EXPECT_EQ(ParentPath(L"D:\\Games\\\\Title"), L"D:\\Games");
  EXPECT_EQ(ParentPath(L"\\\\server\\share\\x"), L"\\\\server\\share");
  EXPECT_EQ(FileStem(L"C:\\Games\\my.tool.exe"), L"my.tool");
  EXPECT_EQ(FileStem(L"C:\\Games\\.profile"), L".profile");
}

TEST(PathTextCompare, InsideAFolderIsJudgedWithoutLetterCase) {
  std::wstring relative;
  EXPECT_TRUE(
      RelativePathInside(L"C:\\Games\\Foo", L"c:\\games\\foo\\EasyAntiCheat\\x.dll", relative));
  EXPECT_EQ(relative, L"EasyAntiCheat\\x.dll") << "the names after the folder, as given";
  EXPECT_TRUE(RelativePathInside(L"X:\\", L"X:\\bin", relative));
  EXPECT_EQ(relative, L"bin");
  for (const wchar_t* outside : {L"C:\\Games\\Foo", L"C:\\Games\\Foobar\\x", L"C:\\Games\\x",
                                 L"D:\\Games\\Foo\\x", L"C:\\Games\\Foo\\"}) {
    EXPECT_FALSE(RelativePathInside(L"C:\\Games\\Foo", outside, relative)) << Narrow(outside);
  }
  // As file systems compare names, whatever the user's language.
  EXPECT_TRUE(EqualPathsIgnoringCase(L"C:\\Program Files\\\u00e9t\u00e9",
                                     L"c:\\PROGRAM FILES\\\u00c9T\u00c9"));
  EXPECT_FALSE(EqualPathsIgnoringCase(L"C:\\Games", L"C:\\Games\\"));
  // Wine reports names without the dots and blanks a Linux name may end in.
  EXPECT_TRUE(IsObjectNamed(L"\\??\\C:\\Games\\a\\b.dat", L"\\??\\c:\\games\\a. \\B.dat."));
  for (const wchar_t* other : {L"\\??\\C:\\Games\\ab.dat", L"\\??\\C:\\Games\\a\\b.da",
                               L"\\??\\C:\\Games\\a\\b.dat\\c", L"\\??\\C:\\Games\\a"}) {
    EXPECT_FALSE(IsObjectNamed(other, L"\\??\\C:\\Games\\a\\b.dat")) << Narrow(other);
  }
}

// Windows takes 260 characters or more only in the \\?\ form, which is read
// literally: slashes and dots must be gone first.
TEST(PathTextLong, LongPathsTakeTheExtendedFormAndComeBackPlain) {
  const std::wstring deep = std::wstring(L"C:\\Games") + std::wstring(26, L'x').insert(0, L"\\") +
                            std::wstring(240, L'y').insert(0, L"\\");
  ASSERT_GE(deep.size(), 260u);
  EXPECT_EQ(ExtendedLengthPath(deep), L"\\\\?\\" + deep);
  std::wstring slashed = deep;
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  EXPECT_EQ(ExtendedLengthPath(slashed + L"/./z/../*"), L"\\\\?\\" + deep + L"\\*");
  const std::wstring unc = L"\\\\server\\share" + deep.substr(2);
  EXPECT_EQ(ExtendedLengthPath(unc), L"\\\\?\\UNC\\server\\share" + deep.substr(2));
  EXPECT_EQ(WithoutExtendedPrefix(ExtendedLengthPath(unc)), unc);
  EXPECT_EQ(WithoutExtendedPrefix(ExtendedLengthPath(deep)), deep);

  for (const std::wstring& unchanged :
       {std::wstring(L"C:\\Games\\Foo"), L"\\\\?\\" + deep, L"relative" + deep.substr(2),
        std::wstring(L"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-000000000000}\\x")}) {
    EXPECT_EQ(ExtendedLengthPath(unchanged), unchanged);
  }
  EXPECT_EQ(WithoutExtendedPrefix(L"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-000000000000}\\x"),
            L"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-000000000000}\\x");
}

}  // namespace
