#pragma once
// The elevated run's own folder for the legacy setup program. A program run
// from a folder the player can write to would load a DLL planted beside it
// with the setup's rights, so an elevated run makes a new folder that only
// SYSTEM and Administrators can write, and removes it at the end.

#include <windows.h>

#include <string>

#include "common/deletion.h"
#include "common/held_folder.h"
#include "common/unique_resource.h"

// The setup program's file name, in the log folder or the run's own folder.
extern const wchar_t* const kLegacySetupFileName;

// Builds the folder's security descriptor: a protected DACL (nothing
// inherited from the parent) giving full control to SYSTEM and
// Administrators only, inherited by what is made inside. Returns 0 or the
// error.
[[nodiscard]] DWORD BuildAdminOnlyDescriptor(UniqueLocalMemory& descriptor);

// A name for a new folder: the stem, "-" and a random number.
using FolderNameSource = std::wstring (*)(const std::wstring& stem);
std::wstring RandomFolderName(const std::wstring& stem);

// Makes a new folder in `parentPath` under a name `nameSource` gives, with
// the admin-only descriptor, and holds it (with DELETE access); once empty,
// it goes when the last handle of it closes. Never takes what already
// stands at a name: tries another name instead. Returns 0, or
// the error of the last attempt (ERROR_FILE_EXISTS when every name was taken).
[[nodiscard]] DWORD CreateAdminOnlyFolder(const std::wstring& parentPath, const std::wstring& stem,
                                          HeldFolder& folder,
                                          FolderNameSource nameSource = &RandomFolderName);

// Deletes the setup program in the held `folder` when a file is there,
// tried again within `budget` while it is busy; anything else stays.
// Returns 0 when none is there any more, or goes once others let go of it;
// kFolderWhereFileMeant or kNotTheObjectMeant for a folder or a link there;
// or the error of the deletion.
[[nodiscard]] DWORD DeleteSetupProgram(const HeldFolder& folder, RetryBudget& budget);

// Owns the folder and the setup program in it: both go when the owner goes,
// on every way out of the run, an exception's included, tried again within
// the run's `budget` while they are busy.
class UniqueSetupFolder {
 public:
  explicit UniqueSetupFolder(RetryBudget& budget) : budget_(budget) {}
  UniqueSetupFolder(const UniqueSetupFolder&) = delete;
  UniqueSetupFolder& operator=(const UniqueSetupFolder&) = delete;
  UniqueSetupFolder(UniqueSetupFolder&&) = delete;
  UniqueSetupFolder& operator=(UniqueSetupFolder&&) = delete;
  ~UniqueSetupFolder() { reset(); }

  HeldFolder& folder() { return folder_; }
  const HeldFolder& folder() const { return folder_; }

  // Deletes the setup program there and the folder now, logging what
  // stays; what the setup program left behind keeps the folder, which harms
  // no one.
  void reset();

 private:
  RetryBudget& budget_;
  HeldFolder folder_;
};

// Makes this run's folder in the Windows folder's Temp, or else in
// ProgramData, and gives it to `owner`. Returns 0, or the error of the
// last place tried.
[[nodiscard]] DWORD CreateSecureSetupFolder(UniqueSetupFolder& owner);
