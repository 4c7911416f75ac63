#pragma once
// Deleting what lies in a held folder: the very entry meant and only it,
// made sure of afterwards, and tried again while someone holds it for a
// moment. An entry that is gone, or going, when its turn comes is done.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/held_folder.h"

// The time one run's deletions may spend waiting, in all, for entries that
// someone holds for a moment (a scanner, an indexer, another run) or for
// folders whose entries are still going: a tree that never empties must not
// take long for each of its folders.
struct RetryBudget {
  DWORD leftMs = 1000;
  // Waits between tries; Sleep when not set. Tests step in here.
  void (*wait)(DWORD milliseconds) = nullptr;
};

// After try `attempt` (from 0) failed with `error`: waits before the next,
// only for an entry that may come free in a moment (someone holds it
// without sharing, a folder still holds entries), a few times, and only
// while `budget` lasts. Returns whether there is to be another try.
bool WaitToRetry(DWORD error, size_t attempt, RetryBudget& budget);

// True for the answers of an open that mean the entry is gone or going:
// nothing at the name, or its deletion pending.
bool IsGoneError(DWORD error);

// What became of an entry that was to be deleted.
enum class Deletion : std::uint8_t {
  AlreadyGone,  // gone, or going, before it was reached: someone else's doing
  Deleted,
  Pending,  // taken, and gone once whoever else holds the entry lets go
};

// Deletes the child `name` of `parent`, opened as `how` says (DELETE is
// added), and makes sure it is gone; busy entries are tried again within
// `budget`. Returns 0 with `outcome` set; or the error: kNotTheObjectMeant
// when something else stands at the name, which is left; the deletion's;
// ERROR_FILE_EXISTS when the entry stays although its deletion was taken;
// or the error of a query.
[[nodiscard]] DWORD DeleteChild(const HeldFolder& parent, const std::wstring& name, ChildOpen how,
                                RetryBudget& budget, Deletion& outcome);
