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

// True when the image of the suspended `process` is the very file open in
// `checked`, and not another one found under the same name meanwhile. The
// image is found again by its name, which a second name of the checked file
// (a hard link, placed where the child was started from) would also lead
// to: a checked file must have no other name.
bool RunsCheckedImage(HANDLE process, HANDLE checked) {
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(checked, FileStandardInfo, &standard, sizeof(standard)) ||
      standard.NumberOfLinks != 1) {
    return false;
  }
  std::vector<wchar_t> name(32768);
  auto length = static_cast<DWORD>(name.size());
  if (!QueryFullProcessImageNameW(process, 0, name.data(), &length)) {
    return false;
  }
  UniqueFileHandle image;
  return OpenFollowingLinks(std::wstring(name.data(), length), FILE_READ_ATTRIBUTES, image) ==
             ERROR_SUCCESS &&
         AreSameObject(image.get(), checked);
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

// Ends a child that must not run on, and waits a while for it to be gone:
// what it holds (its program file, the folder it runs in) is freed only then.
void EndChild(HANDLE process, DWORD exitCode) {
  constexpr DWORD kEndWaitMs = 10000;
  (void)TerminateProcess(process, exitCode);
  (void)WaitForSingleObject(process, kEndWaitMs);
}

DWORD Start(const std::wstring& commandLine, const ChildStart& options,
            UniqueProcessInformation& child) {
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
  if (!RunsCheckedImage(child.process.get(), options.checkedImage)) {
    EndChild(child.process.get(), ERROR_FILE_INVALID);
    return ERROR_FILE_INVALID;
  }
  if (ResumeThread(child.thread.get()) == static_cast<DWORD>(-1)) {
    const DWORD resumeError = GetLastError();
    EndChild(child.process.get(), resumeError);
    return resumeError;
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD StartProcess(const std::wstring& commandLine, const ChildStart& options) {
  UniqueProcessInformation child;
  return Start(commandLine, options, child);
}

DWORD RunProcessAndWait(const std::wstring& commandLine, DWORD& exitCode,
                        const ChildStart& options) {
  exitCode = 0;
  UniqueProcessInformation child;
  if (const DWORD error = Start(commandLine, options, child); error != ERROR_SUCCESS) {
    return error;
  }
  if (WaitForSingleObject(child.process.get(), INFINITE) != WAIT_OBJECT_0) {
    // A child the launcher can't wait for would run on past the run, and
    // past the folder it runs from: it is ended instead.
    EndChild(child.process.get(), WAIT_FAILED);
    return WAIT_FAILED;
  }
  if (!GetExitCodeProcess(child.process.get(), &exitCode)) {
    exitCode = 0;
    return WAIT_FAILED;
  }
  return ERROR_SUCCESS;
}
