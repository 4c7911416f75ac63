#include "common/path_text.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <vector>

// The upcase table file systems compare names by; a pure lookup that can't
// fail, unlike the comparisons of kernel32, which take a length and flags.
extern "C" __declspec(dllimport) WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR source);

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool IsDriveAbsolute(const std::wstring& path) {
  return path.size() >= 3 && path[1] == L':' && IsPathSeparator(path[2]) &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

bool IsUnc(const std::wstring& path) {
  return path.size() >= 3 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]) &&
         !IsPathSeparator(path[2]);
}

// The names of `path` between its separators, however many there are.
std::vector<std::wstring> PathNames(const std::wstring& path) {
  std::vector<std::wstring> names;
  size_t position = 0;
  while (position < path.size()) {
    while (position < path.size() && IsPathSeparator(path[position])) {
      ++position;
    }
    size_t end = position;
    while (end < path.size() && !IsPathSeparator(path[end])) {
      ++end;
    }
    if (end > position) {
      names.push_back(path.substr(position, end - position));
    }
    position = end;
  }
  return names;
}

}  // namespace

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

bool EqualPathsIgnoringCase(std::wstring_view left, std::wstring_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(), [](wchar_t a, wchar_t b) {
           return a == b || RtlUpcaseUnicodeChar(a) == RtlUpcaseUnicodeChar(b);
         });
}

bool RelativePathInside(const std::wstring& root, const std::wstring& path,
                        std::wstring& relative) {
  if (root.empty() || path.size() <= root.size() ||
      !EqualPathsIgnoringCase(root, std::wstring_view(path).substr(0, root.size()))) {
    return false;
  }
  size_t start = root.size();
  if (!IsPathSeparator(root.back())) {
    if (!IsPathSeparator(path[start])) {
      return false;  // C:\Game is no folder of C:\Games
    }
    ++start;
  }
  if (start >= path.size() || IsPathSeparator(path[start])) {
    return false;
  }
  relative = path.substr(start);
  return true;
}

std::wstring_view LastName(std::wstring_view path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

std::wstring_view WithoutTrailingDotsAndBlanks(std::wstring_view name) {
  const size_t last = name.find_last_not_of(L". ");
  return name.substr(0, last == std::wstring_view::npos ? 0 : last + 1);
}

bool IsObjectNamed(std::wstring_view reported, std::wstring_view expected) {
  for (;;) {
    const size_t reportedEnd = std::min(reported.find(L'\\'), reported.size());
    const size_t expectedEnd = std::min(expected.find(L'\\'), expected.size());
    if (!EqualPathsIgnoringCase(WithoutTrailingDotsAndBlanks(reported.substr(0, reportedEnd)),
                                WithoutTrailingDotsAndBlanks(expected.substr(0, expectedEnd)))) {
      return false;
    }
    if (reportedEnd == reported.size() || expectedEnd == expected.size()) {
      return reportedEnd == reported.size() && expectedEnd == expected.size();
    }
    reported.remove_prefix(reportedEnd + 1);
    expected.remove_prefix(expectedEnd + 1);
  }
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 1 && IsPathSeparator(path.back())) {
    path.pop_back();
  }
  return path;
}

bool IsVolumeRoot(const std::wstring& path) {
  const std::wstring plain = WithoutTrailingSeparators(WithoutExtendedPrefix(path));
  if (plain.size() == 2 && plain[1] == L':') {
    return true;
  }
  if (StartsWith(plain, kExtendedPrefix)) {
    // \\?\Volume{...}: one name after the prefix.
    return plain.find_first_of(L"\\/", std::size(kExtendedPrefix) - 1) == std::wstring::npos;
  }
  // \\server\share: two names.
  return IsUnc(plain) && PathNames(plain).size() <= 2;
}

bool SplitRootAndNames(const std::wstring& path, std::wstring& root,
                       std::vector<std::wstring>& names) {
  const std::wstring plain = WithoutExtendedPrefix(path);
  const bool unc = IsUnc(plain) && plain[2] != L'?' && plain[2] != L'.';
  if (!unc && !IsDriveAbsolute(plain)) {
    return false;
  }
  const std::vector<std::wstring> all = PathNames(plain);
  const size_t rootNames = unc ? 2 : 1;
  if (all.size() < rootNames) {
    return false;
  }
  root = unc ? L"\\\\" + all[0] + L"\\" + all[1] + L"\\" : all[0] + L"\\";
  names.clear();
  for (size_t i = rootNames; i < all.size(); ++i) {
    if (all[i] == L"..") {
      if (!names.empty()) {
        names.pop_back();
      }
    } else if (all[i] != L".") {
      names.push_back(all[i]);
    }
  }
  return true;
}

std::wstring NormalizedAbsolutePath(const std::wstring& path) {
  std::wstring root;
  std::vector<std::wstring> names;
  if (!SplitRootAndNames(path, root, names)) {
    return path;
  }
  std::wstring normalized = root;
  for (size_t i = 0; i < names.size(); ++i) {
    normalized += (i == 0 ? L"" : L"\\") + names[i];
  }
  return normalized;
}

std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (path.size() < MAX_PATH || StartsWith(path, kExtendedPrefix) ||
      StartsWith(path, kDevicePrefix)) {
    return path;
  }
  // That form is taken literally: slashes, "." and ".." must be gone first.
  std::wstring root;
  std::vector<std::wstring> names;
  if (!SplitRootAndNames(path, root, names)) {
    return path;
  }
  std::wstring extended = NormalizedAbsolutePath(path);
  extended = IsUnc(extended) ? kExtendedUncPrefix + extended.substr(2) : kExtendedPrefix + extended;
  if (!names.empty() && IsPathSeparator(path.back())) {
    extended += L'\\';
  }
  return extended;
}

std::wstring WithoutExtendedPrefix(const std::wstring& path) {
  if (StartsWith(path, kExtendedUncPrefix)) {
    return L"\\\\" + path.substr(std::size(kExtendedUncPrefix) - 1);
  }
  // \\?\Volume{...} has no plain form and stays as it is.
  const std::wstring rest = StartsWith(path, kExtendedPrefix)
                                ? path.substr(std::size(kExtendedPrefix) - 1)
                                : std::wstring();
  return rest.size() >= 2 && rest[1] == L':' ? rest : path;
}
