#include "message_box_answerer.h"

namespace {

// The controls of the platform's message box dialog.
constexpr int kTextControlId = 0xFFFF;
constexpr int kIconControlId = 0x0440;

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

SeenMessageBox AnswerMessageBox(const std::wstring& caption, int button, DWORD timeoutMs) {
  SeenMessageBox seen;
  HWND box = nullptr;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while ((box = FindWindowW(L"#32770", caption.c_str())) == nullptr) {
    if (GetTickCount64() > deadline) {
      return seen;
    }
    Sleep(50);
  }
  // Give the dialog time to finish its set-up before reading it.
  Sleep(300);
  seen.found = true;
  HWND text = GetDlgItem(box, kTextControlId);
  seen.text = text != nullptr ? WindowText(text) : std::wstring();
  seen.hasYes = GetDlgItem(box, IDYES) != nullptr;
  seen.hasNo = GetDlgItem(box, IDNO) != nullptr;
  seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
  HWND icon = GetDlgItem(box, kIconControlId);
  seen.hasIcon =
      icon != nullptr && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
  seen.exStyle = GetWindowLongW(box, GWL_EXSTYLE);
  seen.topmost = (seen.exStyle & WS_EX_TOPMOST) != 0;
  if (text != nullptr) {
    seen.textStyle = GetWindowLongW(text, GWL_STYLE);
    seen.textExStyle = GetWindowLongW(text, GWL_EXSTYLE);
    seen.textRightAligned = (seen.textStyle & SS_RIGHT) != 0;
  }
  seen.rightToLeft =
      ((seen.exStyle | seen.textExStyle) & (WS_EX_RTLREADING | WS_EX_LAYOUTRTL)) != 0;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  return seen;
}
