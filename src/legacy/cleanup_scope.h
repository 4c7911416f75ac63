#pragma once
// Where the legacy cleanup may delete at all: never in a folder that holds
// far more than one game (a drive's root, the Windows folder, Program Files,
// a profile and its shared folders), whoever registered a game there.

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

// This system's shared folders. The profiles folder is the system's, never
// the parent of the running account's profile: LocalSystem's lies in the
// Windows folder.
SharedFolders ReadSharedFolders();

// True when `folder` holds far more than a game, so no game may be cleaned
// up there: a volume root or one of `shared`, or a folder holding one. A
// game folder inside a shared one (Documents\My Games\Title) is fine,
// except in the Windows folder.
bool IsTooBroadForCleanup(const std::wstring& folder, const SharedFolders& shared);
