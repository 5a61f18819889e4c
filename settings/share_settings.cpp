// The [share] choices, each from its sources in one order: a policy (computer, then user),
// the user's "autoconnect", Setting.ini, the built-in default.
#include "share_settings.h"
#include "policy.h"
#include "rules/reg_key.h"
#include "rules/text_rules.h"
#include <cstdio>
#include <cstring>

// A [share] value longer than this is malformed anyway.
constexpr int SHARE_VALUE_SIZE = 32;

const char* SettingSourceName(SettingSource source)
{
    switch (source) {
    case SOURCE_MACHINE:         return "the machine's defaults";
    case SOURCE_USER:            return "the user's registry";
    case SOURCE_SETTING_INI:     return "Setting.ini";
    case SOURCE_USER_POLICY:     return "user policy";
    case SOURCE_COMPUTER_POLICY: return "computer policy";
    default:                     return "built in";
    }
}

const char* SettingSourceKey(SettingSource source)
{
    switch (source) {
    case SOURCE_MACHINE:         return "machine";
    case SOURCE_USER:            return "user";
    case SOURCE_SETTING_INI:     return "setting_ini";
    case SOURCE_USER_POLICY:     return "user_policy";
    case SOURCE_COMPUTER_POLICY: return "computer_policy";
    default:                     return "built_in";
    }
}

static void SetDefault(SettingValue* pValue, int nDefault)
{
    pValue->nValue = nDefault;
    pValue->source = SOURCE_BUILT_IN;
    pValue->szIgnored[0] = '\0';
}

// The key's text in [share]; 0 when the key is absent. A cut text is malformed.
static int ReadShareText(const char* pszIni, const char* pszKey, char* pszText, int cbText)
{
    const char* pszAbsent = "\x01";   // no value of a file can be this
    GetPrivateProfileStringA(PRODUCT_SHARE_SECTION, pszKey, pszAbsent, pszText, cbText, pszIni);
    return strcmp(pszText, pszAbsent) != 0;
}

static void NoteIgnored(SettingValue* pValue, const char* pszKey, const char* pszText, const char* pszWhere)
{
    snprintf(pValue->szIgnored, sizeof(pValue->szIgnored), "%s=%s in %s", pszKey, pszText, pszWhere);
}

// A value of Setting.ini from nMin to nMax; anything else is noted and leaves the default.
static void ReadIniNumber(const char* pszIni, const char* pszKey, int nMin, int nMax, SettingValue* pValue)
{
    char szText[SHARE_VALUE_SIZE];
    if (!ReadShareText(pszIni, pszKey, szText, sizeof(szText)))
        return;
    long nValue = 0;
    if (ParseBoundedNumber(szText, nMin, nMax, &nValue)) {
        pValue->nValue = (int)nValue;
        pValue->source = SOURCE_SETTING_INI;
    } else {
        NoteIgnored(pValue, pszKey, szText, "Setting.ini");
    }
}

// The user's REG_DWORD 0 or 1; another type or number is noted and leaves what was there.
static void ReadUserSwitch(const char* pszName, SettingValue* pValue)
{
    RegKey key;
    if (key.Open(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return;
    DWORD dwType = 0, dwValue = 0, cb = sizeof(dwValue);
    LONG nResult = RegQueryValueExA(key.Handle(), pszName, nullptr, &dwType, (BYTE*)&dwValue, &cb);
    if (nResult == ERROR_FILE_NOT_FOUND)
        return;
    if (nResult == ERROR_SUCCESS && dwType == REG_DWORD && cb == sizeof(dwValue) && dwValue <= 1) {
        pValue->nValue = (int)dwValue;
        pValue->source = SOURCE_USER;
        return;
    }
    char szWhat[32];
    if (nResult == ERROR_SUCCESS && dwType == REG_DWORD)
        snprintf(szWhat, sizeof(szWhat), "%lu", (unsigned long)dwValue);
    else
        snprintf(szWhat, sizeof(szWhat), "(type %lu)", (unsigned long)dwType);
    NoteIgnored(pValue, pszName, szWhat, "the user's registry");
}

// A choice a policy fixes is not looked for further: the policy wins over every other source.
static void ReadShareChoice(const char* pszIni, const char* pszKey, int nMax, int bUserToo, SettingValue* pValue)
{
    if (ReadPolicyNumber(pszKey, pValue))
        return;
    ReadIniNumber(pszIni, pszKey, 0, nMax, pValue);
    if (bUserToo)
        ReadUserSwitch(pszKey, pValue);
}

int ReadShareSettings(const char* pszSettingIni, ShareSettings* pOut)
{
    SetDefault(&pOut->autoconnect, 1);
    SetDefault(&pOut->releaseAfter, 0);
    SetDefault(&pOut->releaseOnLock, 0);
    SetDefault(&pOut->notices, 0);
    ReadShareChoice(pszSettingIni, PRODUCT_AUTOCONNECT_VALUE, 1, 1, &pOut->autoconnect);
    ReadShareChoice(pszSettingIni, PRODUCT_RELEASE_AFTER_VALUE, RELEASE_AFTER_MAX_MIN, 0, &pOut->releaseAfter);
    ReadShareChoice(pszSettingIni, PRODUCT_RELEASE_ON_LOCK_VALUE, 1, 0, &pOut->releaseOnLock);
    ReadShareChoice(pszSettingIni, PRODUCT_NOTICES_VALUE, 1, 0, &pOut->notices);
    return 1;
}
