#include "common/file_system.h"

#include <vector>

#include "common/path_text.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

bool IsNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_BAD_NETPATH || error == ERROR_INVALID_NAME;
}

DWORD TestPathExists(const std::wstring& path, bool& exists) {
  exists = false;
  const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return IsNotFoundError(error) ? ERROR_SUCCESS : error;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    exists = true;
    return ERROR_SUCCESS;
  }
  // A link exists only when its target does: open through it.
  UniqueFileHandle opened;
  if (const DWORD error = OpenFollowingLinks(path, 0, opened); error != ERROR_SUCCESS) {
    return IsNotFoundError(error) ? ERROR_SUCCESS : error;
  }
  exists = true;
  return ERROR_SUCCESS;
}

DWORD OpenFollowingLinks(const std::wstring& path, DWORD access, UniqueFileHandle& opened) {
  opened.reset(CreateFileW(ExtendedLengthPath(path).c_str(), access, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return opened ? ERROR_SUCCESS : GetLastError();
}

DWORD OpenEntry(const std::wstring& path, DWORD access, UniqueFileHandle& entry) {
  entry.reset(CreateFileW(ExtendedLengthPath(path).c_str(), access, kShareAll, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                          nullptr));
  return entry ? ERROR_SUCCESS : GetLastError();
}

DWORD GetFinalPath(HANDLE handle, std::wstring& finalPath) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) {
      return GetLastError();
    }
    // Too small a buffer is answered with the size needed, terminator included.
    if (length < buffer.size()) {
      finalPath = WithoutExtendedPrefix(std::wstring(buffer.data(), length));
      return ERROR_SUCCESS;
    }
    buffer.resize(length);
  }
}

DWORD GetFinalPathOf(const std::wstring& path, std::wstring& finalPath) {
  UniqueFileHandle opened;
  if (const DWORD error = OpenFollowingLinks(path, 0, opened); error != ERROR_SUCCESS) {
    return error;
  }
  return GetFinalPath(opened.get(), finalPath);
}

DWORD ChangeAttributes(HANDLE handle, DWORD add, DWORD remove) {
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic))) {
    return GetLastError();
  }
  const DWORD changed = (basic.FileAttributes | add) & ~remove;
  if (changed == basic.FileAttributes) {
    return ERROR_SUCCESS;
  }
  // Zero times leave the file's times as they are; zero attributes would too.
  FILE_BASIC_INFO update{};
  update.FileAttributes = changed == 0 ? FILE_ATTRIBUTE_NORMAL : changed;
  return SetFileInformationByHandle(handle, FileBasicInfo, &update, sizeof(update))
             ? ERROR_SUCCESS
             : GetLastError();
}

DWORD DeleteThroughHandle(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition))) {
    return ERROR_SUCCESS;
  }
  const DWORD error = GetLastError();
  // A read-only entry refuses; most are not, so the attribute is only
  // looked at then.
  if (error != ERROR_ACCESS_DENIED ||
      ChangeAttributes(handle, 0, FILE_ATTRIBUTE_READONLY) != ERROR_SUCCESS) {
    return error;
  }
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition))
             ? ERROR_SUCCESS
             : GetLastError();
}
