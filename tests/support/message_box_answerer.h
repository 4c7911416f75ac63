#pragma once
// Finds a message box by its caption on the test's desktop, reads what it
// shows and presses one of its buttons, as a user would.

#include <windows.h>

#include <string>

struct SeenMessageBox {
  bool found = false;
  std::wstring text;
  bool hasYes = false;
  bool hasNo = false;
  bool hasOk = false;
  bool hasIcon = false;  // an icon control holds an image
  bool topmost = false;  // system-modal boxes stay on top
  bool textRightAligned = false;
  bool rightToLeft = false;  // the box lays out or reads right to left
  LONG exStyle = 0;
  LONG textStyle = 0;
  LONG textExStyle = 0;
  RECT rect{};            // the box on the screen, frame included
  std::wstring controls;  // one line per child window, for failure messages
};

// Waits up to `timeoutMs` for a box captioned `caption` to show, reads it and
// presses `button` (IDYES, IDNO, IDOK...; 0 leaves the box open).
SeenMessageBox AnswerMessageBox(const std::wstring& caption, int button, DWORD timeoutMs);
