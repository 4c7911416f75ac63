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

TEST(PathTextExists, AnyEntryCountsAndOnlyNotFoundMeansAbsent) {
  const std::wstring folder = MakeScratchDirectory(L"path-exists");
  const std::wstring file = JoinPath(folder, L"file.txt");
  ASSERT_TRUE(WriteFileBytes(file, "x"));

  bool exists = false;
  EXPECT_EQ(TestPathExists(file, exists), 0u);
  EXPECT_TRUE(exists);
  EXPECT_EQ(TestPathExists(folder, exists), 0u);
  EXPECT_TRUE(exists) << "a folder counts";
  EXPECT_EQ(TestPathExists(JoinPath(folder, L"missing.txt"), exists), 0u);
  EXPECT_FALSE(exists);
  EXPECT_EQ(TestPathExists(JoinPath(folder, L"missing\\deeper.txt"), exists), 0u);
  EXPECT_FALSE(exists) << "a missing parent is not found either";
  EXPECT_EQ(TestPathExists(JoinPath(file, L"below.txt"), exists), 0u);
  EXPECT_FALSE(exists) << "nothing lies below a file";
}

}  // namespace
