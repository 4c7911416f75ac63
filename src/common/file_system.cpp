#include "common/file_system.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "common/path_text.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Information classes and flags newer than the Windows 7 headers this builds
// against, by value; a platform that lacks one answers with an error.
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;

// How a platform answers an information class it doesn't know.
bool IsUnknownToPlatform(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION ||
         error == ERROR_NOT_SUPPORTED;
}

// The deletion older platforms know: the entry goes when its last handle
// closes. A read-only entry refuses it, and clearing the attribute clears it
// for every name of the object, so only a file with no other name is
// changed, and changed back when it stays. A folder can't have another name
// (and Wine counts a folder's links the Unix way).
DWORD DeleteOnClose(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition))) {
    return ERROR_SUCCESS;
  }
  const DWORD error = GetLastError();
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  if (error != ERROR_ACCESS_DENIED ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0 ||
      !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard)) ||
      (!standard.Directory && standard.NumberOfLinks != 1) ||
      ChangeAttributes(handle, 0, FILE_ATTRIBUTE_READONLY) != ERROR_SUCCESS) {
    return error;
  }
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition))) {
    return ERROR_SUCCESS;
  }
  const DWORD retryError = GetLastError();
  (void)ChangeAttributes(handle, FILE_ATTRIBUTE_READONLY, 0);
  return retryError;
}

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

bool FileIdentity::operator==(const FileIdentity& other) const {
  return volumeSerialNumber == other.volumeSerialNumber &&
         std::equal(std::begin(fileId), std::end(fileId), std::begin(other.fileId));
}

DWORD ReadFileIdentity(HANDLE handle, FileIdentity& identity) {
  // FILE_ID_INFO: the volume's serial and a 128-bit file id.
  static_assert(sizeof(FileIdentity) == 24);
  if (GetFileInformationByHandleEx(handle, kFileIdInfo, &identity, sizeof(identity))) {
    return ERROR_SUCCESS;
  }
  // Windows 7 knows only the 64-bit index.
  if (const DWORD error = GetLastError(); !IsUnknownToPlatform(error)) {
    return error;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) {
    return GetLastError();
  }
  identity = FileIdentity{};
  identity.volumeSerialNumber = info.dwVolumeSerialNumber;
  const ULONGLONG index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  static_assert(sizeof(index) <= sizeof(identity.fileId));
  std::memcpy(identity.fileId, &index, sizeof(index));
  return ERROR_SUCCESS;
}

DWORD AreSameObject(HANDLE left, HANDLE right, bool& same) {
  FileIdentity leftIdentity;
  FileIdentity rightIdentity;
  DWORD error = ReadFileIdentity(left, leftIdentity);
  if (error == ERROR_SUCCESS) {
    error = ReadFileIdentity(right, rightIdentity);
  }
  same = error == ERROR_SUCCESS && leftIdentity == rightIdentity;
  return error;
}

DWORD ReadDeletePending(HANDLE handle, bool& pending) {
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard))) {
    pending = false;
    return GetLastError();
  }
  pending = standard.DeletePending != FALSE;
  return ERROR_SUCCESS;
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
  // Removes this name only, read-only or not, and leaves the object's
  // attribute alone: it may have other names, outside the folder being
  // cleaned up. Windows 10 1809 and later, and Wine 10, know this form.
  DWORD flags = kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly;
  DWORD error = SetFileInformationByHandle(handle, kFileDispositionInfoEx, &flags, sizeof(flags))
                    ? ERROR_SUCCESS
                    : GetLastError();
  if (IsUnknownToPlatform(error)) {
    error = DeleteOnClose(handle);
  }
  // Someone else's deletion of the same entry came first.
  bool pending = false;
  if (error != ERROR_SUCCESS && ReadDeletePending(handle, pending) == ERROR_SUCCESS && pending) {
    return ERROR_SUCCESS;
  }
  return error;
}
