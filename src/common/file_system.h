#pragma once
// File-system helpers that ask the disk: existence, final paths, and
// deleting through a handle that was checked to be the right object.

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

// Opens the entry at `path` itself, file or folder: a link or junction is
// opened, not followed. Shared with everyone, so it never gets in a running
// program's way. Returns 0, or the open's error.
[[nodiscard]] DWORD OpenEntry(const std::wstring& path, DWORD access, UniqueFileHandle& entry);

// Opens the entry at `path` itself, as OpenEntry does, and keeps it only
// when its final path is `finalPath`: not a link the platform resolves
// elsewhere, nor an entry reached through a folder swapped for a link.
// Returns 0, the open's error, or ERROR_REPARSE_TAG_MISMATCH.
[[nodiscard]] DWORD OpenEntryAt(const std::wstring& path, const std::wstring& finalPath,
                                DWORD access, UniqueFileHandle& entry);

// True when both handles are open on one object: the same volume and the
// same file there, whatever names they were opened by.
bool AreSameObject(HANDLE left, HANDLE right);

// The path of the object behind `handle` as the platform resolves it: links
// and junctions on the way followed, in plain form (C:\..., \\server\...),
// at any length. Returns 0, or the query's error.
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
