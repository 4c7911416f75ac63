#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "common/held_folder.h"
#include "common/path_text.h"
#include "test_support.h"

namespace {

// The file id a listing of `folder` gives `name`; 0 when it lists none.
ULONGLONG ListedId(const HeldFolder& folder, const std::wstring& name) {
  std::vector<FolderEntry> entries;
  EXPECT_EQ(ListFolder(folder, entries), 0u);
  for (const FolderEntry& entry : entries) {
    if (entry.name == name) {
      return entry.fileId;
    }
  }
  return 0;
}

ChildOpen Open(ChildKind kind, Disposition disposition = Disposition::OpenExisting) {
  ChildOpen how;
  how.access = DELETE;
  how.kind = kind;
  how.disposition = disposition;
  return how;
}

// Each rule of what a held folder lets through, made with real means in a
// folder of its own: what is opened, how, and what comes of it.
TEST(HeldFolderChild, OnlyTheObjectMeantIsOpened) {
  const struct Case {
    const char* rule;
    const wchar_t* name;
    ChildOpen how;
    DWORD expected;
    // Shapes the folder (held as `held` at `path`) before the open; false
    // skips the case where the platform can't make it.
    std::function<bool(const std::wstring& path, const HeldFolder& held, ChildOpen& how)> make;
  } cases[] = {
      {"a name holding a separator is no name", L"sub\\file.txt", Open(ChildKind::File),
       ERROR_INVALID_NAME, nullptr},
      {"nor one holding a slash", L"sub/file.txt", Open(ChildKind::File), ERROR_INVALID_NAME,
       nullptr},
      {"nor a stream", L"sub:stream", Open(ChildKind::Any), ERROR_INVALID_NAME, nullptr},
      {"nor the parent", L"..", Open(ChildKind::Directory), ERROR_INVALID_NAME, nullptr},
      {"the entry listed", L"file.txt", Open(ChildKind::File), ERROR_SUCCESS,
       [](const std::wstring&, const HeldFolder& held, ChildOpen& how) {
         how.listedId = ListedId(held, L"file.txt");
         return how.listedId != 0;
       }},
      {"another entry under the listed one's name", L"file.txt", Open(ChildKind::File),
       kNotTheObjectMeant,
       [](const std::wstring&, const HeldFolder& held, ChildOpen& how) {
         how.listedId = ListedId(held, L"other.txt");
         return how.listedId != 0;
       }},
      {"a folder where a file is meant", L"sub", Open(ChildKind::File), kFolderWhereFileMeant,
       nullptr},
      {"a link to a file", L"link.txt", Open(ChildKind::File), kNotTheObjectMeant,
       [](const std::wstring& path, const HeldFolder& held, ChildOpen& how) {
         how.listedId = ListedId(held, L"file.txt");  // Wine lists a link as its target
         return MakeSymbolicLink(JoinPath(path, L"file.txt"), JoinPath(path, L"link.txt"), false);
       }},
      {"a link to a folder", L"link", Open(ChildKind::Directory), kNotTheObjectMeant,
       [](const std::wstring& path, const HeldFolder&, ChildOpen&) {
         return MakeSymbolicLink(JoinPath(path, L"sub"), JoinPath(path, L"link"), true);
       }},
      {"a new file where one stands", L"file.txt", Open(ChildKind::File, Disposition::CreateNew),
       ERROR_FILE_EXISTS, nullptr},
      {"a new object that is not the one asked for goes again", L"new.txt",
       Open(ChildKind::File, Disposition::CreateNew), kNotTheObjectMeant,
       [](const std::wstring&, const HeldFolder&, ChildOpen& how) {
         how.link = true;
         return true;
       }},
      // Windows opens the link itself, Wine finds a name taken.
      {"nothing is made where a link leads", L"dangling.txt",
       Open(ChildKind::File, Disposition::OpenOrCreate),
       IsUnderWine() ? static_cast<DWORD>(ERROR_FILE_EXISTS) : kNotTheObjectMeant,
       [](const std::wstring& path, const HeldFolder&, ChildOpen&) {
         return MakeSymbolicLink(JoinPath(path, L"new.txt"), JoinPath(path, L"dangling.txt"),
                                 false);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    const std::wstring path = MakeScratchDirectory(L"held-child-" + std::to_wstring(&c - cases));
    ASSERT_TRUE(CreateDirectoryW(JoinPath(path, L"sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(JoinPath(path, L"sub\\file.txt"), "sub"));
    ASSERT_TRUE(WriteFileBytes(JoinPath(path, L"file.txt"), "file"));
    ASSERT_TRUE(WriteFileBytes(JoinPath(path, L"other.txt"), "other"));
    HeldFolder held;
    ASSERT_EQ(HoldFolderFollowingLinks(path, held), 0u);
    ChildOpen how = c.how;
    if (c.make && !c.make(path, held, how)) {
      GTEST_SKIP() << "this system can't make the case";
    }
    UniqueFileHandle child;
    EXPECT_EQ(OpenChild(held, c.name, how, child), c.expected);
    EXPECT_EQ(static_cast<bool>(child), c.expected == ERROR_SUCCESS);
    EXPECT_FALSE(FileExists(JoinPath(path, L"new.txt"))) << "a new object that was not kept";
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
  ChildOpen reading = Open(ChildKind::File);
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
