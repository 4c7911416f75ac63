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
constexpr ULONG kFileDirectoryFile = 0x1;
constexpr ULONG kFileSynchronousIoNonAlert = 0x20;
constexpr ULONG kFileNonDirectoryFile = 0x40;
constexpr ULONG kFileDeleteOnClose = 0x1000;
constexpr ULONG kFileOpenReparsePoint = 0x200000;
constexpr LONG kStatusObjectNameCollision = static_cast<LONG>(0xC0000035);
constexpr LONG kStatusFileIsADirectory = static_cast<LONG>(0xC00000BA);
constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056);

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
  NtObjectName objectName;
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
  return ReadNtObjectName(handle, facts.objectName);
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

// How NtCreateFile is asked to open a child.
struct NtOpenRequest {
  ACCESS_MASK access = 0;
  ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  ULONG disposition = kFileOpen;
  ULONG options = 0;
  PSECURITY_DESCRIPTOR security = nullptr;
};

// NtCreateFile of `name`: relative to `root`, or, with no root, a whole NT
// name. Returns 0 or the error; a folder where a file is asked for and an
// entry pending deletion each get a code of their own, since both are
// answers rather than failures.
DWORD NtOpenName(HANDLE root, const std::wstring& name, const NtOpenRequest& request,
                 UniqueFileHandle& opened) {
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
  attributes.RootDirectory = root;
  attributes.ObjectName = &text;
  attributes.Attributes = kObjCaseInsensitive;
  attributes.SecurityDescriptor = request.security;
  IO_STATUS_BLOCK status{};
  HANDLE handle = nullptr;
  const LONG result =
      nt.createFile(&handle, request.access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes,
                    &status, nullptr, FILE_ATTRIBUTE_NORMAL, request.share, request.disposition,
                    request.options | kFileSynchronousIoNonAlert, nullptr, 0);
  switch (result) {
    case kStatusObjectNameCollision:
      return ERROR_FILE_EXISTS;  // as CreateFileW says it, and the log has always shown it
    case kStatusFileIsADirectory:
      return kFolderWhereFileMeant;
    case kStatusDeletePending:
      return ERROR_DELETE_PENDING;
    default:
      break;
  }
  if (result < 0) {
    return nt.toError(result);
  }
  opened.reset(handle);
  return ERROR_SUCCESS;
}

// NtCreateFile of the single name `name` relative to `parent`'s handle.
DWORD NtOpen(const HeldFolder& parent, const std::wstring& name, const NtOpenRequest& request,
             UniqueFileHandle& opened) {
  if (!parent.handle) {
    return ERROR_INVALID_HANDLE;
  }
  if (!IsSingleName(name)) {
    return ERROR_INVALID_NAME;
  }
  return NtOpenName(parent.handle.get(), name, request, opened);
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
bool IsObjectMeant(const ObjectFacts& facts, const NtObjectName& expected, const ChildOpen& how) {
  return IsLink(facts.attributes, facts.reparseTag) == how.link &&
         (!IsUsableId(how.listedId) || facts.fileId == how.listedId) &&
         IsObjectNamed(facts.objectName.text, expected.text);
}

}  // namespace

bool IsLink(DWORD attributes, DWORD reparseTag) {
  // Wine lists a link without its tag.
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

NtObjectName ChildObjectName(const NtObjectName& folder, const std::wstring& name) {
  return NtObjectName{JoinPath(folder.text, name)};
}

bool ObjectNameInside(const NtObjectName& folder, const NtObjectName& object,
                      std::wstring& relative) {
  return RelativePathInside(folder.text, object.text, relative);
}

DWORD ReadNtObjectName(HANDLE handle, NtObjectName& objectName) {
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
  // Wine answers with an empty name, and success, for an object it can't
  // name: one whose Linux path is longer than Linux takes (4,095 bytes), or
  // one in a folder renamed since. No name, no check.
  if (name->Length == 0) {
    return ERROR_CANT_RESOLVE_FILENAME;
  }
  objectName.text.assign(name->Buffer, name->Length / sizeof(wchar_t));
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

DWORD HoldFolderFollowingLinks(const std::wstring& path, HeldFolder& folder) {
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
  folder = HeldFolder{path, std::move(opened), std::move(facts.objectName)};
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
  if (const DWORD error = HoldFolderFollowingLinks(root, reached); error != ERROR_SUCCESS) {
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
  // Asked to open or create, the platform may create where a link leads
  // (Wine follows one to nothing, and says it opened): an entry that is
  // there is opened, and only a missing one is made, exclusively.
  if (how.disposition == Disposition::OpenOrCreate) {
    ChildOpen step = how;
    step.disposition = Disposition::OpenExisting;
    DWORD error = OpenChild(parent, name, step, child);
    if (IsNotFoundError(error)) {
      step.disposition = Disposition::CreateNew;
      error = OpenChild(parent, name, step, child);
    }
    return error;
  }
  const bool create = how.disposition == Disposition::CreateNew;
  UniqueFileHandle opened;
  if (const DWORD error =
          NtOpen(parent, name,
                 NtOpenRequest{how.access, how.share, create ? kFileCreate : kFileOpen,
                               NtKindOptions(how.kind) | kFileOpenReparsePoint |
                                   (how.deleteOnClose ? kFileDeleteOnClose : 0),
                               how.security},
                 opened);
      error != ERROR_SUCCESS) {
    return error;
  }
  // Facts that can't be read prove nothing: such an object is not taken,
  // and the failure is the answer.
  ObjectFacts facts;
  DWORD error = ReadFacts(opened.get(), facts);
  if (error == ERROR_SUCCESS &&
      !IsObjectMeant(facts, ChildObjectName(parent.objectName, name), how)) {
    error = kNotTheObjectMeant;
  }
  if (error != ERROR_SUCCESS) {
    // Made and not known for the object meant: a new object is ours to
    // take back.
    if (create) {
      (void)DeleteThroughHandle(opened.get());
    }
    return error;
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
                     ChildObjectName(parent.objectName, name)};
  return ERROR_SUCCESS;
}

DWORD OpenChildTarget(const HeldFolder& parent, const std::wstring& name,
                      UniqueFileHandle& target) {
  return NtOpen(parent, name, NtOpenRequest{}, target);
}

DWORD ConfirmChildGone(const HeldFolder& parent, const std::wstring& name, ULONGLONG deletedId) {
  UniqueFileHandle found;
  NtOpenRequest look;
  look.options = kFileOpenReparsePoint;
  DWORD error = NtOpen(parent, name, look, found);
  if (IsNotFoundError(error) || error == ERROR_DELETE_PENDING) {
    return error == ERROR_DELETE_PENDING ? error : ERROR_SUCCESS;
  }
  ObjectFacts facts;
  bool pending = false;
  if (error == ERROR_SUCCESS) {
    error = ReadFacts(found.get(), facts);
  }
  if (error == ERROR_SUCCESS) {
    error = ReadDeletePending(found.get(), pending);
  }
  if (error != ERROR_SUCCESS) {
    return error;
  }
  // Another entry took the name since, or the same file was found by
  // another of its names, which differs in letter case (Wine looks a name
  // up in any case when the exact one is gone).
  if ((IsUsableId(deletedId) && facts.fileId != deletedId) ||
      WithoutTrailingDotsAndBlanks(LastName(facts.objectName.text)) !=
          WithoutTrailingDotsAndBlanks(name)) {
    return ERROR_SUCCESS;
  }
  if (pending) {
    return ERROR_DELETE_PENDING;
  }
  // Still there and not said to be going: Wine never says so, and removes
  // the name once the last program holding the file lets go, by the path
  // the deleted handle was opened by, and only when that path still leads
  // to the file. Where that path leads to this very file, it is going.
  UniqueFileHandle atPath;
  ULONGLONG atPathId = 0;
  error = NtOpenName(nullptr, ChildObjectName(parent.objectName, name).text, look, atPath);
  if (error == ERROR_SUCCESS) {
    error = ReadFileId(atPath.get(), atPathId);
  }
  if (error == ERROR_SUCCESS && atPathId == facts.fileId) {
    return ERROR_DELETE_PENDING;
  }
  return IsNotFoundError(error) || error == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_FILE_EXISTS)
                                                          : error;
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
