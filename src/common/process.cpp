#include "common/process.h"

#include <vector>

#include "common/file_system.h"
#include "common/unique_resource.h"

namespace {

// Images the loader takes for a child: System32's copy of a DLL before one
// beside the program (bit 60), never one from a network share (bit 52) or
// of low integrity (bit 56), so a DLL planted where a child runs does not
// load into it. The headers declare these only for Windows 10 targets.
constexpr DWORD64 kLoaderMitigations = (1ULL << 60) | (1ULL << 52) | (1ULL << 56);

// An attribute list holding the loader mitigations; empty when the
// platform can't make one.
std::vector<BYTE> MitigationAttributes() {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<BYTE> list(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
  if (size == 0 || !InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
    return {};
  }
  static const DWORD64 policy = kLoaderMitigations;
  if (!UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_MITIGATION_POLICY,
                                 const_cast<DWORD64*>(&policy), sizeof(policy), nullptr, nullptr)) {
    DeleteProcThreadAttributeList(attributes);
    return {};
  }
  return list;
}

// Whether the image of the suspended `process` is the very file open in
// `checked`, and not another one found under the same name meanwhile: 0
// when it is; ERROR_FILE_INVALID when it is another file; ERROR_TOO_MANY_LINKS
// when the checked file has other names, since the image is found again by
// its name, which a second name of the checked file (a hard link, placed
// where the child was started from) would also lead to; or a query's error.
DWORD CheckImage(HANDLE process, HANDLE checked) {
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(checked, FileStandardInfo, &standard, sizeof(standard))) {
    return GetLastError();
  }
  if (standard.NumberOfLinks != 1) {
    return ERROR_TOO_MANY_LINKS;
  }
  std::vector<wchar_t> name(32768);
  auto length = static_cast<DWORD>(name.size());
  if (!QueryFullProcessImageNameW(process, 0, name.data(), &length)) {
    return GetLastError();
  }
  UniqueFileHandle image;
  bool same = false;
  DWORD error = OpenFollowingLinks(std::wstring(name.data(), length), FILE_READ_ATTRIBUTES, image);
  if (error == ERROR_SUCCESS) {
    error = AreSameObject(image.get(), checked, same);
  }
  return error != ERROR_SUCCESS || same ? error : static_cast<DWORD>(ERROR_FILE_INVALID);
}

// CreateProcessW, made once more when Wine reports ERROR_INTERNAL_ERROR: the
// new process ended before it was set up, and none of the child's code ran.
// A Wine without its preloader (Debian's) loses about one start in a few
// thousand this way, to where the kernel happened to put the new process's
// heap. Windows does not fail a start with this error.
BOOL CreateChild(const wchar_t* applicationName, std::vector<wchar_t>& commandLine, DWORD flags,
                 STARTUPINFOW& startup, PROCESS_INFORMATION& created) {
  const auto create = [&] {
    return CreateProcessW(applicationName, commandLine.data(), nullptr, nullptr, FALSE, flags,
                          nullptr, nullptr, &startup, &created);
  };
  return create() || (GetLastError() == ERROR_INTERNAL_ERROR && create());
}

// The last error, or `fallback` where a failed call set none.
DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : fallback;
}

// Ends a child that must not run on with `exitCode`, and waits a while for
// it to be gone: what it holds (its program file, the folder it runs in) is
// freed only then. Sets `result.endError` when it may not be gone, and
// `result.exitCode` to the code it ended with.
void EndChild(HANDLE process, DWORD exitCode, ChildResult& result) {
  constexpr DWORD kEndWaitMs = 10000;
  // A child that ended by itself meanwhile refuses to be ended; the wait
  // tells.
  const DWORD endError = TerminateProcess(process, exitCode) ? ERROR_SUCCESS : GetLastError();
  const DWORD waited = WaitForSingleObject(process, kEndWaitMs);
  if (waited != WAIT_OBJECT_0) {
    result.endError = waited == WAIT_FAILED ? LastErrorOr(WAIT_FAILED) : waited;
    if (endError != ERROR_SUCCESS) {
      result.endError = endError;
    }
    return;
  }
  if (!GetExitCodeProcess(process, &result.exitCode)) {
    result.exitCode = exitCode;
  }
}

DWORD Start(const std::wstring& commandLine, const ChildStart& options,
            UniqueProcessInformation& child, ChildResult& result) {
  // CreateProcessW may write into the command line it is given.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');

  std::vector<BYTE> attributes = MitigationAttributes();
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  const DWORD flags = options.checkedImage != nullptr ? CREATE_SUSPENDED : 0;
  PROCESS_INFORMATION created{};
  // No handle is inherited, whatever the launcher's standard output is.
  BOOL started = !attributes.empty() &&
                 CreateChild(options.applicationName, writable,
                             flags | EXTENDED_STARTUPINFO_PRESENT, startup.StartupInfo, created);
  const DWORD error = GetLastError();
  if (!attributes.empty()) {
    DeleteProcThreadAttributeList(startup.lpAttributeList);
  }
  // Systems before Windows 10 refuse these mitigations (Wine takes them and
  // applies none); the child then starts as it always did there.
  if (!started &&
      (attributes.empty() || error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED)) {
    startup.StartupInfo.cb = sizeof(STARTUPINFOW);
    started = CreateChild(options.applicationName, writable, flags, startup.StartupInfo, created);
  }
  if (!started) {
    return GetLastError();
  }
  child.process.reset(created.hProcess);
  child.thread.reset(created.hThread);
  if (options.checkedImage == nullptr) {
    return ERROR_SUCCESS;
  }
  if (options.beforeImageCheck != nullptr) {
    options.beforeImageCheck();
  }
  result.checkError = CheckImage(child.process.get(), options.checkedImage);
  if (result.checkError != ERROR_SUCCESS) {
    EndChild(child.process.get(), result.checkError, result);
    return result.checkError;
  }
  if (ResumeThread(child.thread.get()) == static_cast<DWORD>(-1)) {
    const DWORD resumeError = GetLastError();
    EndChild(child.process.get(), resumeError, result);
    return resumeError;
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD StartProcess(const std::wstring& commandLine, ChildResult& result,
                   const ChildStart& options) {
  result = ChildResult{};
  UniqueProcessInformation child;
  return Start(commandLine, options, child, result);
}

DWORD RunProcessAndWait(const std::wstring& commandLine, ChildResult& result,
                        const ChildStart& options) {
  result = ChildResult{};
  UniqueProcessInformation child;
  if (const DWORD error = Start(commandLine, options, child, result); error != ERROR_SUCCESS) {
    return error;
  }
  const DWORD waited = WaitForSingleObject(child.process.get(), options.waitMs);
  if (waited != WAIT_OBJECT_0) {
    result.waitError = waited == WAIT_FAILED ? LastErrorOr(WAIT_FAILED) : waited;
    // A child the launcher can't wait for would run on past the run, and
    // past the folder it runs from: it is ended instead.
    EndChild(child.process.get(), WAIT_FAILED, result);
    return WAIT_FAILED;
  }
  if (!GetExitCodeProcess(child.process.get(), &result.exitCode)) {
    result.waitError = LastErrorOr(WAIT_FAILED);
    result.exitCode = 0;
    return WAIT_FAILED;
  }
  return ERROR_SUCCESS;
}
