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
constexpr auto kFileNormalizedNameInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(24);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;

// FILE_ID_INFO: which object a handle is, volume and file.
struct FileIdentity {
  ULONGLONG volumeSerialNumber;
  BYTE fileId[16];
};

bool ReadFileIdentity(HANDLE handle, FileIdentity& identity) {
  if (GetFileInformationByHandleEx(handle, kFileIdInfo, &identity, sizeof(identity))) {
    return true;
  }
  // Windows 7 knows only the 64-bit index.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) {
    return false;
  }
  identity = FileIdentity{};
  identity.volumeSerialNumber = info.dwVolumeSerialNumber;
  const ULONGLONG index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  static_assert(sizeof(index) <= sizeof(identity.fileId));
  std::memcpy(identity.fileId, &index, sizeof(index));
  return true;
}

bool SameObject(const FileIdentity& left, const FileIdentity& right) {
  return left.volumeSerialNumber == right.volumeSerialNumber &&
         std::equal(std::begin(left.fileId), std::end(left.fileId), std::begin(right.fileId));
}

// GetFinalPathNameByHandleW alone. Returns 0, or its error.
DWORD QueryFinalPath(HANDLE handle, std::wstring& finalPath) {
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

// The path of the object behind `handle` on its volume, without the volume
// (\Games\Foo\x.dll): normalized where the platform can, else as the
// object was reached, links on the way resolved either way. Returns 0, or
// the error.
DWORD QueryVolumePath(HANDLE handle, std::wstring& volumePath) {
  // FILE_NAME_INFO: the name's length in bytes, then the name, with room
  // for the longest path there is.
  std::vector<DWORD> buffer(2 + ((UNICODE_STRING_MAX_CHARS * sizeof(wchar_t)) / sizeof(DWORD)));
  const auto size = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
  DWORD error = ERROR_SUCCESS;
  for (const FILE_INFO_BY_HANDLE_CLASS infoClass : {kFileNormalizedNameInfo, FileNameInfo}) {
    if (GetFileInformationByHandleEx(handle, infoClass, buffer.data(), size)) {
      const DWORD bytes = std::min<DWORD>(buffer[0], size - static_cast<DWORD>(sizeof(DWORD)));
      volumePath.assign(reinterpret_cast<const wchar_t*>(&buffer[1]), bytes / sizeof(wchar_t));
      return ERROR_SUCCESS;
    }
    error = GetLastError();
  }
  return error;
}

// The final path of `handle`'s object found without GetFinalPathNameByHandleW,
// which gives up on long paths under Wine whatever the buffer: a drive root
// joined to the object's path on its volume, accepted only when that path
// opens (a link at its end not followed) this very object, and the root is
// the volume's own name rather than a drive standing for a folder elsewhere
// (subst). Returns 0, or ERROR_PATH_NOT_FOUND when no drive gives it.
DWORD FindFinalPathThroughDrives(HANDLE handle, std::wstring& finalPath) {
  FileIdentity object{};
  std::wstring volumePath;
  if (!ReadFileIdentity(handle, object)) {
    return GetLastError();
  }
  if (const DWORD error = QueryVolumePath(handle, volumePath); error != ERROR_SUCCESS) {
    return error;
  }
  // Four characters a drive ("C:\" and its terminator), and the list's end.
  std::vector<wchar_t> drives((4 * 26) + 1);
  const DWORD length = GetLogicalDriveStringsW(static_cast<DWORD>(drives.size()), drives.data());
  if (length == 0 || length >= drives.size()) {
    return length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
  }
  // An empty removable drive answers with an error, never a message box.
  DWORD errorMode = 0;
  const BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &errorMode);
  DWORD result = ERROR_PATH_NOT_FOUND;
  for (const wchar_t* drive = drives.data(); *drive != L'\0'; drive += wcslen(drive) + 1) {
    const std::wstring root = drive;
    const std::wstring candidate = WithoutTrailingSeparators(root) + volumePath;
    UniqueFileHandle opened;
    UniqueFileHandle rootHandle;
    FileIdentity found{};
    std::wstring rootPath;
    if (OpenEntry(candidate, 0, opened) == ERROR_SUCCESS && ReadFileIdentity(opened.get(), found) &&
        SameObject(found, object) && OpenFollowingLinks(root, 0, rootHandle) == ERROR_SUCCESS &&
        QueryFinalPath(rootHandle.get(), rootPath) == ERROR_SUCCESS &&
        EqualPathsIgnoringCase(WithoutTrailingSeparators(rootPath),
                               WithoutTrailingSeparators(root))) {
      finalPath = candidate;
      result = ERROR_SUCCESS;
      break;
    }
  }
  if (quiet) {
    SetThreadErrorMode(errorMode, nullptr);
  }
  return result;
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

DWORD OpenEntry(const std::wstring& path, DWORD access, UniqueFileHandle& entry) {
  entry.reset(CreateFileW(ExtendedLengthPath(path).c_str(), access, kShareAll, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                          nullptr));
  return entry ? ERROR_SUCCESS : GetLastError();
}

DWORD OpenEntryAt(const std::wstring& path, const std::wstring& finalPath, DWORD access,
                  UniqueFileHandle& entry) {
  if (const DWORD error = OpenEntry(path, access, entry); error != ERROR_SUCCESS) {
    return error;
  }
  std::wstring opened;
  if (const DWORD error = GetFinalPath(entry.get(), opened); error != ERROR_SUCCESS) {
    entry.reset();
    return error;
  }
  if (!EqualPathsIgnoringCase(opened, finalPath)) {
    entry.reset();
    return ERROR_REPARSE_TAG_MISMATCH;
  }
  return ERROR_SUCCESS;
}

bool AreSameObject(HANDLE left, HANDLE right) {
  FileIdentity leftIdentity{};
  FileIdentity rightIdentity{};
  return ReadFileIdentity(left, leftIdentity) && ReadFileIdentity(right, rightIdentity) &&
         SameObject(leftIdentity, rightIdentity);
}

DWORD GetFinalPath(HANDLE handle, std::wstring& finalPath) {
  const DWORD error = QueryFinalPath(handle, finalPath);
  if (error != ERROR_MORE_DATA && error != ERROR_NOT_ENOUGH_MEMORY) {
    return error;
  }
  return FindFinalPathThroughDrives(handle, finalPath) == ERROR_SUCCESS ? ERROR_SUCCESS : error;
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
  // A read-only entry refuses; most are not, so what follows runs only then.
  if (error != ERROR_ACCESS_DENIED) {
    return error;
  }
  // Removes this name only, and leaves the object's attribute alone: it may
  // have other names, outside the folder being cleaned up.
  DWORD flags = kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly;
  if (SetFileInformationByHandle(handle, kFileDispositionInfoEx, &flags, sizeof(flags))) {
    return ERROR_SUCCESS;
  }
  const DWORD exError = GetLastError();
  if (exError != ERROR_INVALID_PARAMETER && exError != ERROR_INVALID_FUNCTION &&
      exError != ERROR_NOT_SUPPORTED) {
    return exError;
  }
  // Without that, clearing the attribute clears it for every name of the
  // object, so only a file with no other name is changed. A folder can't
  // have another (and Wine counts a folder's links the Unix way).
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard)) ||
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
