#pragma once
// Folders the launcher keeps open for the whole run. The launcher may run
// elevated while a folder it writes to belongs to the user: a name checked
// once could lead elsewhere by the time it is used, so the folder is held
// open (it can't be renamed or replaced on Windows) and every later use is
// checked against the final path it had when it was chosen.

#include <windows.h>

#include <string>

#include "common/unique_resource.h"

struct HeldFolder {
  std::wstring path;        // as chosen; names inside it are built on this
  std::wstring finalPath;   // the platform's name for it when it was opened
  UniqueFileHandle handle;  // no delete sharing
};

// Opens the folder `path` leads to and keeps it open without delete
// sharing. `extraAccess` adds rights, DELETE for a folder the run removes.
// Returns 0; the open's error; or ERROR_DIRECTORY when it is no folder.
[[nodiscard]] DWORD HoldFolder(const std::wstring& path, HeldFolder& folder, DWORD extraAccess = 0);

// True when the folder is still where it was chosen: its own final path is
// unchanged and its name still leads to it. False for a folder not held.
bool IsStillHeld(const HeldFolder& folder);

// The final path `name` in the folder must have, for checking what an open
// by name really reached.
std::wstring FinalPathInside(const HeldFolder& folder, const std::wstring& name);

// Creates a new folder in `parent`, named `stem`, "-" and a random number,
// whose protected DACL grants full control to SYSTEM and Administrators
// only, and holds it with DELETE access. Never reuses what stands there.
// Returns 0, or the error of the last attempt.
[[nodiscard]] DWORD CreateAdminOnlyFolder(const std::wstring& parent, const std::wstring& stem,
                                          HeldFolder& folder);
