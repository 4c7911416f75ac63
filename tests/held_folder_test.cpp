#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/held_folder.h"
#include "common/path_text.h"
#include "test_support.h"

namespace {

constexpr ChildKind kAny = ChildKind::Any;
constexpr ChildKind kFile = ChildKind::File;
constexpr ChildKind kFolder = ChildKind::Directory;
constexpr Disposition kOpen = Disposition::OpenExisting;
constexpr Disposition kNew = Disposition::CreateNew;

// Each rule of what a held folder lets through, made with real means in a
// folder of its own (holding sub\file.txt, file.txt and other.txt): what is
// opened, how, and what comes of it.
TEST(HeldFolderChild, OnlyTheObjectMeantIsOpened) {
  const struct {
    const char* rule;
    const wchar_t* name;
    ChildKind kind;
    Disposition disposition;
    const wchar_t* listedAs;  // the entry whose listed id is required
    const wchar_t* linkTo;    // `name` is made a link to it first
    bool link;                // the link itself is meant
    DWORD expected;
  } cases[] = {
      {"a name holding a separator is no name", L"sub\\file.txt", kFile, kOpen, nullptr, nullptr,
       false, ERROR_INVALID_NAME},
      {"nor one holding a slash", L"sub/file.txt", kFile, kOpen, nullptr, nullptr, false,
       ERROR_INVALID_NAME},
      {"nor a stream", L"sub:stream", kAny, kOpen, nullptr, nullptr, false, ERROR_INVALID_NAME},
      {"nor the parent", L"..", kFolder, kOpen, nullptr, nullptr, false, ERROR_INVALID_NAME},
      {"the entry listed", L"file.txt", kFile, kOpen, L"file.txt", nullptr, false, ERROR_SUCCESS},
      {"another entry under its name", L"file.txt", kFile, kOpen, L"other.txt", nullptr, false,
       kNotTheObjectMeant},
      {"a folder where a file is meant", L"sub", kFile, kOpen, nullptr, nullptr, false,
       kFolderWhereFileMeant},
      // Wine lists a link to a file as that file, id and all.
      {"a link to a file", L"link.txt", kFile, kOpen, L"file.txt", L"file.txt", false,
       kNotTheObjectMeant},
      {"a link to a folder", L"link", kFolder, kOpen, nullptr, L"sub", false, kNotTheObjectMeant},
      {"a new file where one stands", L"file.txt", kFile, kNew, nullptr, nullptr, false,
       ERROR_FILE_EXISTS},
      {"a new object not the one asked for goes again", L"new.txt", kFile, kNew, nullptr, nullptr,
       true, kNotTheObjectMeant},
      // Windows opens the link itself, Wine finds the name taken.
      {"nothing is made where a link leads", L"dangling.txt", kFile, Disposition::OpenOrCreate,
       nullptr, L"new.txt", false,
       IsUnderWine() ? static_cast<DWORD>(ERROR_FILE_EXISTS) : kNotTheObjectMeant},
  };
  int withoutLinks = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    const std::wstring path = MakeScratchDirectory(L"held-child-" + std::to_wstring(&c - cases));
    ASSERT_TRUE(CreateDirectoryW(JoinPath(path, L"sub").c_str(), nullptr));
    for (const wchar_t* file : {L"sub\\file.txt", L"file.txt", L"other.txt"}) {
      ASSERT_TRUE(WriteFileBytes(JoinPath(path, file), Narrow(file)));
    }
    HeldFolder held;
    ASSERT_EQ(HoldFolderFollowingLinks(path, held), 0u);
    ChildOpen how;
    how.access = DELETE;
    how.kind = c.kind;
    how.disposition = c.disposition;
    how.link = c.link;
    std::vector<FolderEntry> entries;
    ASSERT_EQ(ListFolder(held, entries), 0u);
    for (const FolderEntry& entry : entries) {
      how.listedId =
          c.listedAs != nullptr && entry.name == c.listedAs ? entry.fileId : how.listedId;
    }
    if (c.linkTo != nullptr &&
        !MakeSymbolicLink(JoinPath(path, c.linkTo), JoinPath(path, c.name), c.kind == kFolder)) {
      ++withoutLinks;
      continue;
    }
    UniqueFileHandle child;
    EXPECT_EQ(OpenChild(held, c.name, how, child), c.expected);
    EXPECT_EQ(static_cast<bool>(child), c.expected == ERROR_SUCCESS);
    EXPECT_FALSE(FileExists(JoinPath(path, L"new.txt"))) << "a new object that was not kept";
  }
  if (withoutLinks != 0) {
    GTEST_SKIP() << withoutLinks << " rows need a symbolic link, which this system makes not here";
  }
}

// Held folders and what is opened in them keep others from renaming,
// replacing or deleting them meanwhile.
TEST(HeldFolderSharing, NoOneElseMovesOrDeletesWhatIsHeld) {
  const std::wstring path = MakeScratchDirectory(L"held-sharing");
  ASSERT_TRUE(CreateDirectoryW(JoinPath(path, L"sub").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(JoinPath(path, L"file.txt"), "file"));
  HeldFolder held;
  HeldFolder sub;
  UniqueFileHandle file;
  ASSERT_EQ(HoldFolderFollowingLinks(path, held), 0u);
  ASSERT_EQ(HoldChildFolder(held, L"sub", ChildOpen{}, sub), 0u);
  ChildOpen reading;
  reading.access = GENERIC_READ;
  reading.share = FILE_SHARE_READ;
  ASSERT_EQ(OpenChild(held, L"file.txt", reading, file), 0u);
  for (const wchar_t* name : {L"sub", L"file.txt"}) {
    const std::wstring entry = JoinPath(path, name);
    EXPECT_FALSE(MoveFileW(entry.c_str(), (entry + L"-moved").c_str())) << Narrow(name);
  }
  EXPECT_FALSE(MoveFileW(path.c_str(), (path + L"-moved").c_str()));
  EXPECT_EQ(OpenErrorSharingAll(JoinPath(path, L"file.txt"), GENERIC_WRITE),
            static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

}  // namespace
