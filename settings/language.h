// Language lists, the text table and the language switch.
#pragma once
#include <windows.h>

// Most entries the language lists hold, whatever Setting.ini's "num" says:
// the menu shows one item per language, and the lists are built on the UI thread.
constexpr int MAX_LANGUAGES = 100;

// The language step of LoadSettings for the given current code:
// 1 when the texts were loaded, 0 when there are no languages.
int LoadLanguage(const char* pszCode);
// One field of LangText: the language file's section and key it is read from,
// where it goes, and its built-in text when the file lacks it.
struct LangField {
    const char* pszSection;
    const char* pszKey;
    size_t nOffset;
    size_t nSize;
    const char* pszDefault;
};
// The whole text table, in reading order; its length in *pnCount.
const LangField* GetLangFields(int* pnCount);
// Releases both language lists; safe to call twice.
void FreeLangLists();
