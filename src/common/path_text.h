#pragma once
// Path text, handled lexically: backslash and slash both separate, and
// nothing here asks the file system.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

bool IsPathSeparator(wchar_t c);

// Joins with one backslash unless `directory` is empty or already ends in a
// separator.
std::wstring JoinPath(const std::wstring& directory, const std::wstring& name);

// The path without its last component and the separators before it; a root
// keeps its separator (C:\Launcher.exe gives C:\).
std::wstring ParentPath(const std::wstring& path);

// The last component: the text after the last separator (or drive colon).
std::wstring FileName(const std::wstring& path);

// The file name without its extension (my.tool.exe gives my.tool; .profile
// has none).
std::wstring FileStem(const std::wstring& path);

// True when the two paths are the same text but for letter case, compared
// the way file systems compare names: through the platform's upcase table,
// whatever the user's language.
bool EqualPathsIgnoringCase(std::wstring_view left, std::wstring_view right);

// When `path` lies below `root` (letter case aside), sets `relative` to the
// names after it, "\"-separated as given, and returns true.
bool RelativePathInside(const std::wstring& root, const std::wstring& path, std::wstring& relative);

// The last name of `path`: the text after its last separator.
std::wstring_view LastName(std::wstring_view path);

// `name` without the dots and blanks at its end, which Windows drops from a
// name it is given and Wine from a name it reports (a Linux file may end in
// them).
std::wstring_view WithoutTrailingDotsAndBlanks(std::wstring_view name);

// True when `reported`, the name the platform gives an opened object, is
// `expected`: name by name, letter case aside and the dots and blanks at a
// name's end aside.
bool IsObjectNamed(std::wstring_view reported, std::wstring_view expected);

// `path` without separators at its end; a lone separator stays.
std::wstring WithoutTrailingSeparators(std::wstring path);

// True for the root of a volume: C:\, C:, \\server\share\, \\?\C:\ or
// \\?\Volume{...}\, trailing separators aside.
bool IsVolumeRoot(const std::wstring& path);

// The root of an absolute path (C:\ or \\server\share\) and the names below
// it, "." and ".." resolved as Windows resolves them. False for a path
// without a root of its own: relative, drive-relative, \\?\Volume{...}, a device.
bool SplitRootAndNames(const std::wstring& path, std::wstring& root,
                       std::vector<std::wstring>& names);

// `path` with one backslash between its names, "." and ".." resolved and no
// separator at the end (C:/Games/./Foo/ gives C:\Games\Foo); a path without
// a root of its own is returned unchanged.
std::wstring NormalizedAbsolutePath(const std::wstring& path);

// The form Windows accepts for a path of 260 characters or more: \\?\C:\...
// or \\?\UNC\server\share\..., with slashes turned and "." and ".."
// resolved, since that form is taken literally. Shorter, relative and
// already extended paths are returned unchanged.
std::wstring ExtendedLengthPath(const std::wstring& path);

// The plain form of a path the platform reports as \\?\C:\... or
// \\?\UNC\server\share\...; other paths (\\?\Volume{...} among them) are
// returned unchanged.
std::wstring WithoutExtendedPrefix(const std::wstring& path);
