#pragma once
// File-system helpers that ask the disk by name: existence, final paths,
// attributes and deleting through a handle. What lies in a folder the
// launcher works in is reached through common/held_folder.h instead.

#include <windows.h>

#include <string>

#include "common/unique_resource.h"

// True for the errors that mean nothing is at a path: the file, its folder
// or its server missing, or a name no file can have.
bool IsNotFoundError(DWORD error);

// Sets `exists` for any kind of entry, following links. Returns 0 when the
// answer is known, or the Windows error code of a failed query that is not a
// plain "not found".
[[nodiscard]] DWORD TestPathExists(const std::wstring& path, bool& exists);

// Opens what `path` leads to, every link on the way followed, for `access`
// (0 to ask about it). Shared with everyone. Returns 0, or the open's error.
[[nodiscard]] DWORD OpenFollowingLinks(const std::wstring& path, DWORD access,
                                       UniqueFileHandle& opened);

// Which object a handle is open on: its volume and its file there.
struct FileIdentity {
  ULONGLONG volumeSerialNumber = 0;
  BYTE fileId[16] = {};
  bool operator==(const FileIdentity& other) const;
};

// Reads the identity of the object behind `handle`, whatever name it was
// opened by. Returns 0, or the query's error.
[[nodiscard]] DWORD ReadFileIdentity(HANDLE handle, FileIdentity& identity);

// Sets `same` when both handles are open on one object. Returns 0, or the
// error of a query: then nothing is known.
[[nodiscard]] DWORD AreSameObject(HANDLE left, HANDLE right, bool& same);

// Sets `pending` when the entry behind `handle` is marked for deletion,
// which happens once the last program holding it lets go. Returns 0, or the
// query's error.
[[nodiscard]] DWORD ReadDeletePending(HANDLE handle, bool& pending);

// The path of the object behind `handle` as the platform resolves it: links
// and junctions on the way followed, in plain form (C:\..., \\server\...).
// Returns 0, or the query's error (Wine gives up at about 260 characters).
[[nodiscard]] DWORD GetFinalPath(HANDLE handle, std::wstring& finalPath);

// The final path of `path`, following every link; the path's own error when
// it can't be opened.
[[nodiscard]] DWORD GetFinalPathOf(const std::wstring& path, std::wstring& finalPath);

// Adds and removes attribute bits of the object behind `handle`, which needs
// FILE_READ_ATTRIBUTES and FILE_WRITE_ATTRIBUTES. Returns 0, or the error.
[[nodiscard]] DWORD ChangeAttributes(HANDLE handle, DWORD add, DWORD remove);

// Deletes the entry behind `handle` (opened with DELETE) when the handle is
// closed, read-only or not; a folder must be empty. A read-only file with
// other names (hard links) keeps its attribute: where the platform can't
// delete it as it is, it stays. Returns 0, or the error (ERROR_DIR_NOT_EMPTY
// for a folder that still holds entries, ERROR_ACCESS_DENIED for such a file).
[[nodiscard]] DWORD DeleteThroughHandle(HANDLE handle);
