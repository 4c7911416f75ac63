#pragma once
// The launcher's only user interface: message boxes on the desktop, or sent
// to the user at the console from a service's window station.

#include <windows.h>

#include <string>
#include <vector>

extern const wchar_t* const kMessageCaption;

// The block of the string table a user whose display language is `display`
// reads, among the languages `blocks`: the same language id; else the
// nearest of the same language (its neutral block, then any block of the
// language; where one primary id covers several languages or scripts,
// Croatian, Serbian and Bosnian, Latin and Cyrillic Azerbaijani or
// simplified and traditional Chinese, only blocks of the user's own); else
// English (0x0009). Dari reads as Persian.
LANGID ChooseTextLanguage(LANGID display, const std::vector<LANGID>& blocks);

// True for a language written right to left: Arabic, Hebrew, Persian, Urdu.
bool IsRightToLeftLanguage(LANGID language);

// The languages of `instance`'s string-table block that holds string `id`;
// empty when it has none.
std::vector<LANGID> StringBlockLanguages(HINSTANCE instance, UINT id);

// The block of `instance`'s string table (the one holding string `id`) that
// the user's display language reads.
LANGID ChooseUserTextLanguage(HINSTANCE instance, UINT id);

// Message-box styles: system-modal, and right-aligned right-to-left reading
// when the text shown is right to left. The question shows the launcher's icon.
UINT QuestionStyle(bool rightToLeft);
UINT ErrorStyle(bool rightToLeft);

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

// String `id` of `instance`'s table in exactly the block of `language`, or
// `fallback` when that block or the string is missing or empty.
std::wstring LoadLocalizedText(HINSTANCE instance, LANGID language, UINT id,
                               const wchar_t* fallback);
