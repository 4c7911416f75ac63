#include "legacy/cleanup_scope.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>

#include "common/file_system.h"
#include "common/path_text.h"
#include "common/unique_resource.h"

namespace {

// The form paths are compared in: no \\?\ prefix, no separator at the end.
std::wstring ComparedForm(const std::wstring& path) {
  return WithoutTrailingSeparators(WithoutExtendedPrefix(path));
}

// True when `outer` is `inner` or holds it, both in compared form.
bool IsOrHolds(const std::wstring& outer, const std::wstring& inner) {
  std::wstring ignored;
  return !inner.empty() &&
         (EqualPathsIgnoringCase(outer, inner) || RelativePathInside(outer, inner, ignored));
}

// The Windows error code an HRESULT carries; the HRESULT itself for one
// that carries none.
DWORD ErrorOfResult(HRESULT result) {
  return HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                    : static_cast<DWORD>(result);
}

// A known folder's path for the running account, or the system's. Returns 0
// or the error.
DWORD KnownFolderPath(REFKNOWNFOLDERID folder, std::wstring& path) {
  UniqueIdList list;
  path.assign(UNICODE_STRING_MAX_CHARS, L'\0');
  // The ID list and its path need nothing beyond shell32; the path form
  // would need ole32 loaded to free it.
  if (const HRESULT result =
          SHGetKnownFolderIDList(folder, KF_FLAG_DONT_VERIFY, nullptr, list.put());
      FAILED(result)) {
    return ErrorOfResult(result);
  }
  if (!SHGetPathFromIDListEx(list.get(), path.data(), static_cast<DWORD>(path.size()),
                             GPFIDL_DEFAULT)) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : static_cast<DWORD>(ERROR_PATH_NOT_FOUND);
  }
  path.resize(wcslen(path.c_str()));
  return ERROR_SUCCESS;
}

// Adds `path` to `list`, and the path it resolves to where it exists.
// Returns 0 or the error of resolving it.
DWORD AddSharedFolder(std::vector<std::wstring>& list, const std::wstring& path) {
  list.push_back(path);
  std::wstring finalPath;
  const DWORD error = GetFinalPathOf(path, finalPath);
  if (error == ERROR_SUCCESS) {
    list.push_back(finalPath);
  }
  // A folder that isn't there stands for no other.
  return IsNotFoundError(error) ? ERROR_SUCCESS : error;
}

// Adds the known `folder` to `list`, and, with `alsoInside`, its folder of
// that name. Returns 0 or the error.
DWORD AddKnownFolder(REFKNOWNFOLDERID folder, std::vector<std::wstring>& list, std::wstring& path,
                     const wchar_t* alsoInside = nullptr) {
  DWORD error = KnownFolderPath(folder, path);
  if (error == ERROR_SUCCESS) {
    error = AddSharedFolder(list, path);
  }
  if (error == ERROR_SUCCESS && alsoInside != nullptr) {
    error = AddSharedFolder(list, JoinPath(path, alsoInside));
  }
  return error;
}

}  // namespace

DWORD ReadSharedFolders(SharedFolders& shared) {
  shared = SharedFolders{};
  std::wstring profile;
  if (const DWORD error = KnownFolderPath(FOLDERID_Profile, profile); error != ERROR_SUCCESS) {
    return error;
  }
  for (const KNOWNFOLDERID* folder :
       {&FOLDERID_Profile, &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData, &FOLDERID_Documents,
        &FOLDERID_Desktop, &FOLDERID_Downloads, &FOLDERID_Public, &FOLDERID_ProgramFiles,
        &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesCommon, &FOLDERID_ProgramFilesCommonX86,
        &FOLDERID_ProgramData}) {
    std::wstring path;
    if (const DWORD error = AddKnownFolder(
            *folder, shared.exact, path, folder == &FOLDERID_ProgramData ? L"Microsoft" : nullptr);
        error != ERROR_SUCCESS) {
      return error;
    }
    std::wstring inProfile;
    if (RelativePathInside(profile, path, inProfile)) {
      shared.inEveryProfile.push_back(inProfile);
    }
  }
  std::wstring path;
  DWORD error = AddKnownFolder(FOLDERID_Windows, shared.whole, path);
  if (error == ERROR_SUCCESS) {
    error = AddKnownFolder(FOLDERID_UserProfiles, shared.profiles, path);
  }
  return error;
}

bool IsTooBroadForCleanup(const std::wstring& folder, const SharedFolders& shared) {
  const std::wstring plain = ComparedForm(folder);
  if (plain.empty() || IsVolumeRoot(plain)) {
    return true;
  }
  // A folder that holds a shared one holds more than a game too.
  const auto refused = [&](const std::wstring& sharedFolder) {
    return IsOrHolds(plain, ComparedForm(sharedFolder));
  };
  const auto inside = [&](const std::wstring& sharedFolder) {
    std::wstring ignored;
    return !sharedFolder.empty() && RelativePathInside(ComparedForm(sharedFolder), plain, ignored);
  };
  // A profile itself, or one of its shared folders, in any account's profile.
  const auto inAProfile = [&](const std::wstring& profiles) {
    std::wstring inProfiles;
    if (profiles.empty() || !RelativePathInside(ComparedForm(profiles), plain, inProfiles)) {
      return false;
    }
    const size_t separator = inProfiles.find_first_of(L"\\/");
    if (separator == std::wstring::npos) {
      return true;
    }
    const std::wstring inProfile = inProfiles.substr(separator + 1);
    return std::any_of(
        shared.inEveryProfile.begin(), shared.inEveryProfile.end(),
        [&](const std::wstring& path) { return IsOrHolds(inProfile, ComparedForm(path)); });
  };
  return std::any_of(shared.exact.begin(), shared.exact.end(), refused) ||
         std::any_of(shared.whole.begin(), shared.whole.end(), refused) ||
         std::any_of(shared.whole.begin(), shared.whole.end(), inside) ||
         std::any_of(shared.profiles.begin(), shared.profiles.end(), refused) ||
         std::any_of(shared.profiles.begin(), shared.profiles.end(), inAProfile);
}

DWORD CheckCleanupScope(const std::wstring& installDir, HANDLE game, bool& tooBroad) {
  tooBroad = true;
  SharedFolders shared;
  std::wstring finalPath;
  DWORD error = ReadSharedFolders(shared);
  if (error == ERROR_SUCCESS) {
    error = GetFinalPath(game, finalPath);
  }
  if (error == ERROR_SUCCESS) {
    tooBroad = IsTooBroadForCleanup(NormalizedAbsolutePath(installDir), shared) ||
               IsTooBroadForCleanup(finalPath, shared);
  }
  return error;
}
