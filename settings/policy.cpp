// Policy values, each checked against its rule before it counts.
#include "policy.h"
#include "rules/reg_key.h"
#include "share_settings.h"
#include "language.h"
#include "../agent/agent_state.h"
#include "../agent/device_filter.h"
#include "rules/wusb_record.h"
#include <cstdio>
#include <cstring>

// A note of what was met: "(type 1)", "(2000 characters)", "5000" or the text itself.
constexpr int POLICY_WHAT_SIZE = 48;

static int IsServerAddress(const char* pszText)
{
    unsigned char abAddr[4];
    return ParseServerAddress(pszText, abAddr);
}

// A language code names a file in the lang folder: letters, digits, '-' and '_' only.
static int IsLangCode(const char* pszText)
{
    for (const char* p = pszText; *p; ++p)
        if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') || *p == '-' ||
              *p == '_'))
            return 0;
    return 1;
}

// Device types separated by ';', each one that fits the filter's buffer, at least one.
static int IsDeviceList(const char* pszText)
{
    int nEntries = 0, nLen = 0;
    for (const char* p = pszText;; ++p) {
        if (*p == PRODUCT_POLICY_DEVICES_SEPARATOR || *p == '\0') {
            nEntries += nLen > 0;
            nLen = 0;
            if (*p == '\0')
                break;
        } else if (++nLen >= DEVICE_TYPE_SIZE) {
            return 0;
        }
    }
    return nEntries > 0;
}

static const PolicyRule s_rules[] = {
    {PRODUCT_POLICY_DEVICES_VALUE, POLICY_TEXT, 1, PRODUCT_POLICY_TEXT_MAX, IsDeviceList},
    {PRODUCT_POLICY_SERVER_VALUE, POLICY_TEXT, 1, SERVER_ADDRESS_TEXT_SIZE - 1, IsServerAddress},
    {PRODUCT_POLICY_BITRATE_VALUE, POLICY_NUMBER, 0, PRODUCT_POLICY_BITRATE_MAX, nullptr},
    {PRODUCT_LANG_VALUE, POLICY_TEXT, 1, LANG_CODE_SIZE - 1, IsLangCode},
    {PRODUCT_STARTWIN_VALUE, POLICY_NUMBER, 0, 1, nullptr},
    {PRODUCT_AUTOCONNECT_VALUE, POLICY_NUMBER, 0, 1, nullptr},
    {PRODUCT_RELEASE_AFTER_VALUE, POLICY_NUMBER, 0, RELEASE_AFTER_MAX_MIN, nullptr},
    {PRODUCT_RELEASE_ON_LOCK_VALUE, POLICY_NUMBER, 0, 1, nullptr},
    {PRODUCT_NOTICES_VALUE, POLICY_NUMBER, 0, 1, nullptr},
};

// Computer policy first: it wins.
static const struct {
    HKEY hRoot;
    SettingSource source;
} s_hives[] = {
    {HKEY_LOCAL_MACHINE, SOURCE_COMPUTER_POLICY},
    {HKEY_CURRENT_USER, SOURCE_USER_POLICY},
};

const PolicyRule* GetPolicyRules(int* pnCount)
{
    *pnCount = (int)(sizeof(s_rules) / sizeof(s_rules[0]));
    return s_rules;
}

void SetBuiltIn(SettingValue* pValue, int nDefault)
{
    pValue->nValue = nDefault;
    pValue->source = SOURCE_BUILT_IN;
    pValue->szIgnored[0] = '\0';
}

static const PolicyRule* FindRule(const char* pszName, PolicyKind kind)
{
    for (const PolicyRule& rule : s_rules)
        if (rule.kind == kind && strcmp(rule.pszName, pszName) == 0)
            return &rule;
    return nullptr;
}

enum PolicyState { POLICY_ABSENT, POLICY_SOUND, POLICY_BROKEN };

// One hive's value of the rule. Sound: *pdwNumber or pszText (POLICY_TEXT_SIZE bytes) holds it;
// broken: pszWhat says what was there.
static PolicyState ReadHive(HKEY hRoot, const PolicyRule* pRule, DWORD* pdwNumber, char* pszText, char* pszWhat,
                            size_t cbWhat)
{
    RegKey key;
    if (key.Open(hRoot, PRODUCT_POLICY_KEY, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return POLICY_ABSENT;
    DWORD dwType = 0, cb = 0;
    LONG lStatus = RegQueryValueExA(key.Handle(), pRule->pszName, nullptr, &dwType, nullptr, &cb);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return POLICY_ABSENT;
    DWORD dwWanted = pRule->kind == POLICY_NUMBER ? REG_DWORD : REG_SZ;
    if (lStatus != ERROR_SUCCESS || dwType != dwWanted) {
        snprintf(pszWhat, cbWhat, "(type %lu)", (unsigned long)dwType);
        return POLICY_BROKEN;
    }
    if (pRule->kind == POLICY_NUMBER) {
        cb = sizeof(*pdwNumber);
        if (RegQueryValueExA(key.Handle(), pRule->pszName, nullptr, &dwType, (BYTE*)pdwNumber, &cb) != ERROR_SUCCESS ||
            cb != sizeof(*pdwNumber)) {
            snprintf(pszWhat, cbWhat, "(%lu bytes)", (unsigned long)cb);
            return POLICY_BROKEN;
        }
        if (*pdwNumber < (DWORD)pRule->nMin || *pdwNumber > (DWORD)pRule->nMax) {
            snprintf(pszWhat, cbWhat, "%lu", (unsigned long)*pdwNumber);
            return POLICY_BROKEN;
        }
        return POLICY_SOUND;
    }
    // A text with its terminator; longer data is too long without being read.
    if (cb > (DWORD)POLICY_TEXT_SIZE) {
        snprintf(pszWhat, cbWhat, "(%lu bytes)", (unsigned long)cb);
        return POLICY_BROKEN;
    }
    memset(pszText, 0, POLICY_TEXT_SIZE);
    cb = POLICY_TEXT_SIZE - 1;
    if (RegQueryValueExA(key.Handle(), pRule->pszName, nullptr, &dwType, (BYTE*)pszText, &cb) != ERROR_SUCCESS) {
        snprintf(pszWhat, cbWhat, "(%lu bytes)", (unsigned long)cb);
        return POLICY_BROKEN;
    }
    int nLen = (int)strlen(pszText);
    if (nLen < pRule->nMin || nLen > pRule->nMax || (pRule->pfnValid && !pRule->pfnValid(pszText))) {
        snprintf(pszWhat, cbWhat, "%s", pszText);
        return POLICY_BROKEN;
    }
    return POLICY_SOUND;
}

// The first sound value of the hives in order; each broken one on the way is traced and noted.
static int ReadPolicy(const PolicyRule* pRule, DWORD* pdwNumber, char* pszText, SettingValue* pValue)
{
    if (!pRule)
        return 0;
    for (const auto& hive : s_hives) {
        char szWhat[POLICY_WHAT_SIZE] = "";
        PolicyState state = ReadHive(hive.hRoot, pRule, pdwNumber, pszText, szWhat, sizeof(szWhat));
        if (state == POLICY_SOUND) {
            pValue->source = hive.source;
            return 1;
        }
        if (state == POLICY_BROKEN) {
            snprintf(pValue->szIgnored, sizeof(pValue->szIgnored), "%s=%s in %s", pRule->pszName, szWhat,
                     SettingSourceName(hive.source));
            Trace("policy %s ignored\n", pValue->szIgnored);
        }
    }
    return 0;
}

int ReadPolicyNumber(const char* pszName, SettingValue* pValue)
{
    DWORD dwNumber = 0;
    char szText[POLICY_TEXT_SIZE];
    if (!ReadPolicy(FindRule(pszName, POLICY_NUMBER), &dwNumber, szText, pValue))
        return 0;
    pValue->nValue = (int)dwNumber;
    return 1;
}

int ReadPolicyText(const char* pszName, char* pszText, int cbText, SettingValue* pValue)
{
    DWORD dwNumber = 0;
    char szText[POLICY_TEXT_SIZE];
    if (!ReadPolicy(FindRule(pszName, POLICY_TEXT), &dwNumber, szText, pValue))
        return 0;
    lstrcpynA(pszText, szText, cbText);
    pValue->nValue = (int)strlen(pszText);
    return 1;
}

int ListIgnoredPolicies(char* pszOut, size_t cbOut)
{
    int nCount = 0;
    size_t nUsed = 0;
    pszOut[0] = '\0';
    for (const PolicyRule& rule : s_rules)
        for (const auto& hive : s_hives) {
            DWORD dwNumber = 0;
            char szText[POLICY_TEXT_SIZE];
            char szWhat[POLICY_WHAT_SIZE] = "";
            if (ReadHive(hive.hRoot, &rule, &dwNumber, szText, szWhat, sizeof(szWhat)) != POLICY_BROKEN)
                continue;
            ++nCount;
            if (nUsed < cbOut) {
                int n = snprintf(pszOut + nUsed, cbOut - nUsed, "%s=%s in %s\n", rule.pszName, szWhat,
                                 SettingSourceName(hive.source));
                nUsed = n > 0 ? nUsed + (size_t)n : cbOut;
            }
        }
    return nCount;
}
