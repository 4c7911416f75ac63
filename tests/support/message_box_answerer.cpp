#include "message_box_answerer.h"

#include <cwchar>
#include <vector>

namespace {

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM list) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

bool IsStatic(HWND window) { return _wcsicmp(ClassName(window).c_str(), L"Static") == 0; }

bool IsIconStatic(HWND window) {
  return (static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & SS_TYPEMASK) == SS_ICON;
}

// The box is found as soon as it exists, but it is filled in before it is
// shown: wait for it to be visible.
HWND WaitForVisibleBox(const std::wstring& caption, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    HWND box = FindWindowW(L"#32770", caption.c_str());
    if (box != nullptr && IsWindowVisible(box)) {
      return box;
    }
    if (GetTickCount64() > deadline) {
      return nullptr;
    }
    Sleep(50);
  }
}

}  // namespace

// Windows and Wine give the text control different ids (0xFFFF under Wine
// 8), so the controls are told apart by kind: the icon is the static control
// of style SS_ICON, the text the other static control.
SeenMessageBox AnswerMessageBox(const std::wstring& caption, int button, DWORD timeoutMs) {
  SeenMessageBox seen;
  HWND box = WaitForVisibleBox(caption, timeoutMs);
  if (box == nullptr) {
    return seen;
  }
  seen.found = true;
  HWND text = nullptr;
  HWND icon = nullptr;
  for (HWND child : Children(box)) {
    wchar_t line[512];
    std::swprintf(line, 512, L"id=0x%x class=%ls style=0x%lx exstyle=0x%lx text=%ls\n",
                  GetDlgCtrlID(child), ClassName(child).c_str(), GetWindowLongW(child, GWL_STYLE),
                  GetWindowLongW(child, GWL_EXSTYLE), WindowText(child).c_str());
    seen.controls += line;
    if (IsStatic(child) && IsWindowVisible(child)) {
      (IsIconStatic(child) ? icon : text) = child;
    }
  }
  seen.text = text != nullptr ? WindowText(text) : std::wstring();
  seen.hasYes = GetDlgItem(box, IDYES) != nullptr;
  seen.hasNo = GetDlgItem(box, IDNO) != nullptr;
  seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
  seen.hasIcon = icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
  seen.exStyle = GetWindowLongW(box, GWL_EXSTYLE);
  seen.topmost = (seen.exStyle & WS_EX_TOPMOST) != 0;
  if (text != nullptr) {
    seen.textStyle = GetWindowLongW(text, GWL_STYLE);
    seen.textExStyle = GetWindowLongW(text, GWL_EXSTYLE);
    seen.textRightAligned = (seen.textStyle & SS_TYPEMASK) == SS_RIGHT;
  }
  seen.rightToLeft =
      ((seen.exStyle | seen.textExStyle) & (WS_EX_RTLREADING | WS_EX_LAYOUTRTL)) != 0;
  GetWindowRect(box, &seen.rect);
  if (button == 0) {
    return seen;
  }
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  return seen;
}
