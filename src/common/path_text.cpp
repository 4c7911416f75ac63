#include "common/path_text.h"

#include <filesystem>

#include "common/unique_resource.h"

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring JoinPath(const std::wstring& directory, const std::wstring& name) {
  if (directory.empty() || IsPathSeparator(directory.back())) {
    return directory + name;
  }
  return directory + L'\\' + name;
}

std::wstring ParentPath(const std::wstring& path) {
  return std::filesystem::path(path).parent_path().wstring();
}

std::wstring FileName(const std::wstring& path) {
  return std::filesystem::path(path).filename().wstring();
}

std::wstring FileStem(const std::wstring& path) {
  return std::filesystem::path(path).stem().wstring();
}

namespace {

bool IsNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_BAD_NETPATH || error == ERROR_INVALID_NAME;
}

}  // namespace

DWORD TestPathExists(const std::wstring& path, bool& exists) {
  exists = false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return IsNotFoundError(error) ? ERROR_SUCCESS : error;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    exists = true;
    return ERROR_SUCCESS;
  }
  // A link exists only when its target does: open through it.
  UniqueFileHandle target(CreateFileW(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!target) {
    const DWORD error = GetLastError();
    return IsNotFoundError(error) ? ERROR_SUCCESS : error;
  }
  exists = true;
  return ERROR_SUCCESS;
}

void ClearReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
}

std::wstring QuoteProgramPath(const std::wstring& path) {
  if (path.find_first_of(L" \t") == std::wstring::npos) {
    return path;
  }
  return L'"' + path + L'"';
}

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only before a quote.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  // ... and before the closing quote.
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}
