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

// A known folder's path for the running account, or the system's; empty
// when there is none.
std::wstring KnownFolderPath(REFKNOWNFOLDERID folder) {
  UniqueIdList list;
  std::wstring path(UNICODE_STRING_MAX_CHARS, L'\0');
  // The ID list and its path need nothing beyond shell32; the path form
  // would need ole32 loaded to free it.
  if (FAILED(SHGetKnownFolderIDList(folder, KF_FLAG_DONT_VERIFY, nullptr, list.put())) ||
      !SHGetPathFromIDListEx(list.get(), path.data(), static_cast<DWORD>(path.size()),
                             GPFIDL_DEFAULT)) {
    return {};
  }
  path.resize(wcslen(path.c_str()));
  return path;
}

}  // namespace

SharedFolders ReadSharedFolders() {
  SharedFolders shared;
  const auto add = [](std::vector<std::wstring>& list, const std::wstring& path) {
    if (path.empty()) {
      return;
    }
    list.push_back(path);
    std::wstring finalPath;
    if (GetFinalPathOf(path, finalPath) == ERROR_SUCCESS) {
      list.push_back(finalPath);
    }
  };
  const std::wstring profile = KnownFolderPath(FOLDERID_Profile);
  for (const KNOWNFOLDERID* folder :
       {&FOLDERID_Profile, &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData, &FOLDERID_Documents,
        &FOLDERID_Desktop, &FOLDERID_Downloads, &FOLDERID_Public, &FOLDERID_ProgramFiles,
        &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesCommon, &FOLDERID_ProgramFilesCommonX86,
        &FOLDERID_ProgramData}) {
    const std::wstring path = KnownFolderPath(*folder);
    add(shared.exact, path);
    if (folder == &FOLDERID_ProgramData && !path.empty()) {
      add(shared.exact, JoinPath(path, L"Microsoft"));
    }
    std::wstring inProfile;
    if (RelativePathInside(profile, path, inProfile)) {
      shared.inEveryProfile.push_back(inProfile);
    }
  }
  add(shared.whole, KnownFolderPath(FOLDERID_Windows));
  add(shared.profiles, KnownFolderPath(FOLDERID_UserProfiles));
  return shared;
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
