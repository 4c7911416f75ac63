#include "test_support.h"

#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <regex>

#include "common/command_line.h"
#include "common/file_system.h"
#include "common/path_text.h"
#include "common/process_facts.h"
#include "common/unique_resource.h"
#include "log/run_log.h"

std::wstring TestBinaryDirectory() { return GetModuleDirectory(); }

std::wstring BuiltLauncherPath() { return JoinPath(TestBinaryDirectory(), L"Launcher.exe"); }

std::wstring StandInInstallerPath() {
  return JoinPath(TestBinaryDirectory(), L"ZelqaAntiCheat.Installer.exe");
}

std::wstring LegacySetupStandInPath() {
  return JoinPath(TestBinaryDirectory(), L"legacy_setup_standin.exe");
}

UniqueModule LoadBuiltLauncherAsData() {
  return UniqueModule(
      LoadLibraryExW(BuiltLauncherPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

void EmptyFolder(const std::wstring& path) {
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle find(FindFirstFileW(JoinPath(path, L"*").c_str(), &entry));
  if (!find) {
    return;
  }
  do {
    const std::wstring name = entry.cFileName;
    const std::wstring child = JoinPath(path, name);
    if (name == L"." || name == L"..") {
      continue;
    }
    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      DeleteFileW(child.c_str());
      continue;
    }
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      EmptyFolder(child);
    }
    RemoveDirectoryW(child.c_str());
  } while (FindNextFileW(find.get(), &entry));
}

std::wstring MakeScratchDirectory(const std::wstring& name) {
  // Where the build tree really is: the cleanup refuses a game folder
  // reached through a link, and the build tree may lie behind one.
  static const std::wstring root = [] {
    const std::wstring named = JoinPath(TestBinaryDirectory(), L"scratch");
    CreateDirectoryW(named.c_str(), nullptr);
    std::wstring real;
    return GetFinalPathOf(named, real) == ERROR_SUCCESS ? real : named;
  }();
  const std::wstring path = JoinPath(root, name);
  // Emptied, not made anew: Wine knows a drive letter's folder by its inode,
  // and for a second takes a new one for another.
  EmptyFolder(path);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

std::wstring CopyLauncherTo(const std::wstring& directory, const std::wstring& fileName) {
  const std::wstring path = JoinPath(directory, fileName);
  CopyFileTo(BuiltLauncherPath(), path);
  return path;
}

std::wstring CopyStandInInstallerTo(const std::wstring& directory) {
  const std::wstring path = JoinPath(directory, L"ZelqaAntiCheat.Installer.exe");
  CopyFileTo(StandInInstallerPath(), path);
  return path;
}

std::wstring AppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

PlacedLauncher PlaceLauncher(const std::wstring& stem, const std::wstring& subfolder) {
  PlacedLauncher placed{MakeScratchDirectory(stem), L"", JoinPath(AppDataFolder(), stem)};
  std::wstring folder = placed.folder;
  for (size_t start = 0; start < subfolder.size();) {
    const size_t end = std::min(subfolder.find(L'\\', start), subfolder.size());
    folder = JoinPath(folder, subfolder.substr(start, end - start));
    CreateDirectoryW(folder.c_str(), nullptr);
    start = end + 1;
  }
  placed.exe = CopyLauncherTo(folder, stem + L".exe");
  // A link an earlier run left there is removed, never emptied.
  if ((GetFileAttributesW(placed.logFolder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    EmptyFolder(placed.logFolder);
  }
  RemoveDirectoryW(placed.logFolder.c_str());
  DeleteFileW(placed.logFolder.c_str());
  return placed;
}

std::vector<std::wstring> ListFiles(const std::wstring& directory, const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  const UniqueFindHandle find(FindFirstFileW(JoinPath(directory, pattern).c_str(), &entry));
  if (find) {
    do {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        names.push_back(entry.cFileName);
      }
    } while (FindNextFileW(find.get(), &entry));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFileBytes(const std::wstring& path) {
  const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) {
    return bytes;
  }
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD OpenErrorSharingAll(const std::wstring& path, DWORD access) {
  const UniqueFileHandle file(CreateFileW(path.c_str(), access,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  return file ? ERROR_SUCCESS : GetLastError();
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::wstring Widen(const std::string& text) {
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), bytes,
                      nullptr, nullptr);
  return narrow;
}

std::vector<std::wstring> ReadRecordedLines(const std::wstring& path) {
  std::vector<std::wstring> lines;
  const std::string bytes = ReadFileBytes(path);
  size_t start = 0;
  for (size_t end = bytes.find('\n'); end != std::string::npos; end = bytes.find('\n', start)) {
    lines.push_back(Widen(bytes.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

namespace {

std::vector<wchar_t> EnvironmentBlock(const std::map<std::wstring, std::wstring>& additions) {
  // The test's own variables, overridden and extended by the additions; a
  // Windows block is sorted case-insensitively, which a map of upper-cased
  // names gives.
  std::map<std::wstring, std::wstring> variables;
  const auto upper = [](std::wstring name) {
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    return name;
  };
  wchar_t* current = GetEnvironmentStringsW();
  for (const wchar_t* entry = current; *entry != L'\0'; entry += wcslen(entry) + 1) {
    const std::wstring text = entry;
    const size_t equals = text.find(L'=', 1);
    if (equals != std::wstring::npos) {
      variables[upper(text.substr(0, equals))] = text;
    }
  }
  FreeEnvironmentStringsW(current);
  for (const auto& [name, value] : additions) {
    variables[upper(name)] = name + L"=" + value;
  }
  std::vector<wchar_t> block;
  for (const auto& [key, text] : variables) {
    block.insert(block.end(), text.begin(), text.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

}  // namespace

bool TokenWithElevation(Elevation elevation, UniqueHandle& token) {
  UniqueHandle own;
  TOKEN_ELEVATION current{};
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (elevation == Elevation::AsTheTest) {
    return true;
  }
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.put()) ||
      !GetTokenInformation(own.get(), TokenElevation, &current, sizeof(current), &size)) {
    return false;
  }
  if ((current.TokenIsElevated != 0) == (elevation == Elevation::Elevated)) {
    return true;
  }
  if (!GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof(linked), &size)) {
    return false;
  }
  const UniqueHandle other(linked.LinkedToken);
  return DuplicateTokenEx(other.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                          TokenPrimary, token.put()) != FALSE;
}

ProgramResult RunProgram(const ProgramRun& run) {
  ProgramResult result;
  const std::wstring outputPath = JoinPath(
      MakeScratchDirectory(L"output-" + std::to_wstring(GetCurrentProcessId())), L"stdout.bin");
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  UniqueFileHandle output(CreateFileW(outputPath.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  startup.hStdInput = nullptr;
  std::wstring desktop = run.desktop;
  if (!desktop.empty()) {
    startup.lpDesktop = desktop.data();
  }
  std::wstring commandLine = L"\"" + run.program + L"\"";
  if (!run.arguments.empty()) {
    commandLine += L" " + run.arguments;
  }
  std::vector<wchar_t> environment = EnvironmentBlock(run.environment);
  // Wine 8 runs programs elevated, Wine 10 not: a test that depends on it
  // asks for the token it needs.
  UniqueHandle token;
  if (!TokenWithElevation(run.elevation, token)) {
    result.startError = ERROR_PRIVILEGE_NOT_HELD;
    return result;
  }
  PROCESS_INFORMATION created{};
  const wchar_t* directory = run.currentDirectory.empty() ? nullptr : run.currentDirectory.c_str();
  if (!(token ? CreateProcessAsUserW(token.get(), run.program.c_str(), commandLine.data(), nullptr,
                                     nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, environment.data(),
                                     directory, &startup, &created)
              : CreateProcessW(run.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                               CREATE_UNICODE_ENVIRONMENT, environment.data(), directory, &startup,
                               &created))) {
    result.startError = GetLastError();
    return result;
  }
  result.started = true;
  const UniqueHandle process(created.hProcess);
  const UniqueHandle thread(created.hThread);
  output.reset();
  if (WaitForSingleObject(process.get(), run.timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 5000);
  }
  GetExitCodeProcess(process.get(), &result.exitCode);
  result.output = ReadFileBytes(outputPath);
  return result;
}

LogLines LogTexts(const std::string& output) {
  static const std::regex prefix(R"(^\d{4,}\.\d{3} \| )");
  LogLines texts;
  size_t start = 0;
  while (start < output.size()) {
    const size_t end = output.find("\r\n", start);
    const std::string line =
        output.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::smatch match;
    if (end == std::string::npos || !std::regex_search(line, match, prefix)) {
      texts.push_back("<bad line: " + line + ">");
    } else {
      texts.push_back(line.substr(static_cast<size_t>(match.length(0))));
    }
    if (end == std::string::npos) {
      break;
    }
    start = end + 2;
  }
  return texts;
}

LogLines CaptureRunLog(const std::function<void()>& step) {
  static int captures = 0;
  static const std::wstring folder =
      MakeScratchDirectory(L"run-log-" + std::to_wstring(GetCurrentProcessId()));
  const std::wstring name = std::to_wstring(++captures) + L".log";
  HeldFolder held;
  DWORD error = HoldFolderFollowingLinks(folder, held);
  if (error == ERROR_SUCCESS) {
    error = RedirectRunLog(held, name);
  }
  if (error != ERROR_SUCCESS) {
    return {"<run log not redirected: " + std::to_string(error) + ">"};
  }
  step();
  SetRunLogOutput(GetStdHandle(STD_OUTPUT_HANDLE));
  const std::string bytes = ReadFileBytes(JoinPath(folder, name));
  return bytes.empty() ? LogLines() : LogTexts(bytes);
}

std::string LogQuoted(const std::wstring& path) {
  std::string quoted = "\"";
  for (const char c : Narrow(path)) {
    if (c == '\\' || c == '"') {
      quoted += '\\';
    }
    quoted += c;
  }
  return quoted + "\"";
}

std::vector<std::wstring> SplitLikeAChild(const std::wstring& commandLine) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &count);
  const UniqueLocalMemory owner(argv);
  return argv == nullptr ? std::vector<std::wstring>()
                         : std::vector<std::wstring>(argv, argv + count);
}

namespace {

// Under Wine: the host path of a Windows path, empty elsewhere.
std::string HostPath(const std::wstring& path) {
  using UnixFileName = char*(CDECL*)(const wchar_t*);
  const auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixFileName == nullptr) {
    return std::string();
  }
  char* host = unixFileName(path.c_str());
  if (host == nullptr) {
    return std::string();
  }
  std::string text = host;
  HeapFree(GetProcessHeap(), 0, host);
  return text;
}

}  // namespace

bool IsUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool MakeSymbolicLink(const std::wstring& target, const std::wstring& link, bool directory) {
  if (!IsUnderWine()) {
    // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE, which older SDK headers lack.
    constexpr DWORD kAllowUnprivileged = 0x2;
    const DWORD flags = (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | kAllowUnprivileged;
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) != FALSE;
  }
  // The target may not exist yet, so its host path is its folder's and name.
  const std::string hostTarget = HostPath(ParentPath(target)) + "/" + Narrow(FileName(target));
  return hostTarget[0] == '/' && RunOnHost(ParentPath(link), "ln -s -n -f '" + hostTarget + "' '" +
                                                                 Narrow(FileName(link)) + "'");
}

bool RenameOnHost(const std::wstring& from, const std::wstring& to) {
  const std::string hostTo = HostPath(ParentPath(to)) + "/" + Narrow(FileName(to));
  return hostTo[0] == '/' &&
         RunOnHost(ParentPath(from), "mv '" + Narrow(FileName(from)) + "' '" + hostTo + "'");
}

bool RunOnHost(const std::wstring& folder, const std::string& script) {
  const std::string host = HostPath(folder);
  // Wine runs host programs itself, and gives neither their handle nor
  // their exit code (it leaves the handles as whatever was there): the
  // script leaves its status in a file last.
  const std::wstring done = JoinPath(folder, L"host-status");
  DeleteFileW(done.c_str());
  std::wstring commandLine = L"/bin/sh -c " +
                             QuoteArgument(Widen("cd \"$0\" && { " + script +
                                                 "; }; echo $? >\"$0/.status\"; mv \"$0/.status\" "
                                                 "\"$0/host-status\"")) +
                             L" " + QuoteArgument(Widen(host));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created{};
  if (host.empty() || !CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE,
                                      0, nullptr, nullptr, &startup, &created)) {
    return false;
  }
  for (int i = 0; i < 300 && !FileExists(done); ++i) {
    Sleep(100);
  }
  const std::string status = ReadFileBytes(done);
  return DeleteFileW(done.c_str()) && status == "0\n";
}

bool MapDriveLetter(wchar_t letter, const std::wstring& folder) {
  const std::wstring device = std::wstring(1, letter) + L":";
  const std::wstring marker = L"drive-marker-" + std::to_wstring(GetCurrentProcessId());
  if (!WriteFileBytes(JoinPath(folder, marker), "x")) {
    return false;
  }
  if (!FileExists(device + L"\\" + marker)) {
    DefineDosDeviceW(0, device.c_str(), folder.c_str());
  }
  const bool mapped = FileExists(device + L"\\" + marker);
  DeleteFileW(JoinPath(folder, marker).c_str());
  return mapped;
}

std::wstring CreateHiddenWindowStation(const std::wstring& name) {
  // Kept open on purpose: the station must outlive the programs started in it.
  HWINSTA station = CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
  if (station == nullptr) {
    return std::wstring();
  }
  HWINSTA original = GetProcessWindowStation();
  if (!SetProcessWindowStation(station)) {
    return std::wstring();
  }
  HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(original);
  return desktop == nullptr ? std::wstring() : name + L"\\Default";
}

RegistryFixture::RegistryFixture(std::wstring path) : path_(std::move(path)) {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
  CreateSubkey(L"");
}

RegistryFixture::~RegistryFixture() {
  for (const std::wstring& subkey : denied_) {
    SetSecurity(subkey, L"D:(A;;KA;;;WD)");
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
}

void RegistryFixture::DenyReading(const std::wstring& subkey) {
  CreateSubkey(subkey);
  // Reading values and subkeys is denied; changing the entry is not, so
  // that the fixture can lift it again.
  SetSecurity(subkey, L"D:(D;;0x9;;;WD)(A;;KA;;;WD)");
  denied_.push_back(subkey);
}

void RegistryFixture::SetSecurity(const std::wstring& subkey, const wchar_t* dacl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  UniqueHkey key;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(dacl, SDDL_REVISION_1, &descriptor,
                                                           nullptr) &&
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, (subkey.empty() ? path_ : path_ + L"\\" + subkey).c_str(),
                    0, WRITE_DAC, key.put()) == ERROR_SUCCESS) {
    RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
  }
  LocalFree(descriptor);
}

void RegistryFixture::CreateSubkey(const std::wstring& subkey) {
  UniqueHkey key;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, (subkey.empty() ? path_ : path_ + L"\\" + subkey).c_str(), 0,
                  nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
}

void RegistryFixture::SetValue(const std::wstring& subkey, const std::wstring& name, DWORD type,
                               const void* data, DWORD size) {
  UniqueHkey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (subkey.empty() ? path_ : path_ + L"\\" + subkey).c_str(),
                      0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                      nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  }
}

void RegistryFixture::SetString(const std::wstring& subkey, const std::wstring& name,
                                const std::wstring& value, DWORD type) {
  SetValue(subkey, name, type, value.c_str(),
           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RegistryFixture::SetDword(const std::wstring& subkey, const std::wstring& name, DWORD value) {
  SetValue(subkey, name, REG_DWORD, &value, sizeof(value));
}

void RegistryFixture::SetQword(const std::wstring& subkey, const std::wstring& name,
                               ULONGLONG value) {
  SetValue(subkey, name, REG_QWORD, &value, sizeof(value));
}

void RegistryFixture::SetBinary(const std::wstring& subkey, const std::wstring& name,
                                const std::string& bytes) {
  SetValue(subkey, name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

LegacyRegistration::LegacyRegistration()
    : RegistryFixture(L"SOFTWARE\\WOW6432Node\\EasyAntiCheat") {}

LegacyRegistration::LegacyRegistration(const std::wstring& gamesInstalled) : LegacyRegistration() {
  SetGames(gamesInstalled);
}

void LegacyRegistration::SetGames(const std::wstring& gamesInstalled, DWORD type) {
  SetString(L"", L"GamesInstalled", gamesInstalled, type);
}
