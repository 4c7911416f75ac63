#include "common/deletion.h"

#include <iterator>

#include "common/file_system.h"

namespace {

bool IsBusyError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_DIR_NOT_EMPTY;
}

}  // namespace

bool WaitToRetry(DWORD error, size_t attempt, RetryBudget& budget) {
  constexpr DWORD kWaitsMs[] = {20, 40, 80, 160};
  if (!IsBusyError(error) || attempt >= std::size(kWaitsMs) || budget.leftMs < kWaitsMs[attempt]) {
    return false;
  }
  budget.leftMs -= kWaitsMs[attempt];
  (budget.wait != nullptr ? budget.wait : &Sleep)(kWaitsMs[attempt]);
  return true;
}

bool IsGoneError(DWORD error) { return IsNotFoundError(error) || error == ERROR_DELETE_PENDING; }

DWORD DeleteChild(const HeldFolder& parent, const std::wstring& name, ChildOpen how,
                  RetryBudget& budget, Deletion& outcome) {
  outcome = Deletion::AlreadyGone;
  how.access |= DELETE;
  for (size_t attempt = 0;;) {
    UniqueFileHandle entry;
    DWORD error = OpenChild(parent, name, how, entry);
    if (IsGoneError(error)) {
      return ERROR_SUCCESS;
    }
    ULONGLONG deletedId = how.listedId;
    if (error == ERROR_SUCCESS && deletedId == 0) {
      error = ReadFileId(entry.get(), deletedId);
    }
    if (error == ERROR_SUCCESS) {
      error = DeleteThroughHandle(entry.get());
    }
    // Where a read-only entry can't go as it is, its attribute must be
    // cleared first, which takes a right asked for only then.
    if (error == ERROR_ACCESS_DENIED && (how.access & FILE_WRITE_ATTRIBUTES) == 0) {
      how.access |= FILE_WRITE_ATTRIBUTES;
      continue;
    }
    entry.reset();
    // The platform may take a deletion it does not carry out (Wine deletes
    // by path when the last handle closes): only what is gone counts.
    if (error == ERROR_SUCCESS) {
      error = ConfirmChildGone(parent, name, deletedId);
      if (error == ERROR_SUCCESS || error == ERROR_DELETE_PENDING) {
        outcome = error == ERROR_SUCCESS ? Deletion::Deleted : Deletion::Pending;
        return ERROR_SUCCESS;
      }
    }
    if (!WaitToRetry(error, attempt++, budget)) {
      return error;
    }
  }
}
