// The texts of the sharing notices, from the language file's [Share] section, kept
// apart from the text table of the tray and the dialogs. "%1" in a text stands for a
// computer's name (or nothing); no other placeholder is read, so a translation can
// never make the formatting read arguments that are not there.
#pragma once
#include <windows.h>
#include "language.h"

// The notification area's limits: a notice's title and text, with their terminators.
constexpr int NOTICE_TITLE_SIZE = 64;
constexpr int NOTICE_TEXT_SIZE = 256;

struct ShareText {
    char away_title[NOTICE_TITLE_SIZE];        // the device is about to be given back
    char away_text[NOTICE_TEXT_SIZE];
    char back_title[NOTICE_TITLE_SIZE];        // the user is back after a release
    char back_connected[NOTICE_TEXT_SIZE];     // ... and the device is here again
    char back_in_use[NOTICE_TEXT_SIZE];        // ... and %1 has it now
    char free_title[NOTICE_TITLE_SIZE];        // %1 has given the device back
    char free_text[NOTICE_TEXT_SIZE];          // ... click to connect
    char connected_title[NOTICE_TITLE_SIZE];   // attached here after a wait
    char connected_text[NOTICE_TEXT_SIZE];     // ... %1 had it
};
extern ShareText g_shareText;

// The language file's section of these texts.
#define SHARE_TEXT_SECTION "Share"
// The table of these texts, in reading order (same shape as the main table).
const LangField* GetShareTextFields(int* pnCount);
// Reads every text from the file (null: none), each with its English default.
void LoadShareTexts(const char* pszLangFile);
// Copies the text into the buffer with each "%1" replaced by the name; always
// terminated, cut at the buffer's size. Returns 1.
int FormatNoticeText(const char* pszText, const char* pszName, char* pszOut, size_t cbOut);
