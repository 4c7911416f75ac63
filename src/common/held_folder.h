#pragma once
// Folders the launcher holds open, and the only way to what lies inside
// them. The launcher may run elevated in folders its user can shape, where a
// name looked up again could lead somewhere else by the time it is used. So
// a folder is opened once and held (on Windows it can't then be renamed or
// replaced), every entry in it is opened relative to that handle without
// following a link, and an opened entry is kept only when it is the object
// meant. That is decided on the opened handle itself: its reparse tag, its
// file id against the listing it came from, and where the platform says the
// object is, which on Wine alone tells a followed link from the entry.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_resource.h"

// A folder stands where a file is asked for (ERROR_DIRECTORY_NOT_SUPPORTED,
// which older headers lack).
constexpr DWORD kFolderWhereFileMeant = 336;

// Returned when a name leads to anything but the object meant: a link
// followed, an entry replaced since it was listed, a link where none may be.
// An application-defined code (bit 29), so that no platform error reads as it.
constexpr DWORD kNotTheObjectMeant = 0x20000000 | 1;

// An object's NT name, which says where it is: its volume (a device, or a
// drive under Wine) and its path there (\Device\HarddiskVolume3\Games\Foo,
// \??\C:\Games\Foo).
struct NtObjectName {
  std::wstring text;
};

struct HeldFolder {
  std::wstring path;        // as named; log lines and command lines show names built on it
  UniqueFileHandle handle;  // held without delete sharing
  NtObjectName objectName;  // where it was when it was opened
};

// One entry of a folder's listing.
struct FolderEntry {
  std::wstring name;
  DWORD attributes = 0;
  DWORD reparseTag = 0;  // for an entry with FILE_ATTRIBUTE_REPARSE_POINT
  ULONGLONG fileId = 0;  // 0 where the file system gives none
};

// How a child of a held folder is opened.
enum class Disposition : std::uint8_t { OpenExisting, CreateNew, OpenOrCreate };
enum class ChildKind : std::uint8_t { Any, File, Directory };

struct ChildOpen {
  DWORD access = 0;  // FILE_READ_ATTRIBUTES and SYNCHRONIZE are always added
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  Disposition disposition = Disposition::OpenExisting;
  ChildKind kind = ChildKind::Any;
  ULONGLONG listedId = 0;      // when not 0, the object must be the entry listed with it
  bool link = false;           // the link itself is meant; any other object is refused
  bool deleteOnClose = false;  // with DELETE: the entry goes, when empty, with its last handle
  PSECURITY_DESCRIPTOR security = nullptr;  // for a new one
};

// True for an entry that leads elsewhere: a symbolic link, a junction, a
// mount point. Other reparse points (compressed or cloud files) are files.
bool IsLink(DWORD attributes, DWORD reparseTag);

// `folder` with `name` appended: where a child of it must be.
NtObjectName ChildObjectName(const NtObjectName& folder, const std::wstring& name);

// When `object` lies below `folder`, on its volume, sets `relative` to its
// names after the folder's ("\"-separated) and returns true.
bool ObjectNameInside(const NtObjectName& folder, const NtObjectName& object,
                      std::wstring& relative);

// Reads the NT name of the object behind `handle`. Returns 0, the query's
// error, or ERROR_CANT_RESOLVE_FILENAME when the platform gives no name (Wine,
// for an object whose Linux path is longer than 4,095 bytes, or in a folder
// renamed since it was opened).
[[nodiscard]] DWORD ReadNtObjectName(HANDLE handle, NtObjectName& objectName);

// Reads the file id of the object behind `handle`, as listings give it.
// Returns 0, or the query's error.
[[nodiscard]] DWORD ReadFileId(HANDLE handle, ULONGLONG& fileId);

// Opens the folder `path` leads to, every link on the way followed, and
// holds it. Returns 0; the open's error; or ERROR_DIRECTORY for a file.
[[nodiscard]] DWORD HoldFolderFollowingLinks(const std::wstring& path, HeldFolder& folder);

// Opens the folder at the absolute `path` from its volume's root, one name
// at a time, each relative to the last and none through a link, and holds
// it. Returns 0; kNotTheObjectMeant when a name on the way is a link or
// junction; ERROR_PATH_NOT_FOUND when one is missing; or the open's error.
[[nodiscard]] DWORD HoldFolderWithoutLinks(const std::wstring& path, HeldFolder& folder);

// Opens the child `name` of `parent` as `how` says, never through a link,
// and keeps it in `child` only when it is the object meant. Returns 0; the
// open's error (ERROR_FILE_EXISTS when a new one is asked for and the name
// is taken; ERROR_INVALID_NAME for a name that is no single name;
// kFolderWhereFileMeant for a folder where a file is asked for;
// ERROR_DELETE_PENDING); the error of a query on the opened object; or
// kNotTheObjectMeant. A new object that is not kept is deleted again.
[[nodiscard]] DWORD OpenChild(const HeldFolder& parent, const std::wstring& name,
                              const ChildOpen& how, UniqueFileHandle& child);

// Opens the child folder `name` of `parent` as OpenChild does and holds it.
[[nodiscard]] DWORD HoldChildFolder(const HeldFolder& parent, const std::wstring& name,
                                    ChildOpen how, HeldFolder& child);

// Opens what the child `name` of `parent` leads to, following a link there,
// for judging a link by its target. Returns 0, or the open's error.
[[nodiscard]] DWORD OpenChildTarget(const HeldFolder& parent, const std::wstring& name,
                                    UniqueFileHandle& target);

// Whether the entry `name` of `parent`, the object `deletedId`, is gone
// after its deletion was taken: nothing at the name, another entry there,
// or the same object under another name. Returns 0 when it is gone;
// ERROR_DELETE_PENDING when it goes once others let go of it;
// ERROR_FILE_EXISTS when it is still there and won't go (under Wine, the
// name it was deleted by leads elsewhere now); or the error that kept it
// from being known.
[[nodiscard]] DWORD ConfirmChildGone(const HeldFolder& parent, const std::wstring& name,
                                     ULONGLONG deletedId);

// The entries of `folder`, "." and ".." left out, in the platform's order.
// Returns 0, or the listing's error.
[[nodiscard]] DWORD ListFolder(const HeldFolder& folder, std::vector<FolderEntry>& entries);
