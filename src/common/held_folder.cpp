#include "common/held_folder.h"

#include <winternl.h>

#include <algorithm>

#include "common/file_system.h"
#include "common/path_text.h"

namespace {

// ntdll's own names and values, which the Windows headers spread over
// several files and versions; by value so that no header decides them.
constexpr ULONG kObjCaseInsensitive = 0x40;
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kFileOpenIf = 3;
constexpr ULONG kFileDirectoryFile = 0x1;
constexpr ULONG kFileSynchronousIoNonAlert = 0x20;
constexpr ULONG kFileNonDirectoryFile = 0x40;
constexpr ULONG kFileOpenReparsePoint = 0x200000;
constexpr LONG kStatusObjectNameCollision = static_cast<LONG>(0xC0000035);

using NtCreateFileFunction = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                          PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                          ULONG, PVOID, ULONG);
using NtQueryInformationFileFunction = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                    FILE_INFORMATION_CLASS);
using NtQueryObjectFunction = LONG(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
using NtStatusToErrorFunction = ULONG(NTAPI*)(LONG);

struct NtFunctions {
  NtCreateFileFunction createFile = nullptr;
  NtQueryInformationFileFunction queryFile = nullptr;
  NtQueryObjectFunction queryObject = nullptr;
  NtStatusToErrorFunction toError = nullptr;
};

// The file's 64-bit index, as listings give it (FileInternalInformation).
constexpr auto kFileInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
constexpr auto kObjectNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);

// Only ntdll opens a name relative to a folder's handle. It is in every
// process from the start, so its functions are found by name and the image
// imports nothing more. The cast goes through void* because GCC warns on a
// direct one between function types.
// NOLINTBEGIN(bugprone-casting-through-void)
const NtFunctions& Nt() {
  static const NtFunctions functions = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    NtFunctions found;
    if (ntdll != nullptr) {
      found.createFile = reinterpret_cast<NtCreateFileFunction>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
      found.queryFile = reinterpret_cast<NtQueryInformationFileFunction>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")));
      found.queryObject = reinterpret_cast<NtQueryObjectFunction>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")));
      found.toError = reinterpret_cast<NtStatusToErrorFunction>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
    return found;
  }();
  return functions;
}
// NOLINTEND(bugprone-casting-through-void)

// What an opened handle says of its object.
struct ObjectFacts {
  DWORD attributes = 0;
  DWORD reparseTag = 0;
  ULONGLONG fileId = 0;
  ObjectLocation location;
};

// Each query is one that Wine answers without asking for the volume, which
// it reads anew each time.
DWORD ReadFacts(HANDLE handle, ObjectFacts& facts) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) {
    return GetLastError();
  }
  facts.attributes = tag.FileAttributes;
  facts.reparseTag = tag.ReparseTag;
  if (const DWORD error = ReadFileId(handle, facts.fileId); error != ERROR_SUCCESS) {
    return error;
  }
  return ReadLocation(handle, facts.location);
}

// A file system without ids lists 0, one whose ids don't fit 64 bits -1:
// neither can tell one entry from another.
bool IsUsableId(ULONGLONG id) { return id != 0 && id != ~0ULL; }

// True when `name` is one name in a folder: a longer path would be walked
// with its links followed, and a colon would name a stream.
bool IsSingleName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." &&
         name.find_first_of(L"\\/:") == std::wstring::npos;
}

// NtCreateFile of the single name `name` relative to `parent`'s handle.
DWORD NtOpen(const HeldFolder& parent, const std::wstring& name, ACCESS_MASK access, ULONG share,
             ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security,
             UniqueFileHandle& opened) {
  if (!parent.handle) {
    return ERROR_INVALID_HANDLE;
  }
  if (!IsSingleName(name)) {
    return ERROR_INVALID_NAME;
  }
  const NtFunctions& nt = Nt();
  if (nt.createFile == nullptr || nt.toError == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  UNICODE_STRING text{};
  text.Buffer = const_cast<PWSTR>(name.c_str());
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof(attributes);
  attributes.RootDirectory = parent.handle.get();
  attributes.ObjectName = &text;
  attributes.Attributes = kObjCaseInsensitive;
  attributes.SecurityDescriptor = security;
  IO_STATUS_BLOCK status{};
  HANDLE handle = nullptr;
  const LONG result = nt.createFile(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                    &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                                    disposition, options | kFileSynchronousIoNonAlert, nullptr, 0);
  if (result < 0) {
    // As CreateFileW says it, and the log has always shown it.
    return result == kStatusObjectNameCollision ? ERROR_FILE_EXISTS : nt.toError(result);
  }
  opened.reset(handle);
  return ERROR_SUCCESS;
}

ULONG NtDisposition(Disposition disposition) {
  switch (disposition) {
    case Disposition::CreateNew:
      return kFileCreate;
    case Disposition::OpenOrCreate:
      return kFileOpenIf;
    case Disposition::OpenExisting:
      break;
  }
  return kFileOpen;
}

ULONG NtKindOptions(ChildKind kind) {
  switch (kind) {
    case ChildKind::File:
      return kFileNonDirectoryFile;
    case ChildKind::Directory:
      return kFileDirectoryFile;
    case ChildKind::Any:
      break;
  }
  return 0;
}

// True when the object behind `facts` is the one `how` means at `expected`.
bool IsObjectMeant(const ObjectFacts& facts, const ObjectLocation& expected, const ChildOpen& how) {
  return IsLink(facts.attributes, facts.reparseTag) == how.link &&
         (!IsUsableId(how.listedId) || facts.fileId == how.listedId) &&
         EqualPathsIgnoringCase(facts.location.name, expected.name);
}

}  // namespace

bool IsLink(DWORD attributes, DWORD reparseTag) {
  // Wine lists a link without its tag.
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

ObjectLocation ChildLocation(const ObjectLocation& folder, const std::wstring& name) {
  return ObjectLocation{JoinPath(folder.name, name)};
}

bool LocationInside(const ObjectLocation& folder, const ObjectLocation& object,
                    std::wstring& relative) {
  return RelativePathInside(folder.name, object.name, relative);
}

DWORD ReadLocation(HANDLE handle, ObjectLocation& location) {
  const NtFunctions& nt = Nt();
  if (nt.queryObject == nullptr || nt.toError == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  // OBJECT_NAME_INFORMATION: a counted string and the name after it, with
  // room for the longest name there is.
  std::vector<ULONGLONG> buffer((sizeof(UNICODE_STRING) + 65536) / sizeof(ULONGLONG));
  ULONG size = 0;
  const LONG status = nt.queryObject(handle, kObjectNameInformation, buffer.data(),
                                     static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG)), &size);
  if (status < 0) {
    return nt.toError(status);
  }
  const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
  location.name.assign(name->Buffer, name->Length / sizeof(wchar_t));
  return ERROR_SUCCESS;
}

DWORD ReadFileId(HANDLE handle, ULONGLONG& fileId) {
  const NtFunctions& nt = Nt();
  if (nt.queryFile == nullptr || nt.toError == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  IO_STATUS_BLOCK status{};
  LARGE_INTEGER index{};
  const LONG result =
      nt.queryFile(handle, &status, &index, sizeof(index), kFileInternalInformation);
  if (result < 0) {
    return nt.toError(result);
  }
  fileId = static_cast<ULONGLONG>(index.QuadPart);
  return ERROR_SUCCESS;
}

DWORD HoldFolder(const std::wstring& path, HeldFolder& folder) {
  folder = HeldFolder{};
  UniqueFileHandle opened(
      CreateFileW(ExtendedLengthPath(path).c_str(),
                  FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!opened) {
    return GetLastError();
  }
  ObjectFacts facts;
  if (const DWORD error = ReadFacts(opened.get(), facts); error != ERROR_SUCCESS) {
    return error;
  }
  if ((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return ERROR_DIRECTORY;
  }
  folder = HeldFolder{path, std::move(opened), std::move(facts.location)};
  return ERROR_SUCCESS;
}

DWORD HoldFolderWithoutLinks(const std::wstring& path, HeldFolder& folder) {
  folder = HeldFolder{};
  std::wstring root;
  std::vector<std::wstring> names;
  if (!SplitRootAndNames(path, root, names)) {
    return ERROR_BAD_PATHNAME;
  }
  HeldFolder reached;
  if (const DWORD error = HoldFolder(root, reached); error != ERROR_SUCCESS) {
    return IsNotFoundError(error) ? ERROR_PATH_NOT_FOUND : error;
  }
  for (const std::wstring& name : names) {
    HeldFolder next;
    const DWORD error = HoldChildFolder(reached, name, ChildOpen{}, next);
    if (error != ERROR_SUCCESS) {
      return IsNotFoundError(error) ? ERROR_PATH_NOT_FOUND : error;
    }
    reached = std::move(next);
  }
  reached.path = path;
  folder = std::move(reached);
  return ERROR_SUCCESS;
}

DWORD OpenChild(const HeldFolder& parent, const std::wstring& name, const ChildOpen& how,
                UniqueFileHandle& child) {
  child.reset();
  UniqueFileHandle opened;
  if (const DWORD error =
          NtOpen(parent, name, how.access, how.share, NtDisposition(how.disposition),
                 NtKindOptions(how.kind) | kFileOpenReparsePoint, how.security, opened);
      error != ERROR_SUCCESS) {
    return error;
  }
  // Facts that can't be read prove nothing: such an object is not taken.
  ObjectFacts facts;
  if (ReadFacts(opened.get(), facts) != ERROR_SUCCESS ||
      !IsObjectMeant(facts, ChildLocation(parent.location, name), how)) {
    // Made through a link, somewhere else: the new object is ours to take back.
    if (how.disposition == Disposition::CreateNew) {
      (void)DeleteThroughHandle(opened.get());
    }
    return kNotTheObjectMeant;
  }
  child = std::move(opened);
  return ERROR_SUCCESS;
}

DWORD HoldChildFolder(const HeldFolder& parent, const std::wstring& name, ChildOpen how,
                      HeldFolder& child) {
  child = HeldFolder{};
  how.access |= FILE_LIST_DIRECTORY | FILE_TRAVERSE;
  how.kind = ChildKind::Directory;
  how.share &= ~static_cast<DWORD>(FILE_SHARE_DELETE);
  UniqueFileHandle opened;
  if (const DWORD error = OpenChild(parent, name, how, opened); error != ERROR_SUCCESS) {
    return error;
  }
  child = HeldFolder{JoinPath(parent.path, name), std::move(opened),
                     ChildLocation(parent.location, name)};
  return ERROR_SUCCESS;
}

DWORD OpenChildTarget(const HeldFolder& parent, const std::wstring& name,
                      UniqueFileHandle& target) {
  return NtOpen(parent, name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kFileOpen,
                0, nullptr, target);
}

DWORD ListFolder(const HeldFolder& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  // FILE_ID_BOTH_DIR_INFO records, as many as fit, aligned as they are.
  std::vector<ULONGLONG> buffer(size_t{64} * 1024 / sizeof(ULONGLONG));
  const auto size = static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG));
  FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder.handle.get(), infoClass, buffer.data(), size)) {
    infoClass = FileIdBothDirectoryInfo;
    const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
    for (size_t offset = 0;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
      std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        // A reparse point's tag stands where extended attributes' size would.
        const bool reparse = (record->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back(FolderEntry{std::move(name), record->FileAttributes,
                                      reparse ? record->EaSize : 0,
                                      static_cast<ULONGLONG>(record->FileId.QuadPart)});
      }
      if (record->NextEntryOffset == 0) {
        break;
      }
      offset += record->NextEntryOffset;
    }
  }
  const DWORD error = GetLastError();
  // A volume's root has not even "." to list.
  return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}
