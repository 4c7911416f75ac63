#include <gtest/gtest.h>

#include <string>

#include "common/file_system.h"
#include "common/path_text.h"
#include "test_support.h"

namespace {

TEST(FileSystemExists, AnyEntryCountsAndOnlyNotFoundMeansAbsent) {
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
