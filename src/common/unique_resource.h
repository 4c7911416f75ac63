#pragma once
// One owning wrapper for every kind of Windows handle, so that each key,
// handle and view is released on every path by construction.

#include <windows.h>

#include <shlobj.h>

#include <utility>

template <typename T>
constexpr bool IsNonNull(T value) {
  return value != nullptr;
}

inline bool IsValidFileHandle(HANDLE value) {
  return value != nullptr && value != INVALID_HANDLE_VALUE;
}

template <typename T, auto Close, auto IsValid = &IsNonNull<T>>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) {
      reset(std::exchange(other.value_, T{}));
    }
    return *this;
  }
  ~UniqueResource() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return IsValid(value_); }

  // For out-parameters of the creating call: releases what was held first.
  T* put() {
    reset();
    return &value_;
  }

  // Hands ownership to the caller, as when a runtime stream takes the handle.
  T release() { return std::exchange(value_, T{}); }

  void reset(T value = T{}) {
    if (IsValid(value_)) {
      Close(value_);
    }
    value_ = value;
  }

 private:
  T value_{};
};

inline void UnmapView(void* view) { UnmapViewOfFile(view); }

using UniqueHkey = UniqueResource<HKEY, &RegCloseKey>;
using UniqueHandle = UniqueResource<HANDLE, &CloseHandle>;
using UniqueFileHandle = UniqueResource<HANDLE, &CloseHandle, &IsValidFileHandle>;
using UniqueFindHandle = UniqueResource<HANDLE, &FindClose, &IsValidFileHandle>;
using UniqueMappedView = UniqueResource<void*, &UnmapView>;
using UniqueLocalMemory = UniqueResource<HLOCAL, &LocalFree>;
using UniqueModule = UniqueResource<HMODULE, &FreeLibrary>;
using UniqueIdList = UniqueResource<PIDLIST_ABSOLUTE, &ILFree>;

// Both handles of a started child, closed together.
struct UniqueProcessInformation {
  UniqueHandle process;
  UniqueHandle thread;
};
