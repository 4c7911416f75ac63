#include <gtest/gtest.h>

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
  EXPECT_EQ(ParentPath(L"D:/Games/Title/__Installer"), L"D:/Games/Title");
  EXPECT_EQ(ParentPath(L"D:\\Games\\\\Title"), L"D:\\Games");
  EXPECT_EQ(ParentPath(L"\\\\server\\share\\x"), L"\\\\server\\share");
  EXPECT_EQ(FileName(L"D:\\Games/Title"), L"Title");
  EXPECT_EQ(FileStem(L"D:\\a.b\\.."), L"..");
}

}  // namespace
