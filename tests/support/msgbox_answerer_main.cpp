// msgbox_answerer.exe CAPTION yes|no|ok|none [TIMEOUT_MS]: answers one
// message box (or, with none, only waits for it) and prints what it showed;
// for scripts such as the screenshot one.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "message_box_answerer.h"
#include "test_support.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: msgbox_answerer CAPTION yes|no|ok|none [TIMEOUT_MS]\n", stderr);
    return 2;
  }
  const std::wstring answer = argv[2];
  const int button = answer == L"yes" ? IDYES : answer == L"no" ? IDNO : answer == L"ok" ? IDOK : 0;
  const DWORD timeout = argc > 3 ? static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) : 30000;
  const SeenMessageBox seen = AnswerMessageBox(argv[1], button, timeout);
  if (!seen.found) {
    std::fputs("no message box\n", stderr);
    return 1;
  }
  std::printf(
      "text: %s\nbuttons:%s%s%s\nicon: %d\ntopmost: %d\nright-to-left: %d\nrect: %ld %ld %ld "
      "%ld\n",
      Narrow(seen.text).c_str(), seen.hasYes ? " yes" : "", seen.hasNo ? " no" : "",
      seen.hasOk ? " ok" : "", seen.hasIcon, seen.topmost, seen.rightToLeft, seen.rect.left,
      seen.rect.top, seen.rect.right - seen.rect.left, seen.rect.bottom - seen.rect.top);
  return 0;
}
