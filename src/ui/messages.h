#pragma once
// The launcher's only user interface: message boxes on the desktop, or sent
// to the user at the console from a service's window station.

#include <windows.h>

#include <string>

extern const wchar_t* const kMessageCaption;

// True when the user's default language is Arabic, whose boxes read right
// to left.
bool IsArabicUserLanguage();

// Message-box styles: system-modal, and right-aligned right-to-left reading
// for Arabic users. The question shows the launcher's icon.
UINT QuestionStyle(bool arabic);
UINT ErrorStyle(bool arabic);

// Shows `text` and returns the button chosen: IDYES, IDNO, IDOK...; 3 (IDABORT)
// when the message can't be sent to the console session, 0 when the box fails.
int ShowUserMessage(HINSTANCE instance, const std::wstring& text, UINT style, const wchar_t* icon);

// The style sent to the console session: a user icon can't travel there, so
// MB_USERICON becomes MB_ICONINFORMATION.
UINT ConsoleMessageStyle(UINT style);

// The system's text for `code`, trailing line break included; empty when the
// system has none.
std::wstring FormatSystemMessage(DWORD code);

// printf-style formatting into at most 255 characters: a longer text is cut.
std::wstring FormatErrorBoxText(const wchar_t* format, ...);

// String `id` of the launcher's table in the user's language, or `fallback`.
std::wstring LoadLocalizedText(HINSTANCE instance, UINT id, const wchar_t* fallback);
