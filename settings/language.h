// Language lists, the text table and the language switch.
#pragma once
#include <windows.h>
#include <cstddef>
#include "product.h"

constexpr int LANG_CODE_SIZE = PRODUCT_LANG_CODE_SIZE;
constexpr int LANG_NAME_SIZE = 50;

// Most entries the language lists hold, whatever Setting.ini's "num" says:
// the menu shows one item per language, and the lists are built on the UI thread.
constexpr int MAX_LANGUAGES = 100;

// Every user-visible word, filled from the current language file.
struct LangText {
    char t1[50], t2[50], t3[50], t4[50], t5[50], t6[50];
    char msg1[256], msg2[256], msg3[256];
    char msg4[30], msg5[30], msg6[30];
    char tip1[256], tip2[256], tip3[256], tip4[256];
    char M1[50], M2[50], M3[50], M4[50], M5[50], M6[50], M7[50], M8[50];
};

// Written only here; read by the tray menu (the lists) and by the tray and the dialogs (the texts).
extern int g_nLangCount;       // entries of both lists; 0 or less: no languages
extern char** g_ppLangNames;   // LANG_NAME_SIZE bytes each
extern char** g_ppLangCodes;   // LANG_CODE_SIZE bytes each
extern int g_nCurLang;         // index of the current language in the lists
extern LangText g_text;

// The lists and both text tables (with the sharing notices') at their start values: no
// lists, every text empty. The lists must have been released.
void ResetLanguageState();
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
