// Language lists, the text table and the language switch.
#pragma once
#include <windows.h>

// Most entries the language lists hold, whatever Setting.ini's "num" says:
// the menu shows one item per language, and the lists are built on the UI thread.
constexpr int MAX_LANGUAGES = 100;

// The language step of LoadSettings for the given current code:
// 1 when the texts were loaded, 0 when there are no languages.
int LoadLanguage(const char* pszCode);
// Releases both language lists; safe to call twice.
void FreeLangLists();
// Stores the language of menu command nCommandId, reloads, re-titles the tray icon.
void SwitchLanguage(HWND hWnd, UINT nCommandId);
