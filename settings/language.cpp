// Language lists from Setting.ini, the text table from the language file, and the switch.
#include "language.h"
#include "settings.h"
#include "../res/resource.h"
#include "share_text.h"
#include "rules/setting_names.h"
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int g_nLangCount;
char** g_ppLangNames;
char** g_ppLangCodes;
int g_nCurLang;
LangText g_text;

void ResetLanguageState()
{
    g_nLangCount = 0;
    g_ppLangNames = nullptr;
    g_ppLangCodes = nullptr;
    g_nCurLang = 0;
    memset(&g_text, 0, sizeof(g_text));
    memset(&g_shareText, 0, sizeof(g_shareText));
}

#define LANG_FIELD(section, field, def) \
    { section, #field, offsetof(LangText, field), sizeof(LangText::field), def }

// Read in this order; Message and Tip have no default text.
static const LangField s_langFields[] = {
    LANG_FIELD("Title", t1, PRODUCT_TITLE_TEXT),
    LANG_FIELD("Title", t2, "No device found"),
    LANG_FIELD("Title", t3, "Disconnected"),
    LANG_FIELD("Title", t4, "Occupid by"),
    LANG_FIELD("Title", t5, "Connected"),
    LANG_FIELD("Title", t6, "Poor wireless signals"),
    LANG_FIELD("Message", msg1, ""),
    LANG_FIELD("Message", msg2, ""),
    LANG_FIELD("Message", msg3, ""),
    LANG_FIELD("Message", msg4, ""),
    LANG_FIELD("Message", msg5, ""),
    LANG_FIELD("Message", msg6, ""),
    LANG_FIELD("Tip", tip1, ""),
    LANG_FIELD("Tip", tip2, ""),
    LANG_FIELD("Tip", tip3, ""),
    LANG_FIELD("Tip", tip4, ""),
    LANG_FIELD("Menu", M1, "Connect"),
    LANG_FIELD("Menu", M2, "Disconnect"),
    LANG_FIELD("Menu", M3, "Exit"),
    LANG_FIELD("Menu", M4, "About"),
    LANG_FIELD("Menu", M5, "Language"),
    LANG_FIELD("Menu", M6, "Start with Windows"),
    LANG_FIELD("Menu", M7, "Settings..."),
    LANG_FIELD("Menu", M8, "Option"),
};

const LangField* GetLangFields(int* pnCount)
{
    *pnCount = (int)(sizeof(s_langFields) / sizeof(s_langFields[0]));
    return s_langFields;
}

// A text from the language file, or its default when there is no usable file.
static void ReadLangString(const char* pszFile, const char* pszSection, const char* pszKey,
                           const char* pszDefault, char* pszOut, DWORD cbOut)
{
    if (pszFile)
        GetPrivateProfileStringA(pszSection, pszKey, pszDefault, pszOut, cbOut, pszFile);
    else
        lstrcpynA(pszOut, pszDefault, (int)cbOut);
    pszOut[cbOut - 1] = '\0';
}

void FreeLangLists()
{
    if (g_ppLangNames) {
        for (int i = 0; i < g_nLangCount; ++i)
            free(g_ppLangNames[i]);
        free(g_ppLangNames);
        g_ppLangNames = nullptr;
    }
    if (g_ppLangCodes) {
        for (int i = 0; i < g_nLangCount; ++i)
            free(g_ppLangCodes[i]);
        free(g_ppLangCodes);
        g_ppLangCodes = nullptr;
    }
    // No arrays, no entries: readers that only look at the count stay sound.
    g_nLangCount = 0;
}

// Both lists with nCount zeroed entries; on any failure nothing is held and 0 is returned.
static int AllocLangLists(int nCount)
{
    g_ppLangNames = (char**)calloc((size_t)nCount, sizeof(char*));
    g_ppLangCodes = (char**)calloc((size_t)nCount, sizeof(char*));
    g_nLangCount = nCount;
    if (!g_ppLangNames || !g_ppLangCodes) {
        FreeLangLists();
        return 0;
    }
    for (int i = 0; i < nCount; ++i) {
        g_ppLangNames[i] = (char*)calloc(LANG_NAME_SIZE, 1);
        g_ppLangCodes[i] = (char*)calloc(LANG_CODE_SIZE, 1);
        if (!g_ppLangNames[i] || !g_ppLangCodes[i]) {
            FreeLangLists();
            return 0;
        }
    }
    return 1;
}

// Codes from Setting.ini, names from the current language's file, and the current index.
static void ReadLangLists(const char* pszLangFile, const char* pszCode)
{
    for (int i = 0; i < g_nLangCount; ++i) {
        char szKey[16];
        snprintf(szKey, sizeof(szKey), INI_LANG_KEY_FORMAT, i);
        GetPrivateProfileStringA(INI_LANG_SECTION, szKey, "", g_ppLangCodes[i], LANG_CODE_SIZE, g_szSettingIni);
        g_ppLangCodes[i][LANG_CODE_SIZE - 1] = '\0';
        snprintf(szKey, sizeof(szKey), "L%d", i + 1);
        ReadLangString(pszLangFile, "Languages", szKey, "", g_ppLangNames[i], LANG_NAME_SIZE);
        // No break: with equal codes the last one is current.
        if (strcmp(g_ppLangCodes[i], pszCode) == 0)
            g_nCurLang = i;
    }
    // An index kept from a longer list would point past this one.
    if (g_nCurLang < 0 || g_nCurLang >= g_nLangCount)
        g_nCurLang = 0;
}

static void ReadLangTexts(const char* pszLangFile)
{
    for (const LangField& field : s_langFields)
        ReadLangString(pszLangFile, field.pszSection, field.pszKey, field.pszDefault,
                       (char*)&g_text + field.nOffset, (DWORD)field.nSize);
}

int LoadLanguage(const char* pszCode)
{
    // A path that would not fit counts as a missing file: defaults apply.
    char szLangFile[APP_PATH_SIZE];
    int nLen = snprintf(szLangFile, sizeof(szLangFile), "%s\\lang\\" PRODUCT_LANG_FILE_PREFIX "%s.ini", g_szAppDir,
                        pszCode);
    const char* pszLangFile = nLen > 0 && nLen < (int)sizeof(szLangFile) ? szLangFile : nullptr;

    // The sharing notices' texts have English defaults even without a language list.
    LoadShareTexts(pszLangFile);
    FreeLangLists();
    int nCount = (int)GetPrivateProfileIntA(INI_LANG_SECTION, INI_LANG_COUNT_KEY, 0, g_szSettingIni);
    if (nCount <= 0)
        return 0;
    if (nCount > MAX_LANGUAGES)
        nCount = MAX_LANGUAGES;
    if (!AllocLangLists(nCount))
        return 0;
    ReadLangLists(pszLangFile, pszCode);
    ReadLangTexts(pszLangFile);
    return 1;
}
