#include "common/process_facts.h"

#include <windows.h>

#include <cwchar>

#include "common/path_text.h"
#include "common/unique_resource.h"

namespace {

constexpr DWORD kModulePathChars = 520;
constexpr DWORD kWorkingDirectoryChars = 520;

}  // namespace

DWORD ReadModulePath(std::wstring& path) {
  path.assign(kModulePathChars, L'\0');
  // A longer path is cut by the platform to what fits, terminator included.
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), kModulePathChars);
  DWORD error = ERROR_SUCCESS;
  if (length == 0) {
    error = GetLastError();
  } else if (length >= kModulePathChars) {
    error = ERROR_INSUFFICIENT_BUFFER;
  }
  path.resize(wcsnlen(path.c_str(), kModulePathChars));
  return error;
}

std::wstring GetModulePath() {
  std::wstring path;
  (void)ReadModulePath(path);
  return path;
}

std::wstring GetModuleDirectory() { return ParentPath(GetModulePath()); }

std::wstring GetModuleStem() { return FileStem(GetModulePath()); }

std::wstring GetWorkingDirectory() {
  std::wstring directory(kWorkingDirectoryChars, L'\0');
  const DWORD length = GetCurrentDirectoryW(kWorkingDirectoryChars, directory.data());
  // A directory that doesn't fit reports the size it needs: it reads as empty.
  directory.resize(length < kWorkingDirectoryChars ? length : 0);
  return directory;
}

bool IsInteractiveWindowStation() {
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr) {
    return true;
  }
  USEROBJECTFLAGS flags{};
  if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), nullptr)) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool IsElevatedOrSystem() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    return true;
  }
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) ||
      elevation.TokenIsElevated != 0) {
    return true;
  }
  // LocalSystem's token doesn't always say it is elevated.
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  return !GetTokenInformation(token.get(), TokenUser, user, sizeof(user), &size) ||
         IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, WinLocalSystemSid);
}
