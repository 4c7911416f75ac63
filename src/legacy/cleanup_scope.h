#pragma once
// Where the legacy cleanup may delete at all: never in a folder that holds
// far more than one game (a drive's root, the Windows folder, Program Files,
// a profile and its shared folders), whoever registered a game there.

#include <windows.h>

#include <string>
#include <vector>

// The system's folders that hold far more than a game, each as the system
// names it and as it resolves.
struct SharedFolders {
  // Refused themselves, the folders in them fine: Program Files, ProgramData,
  // a profile's Documents, AppData...
  std::vector<std::wstring> exact;
  // Refused with everything in them: the Windows folder.
  std::vector<std::wstring> whole;
  // The folder of all profiles (Users): it and every folder directly in it.
  std::vector<std::wstring> profiles;
  // Paths inside a profile (AppData\Roaming, Documents), refused in every
  // profile in `profiles`, not only the running account's.
  std::vector<std::wstring> inEveryProfile;
};

// Reads this system's shared folders into `shared`. The profiles folder is
// the system's, never the parent of the running account's profile:
// LocalSystem's lies in the Windows folder. Returns 0, or the error of a
// folder that can't be read or resolved: then `shared` is incomplete and
// decides nothing.
[[nodiscard]] DWORD ReadSharedFolders(SharedFolders& shared);

// True when `folder` holds far more than a game, so no game may be cleaned
// up there: a volume root or one of `shared`, or a folder holding one. A
// game folder inside a shared one (Documents\My Games\Title) is fine,
// except in the Windows folder.
bool IsTooBroadForCleanup(const std::wstring& folder, const SharedFolders& shared);

// Whether the game folder `installDir`, held in `game` from its volume's
// root with no link on the way, is too broad to clean up, as registered or
// by its final path, which undoes short names (C:\PROGRA~1). Sets
// `tooBroad`; returns 0, or the error of reading the system's shared
// folders or the final path: then `tooBroad` is set too, since a half that
// can't be read can't clear the folder.
[[nodiscard]] DWORD CheckCleanupScope(const std::wstring& installDir, HANDLE game, bool& tooBroad);
