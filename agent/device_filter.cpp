// Accepts only the device types listed by a policy or in the [device] section of
// Setting.ini, read afresh on every call so an edited list counts at the next notification.
#include "device_filter.h"
#include "agent_state.h"
#include "../settings/settings.h"
#include "../settings/policy.h"
#include "rules/setting_names.h"
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr int FILTER_TRACE_SIZE = 256;

static char s_szFilterTrace[FILTER_TRACE_SIZE];

static void FilterTrace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
static void FilterTrace(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    TraceInto(s_szFilterTrace, sizeof(s_szFilterTrace), pszFormat, args);
    va_end(args);
}

// Widened to 32 bits, so a listed number above 0xFFFF never matches.
static int MatchesType(const _WUSB_DEVICE* pDevice, const char* pszValue)
{
    FilterTrace(">>> device id =%s\n", pszValue);
    long nVid = 0, nPid = 0;
    int bParsed = ParseDeviceType(pszValue, &nVid, &nPid);
    FilterTrace(">>> Vid = 0x%x,Pid = 0x%x\n", (unsigned)nVid, (unsigned)nPid);
    return bParsed && nVid == (long)pDevice->wVendorId && nPid == (long)pDevice->wProductId;
}

// Entry "id%d" of Setting.ini's [device].
static void ReadIniType(int nIndex, char (&szValue)[DEVICE_TYPE_SIZE])
{
    char szKey[16];
    snprintf(szKey, sizeof(szKey), INI_DEVICE_KEY_FORMAT, nIndex);
    GetPrivateProfileStringA(INI_DEVICE_SECTION, szKey, "", szValue, sizeof(szValue), g_szSettingIni);
    szValue[sizeof(szValue) - 1] = '\0';
}

// The next non-empty entry of a policy's list from *ppszCursor on; 0 at the end. The
// policy reader let through no entry longer than the buffer.
static int NextPolicyType(const char** ppszCursor, char (&szValue)[DEVICE_TYPE_SIZE])
{
    const char* p = *ppszCursor;
    while (*p == PRODUCT_POLICY_DEVICES_SEPARATOR)
        ++p;
    size_t nLen = 0;
    while (p[nLen] && p[nLen] != PRODUCT_POLICY_DEVICES_SEPARATOR)
        ++nLen;
    if (nLen == 0 || nLen >= sizeof(szValue))
        return 0;
    memcpy(szValue, p, nLen);
    szValue[nLen] = '\0';
    *ppszCursor = p + nLen;
    return 1;
}

static int CountPolicyTypes(const char* pszList)
{
    char szValue[DEVICE_TYPE_SIZE];
    int nCount = 0;
    while (NextPolicyType(&pszList, szValue))
        ++nCount;
    return nCount;
}

int ReadDeviceList(char* pszPolicyList, SettingValue* pSource)
{
    SettingValue source;
    SettingValue* pInfo = pSource ? pSource : &source;
    SetBuiltIn(pInfo, 0);
    if (ReadPolicyText(PRODUCT_POLICY_DEVICES_VALUE, pszPolicyList, POLICY_TEXT_SIZE, pInfo))
        return pInfo->nValue = CountPolicyTypes(pszPolicyList);
    pszPolicyList[0] = '\0';
    char szIdNum[16];
    GetPrivateProfileStringA(INI_DEVICE_SECTION, INI_DEVICE_COUNT_KEY, "", szIdNum, sizeof(szIdNum), g_szSettingIni);
    if (szIdNum[0])
        pInfo->source = SOURCE_SETTING_INI;
    return pInfo->nValue = (int)GetPrivateProfileIntA(INI_DEVICE_SECTION, INI_DEVICE_COUNT_KEY, 0, g_szSettingIni);
}

int ReadDeviceTypeCount()
{
    char szPolicyList[POLICY_TEXT_SIZE];
    return ReadDeviceList(szPolicyList);
}

int FindDeviceType(const _WUSB_DEVICE* pDevice, char* pszValue)
{
    char szValue[DEVICE_TYPE_SIZE] = "";
    if (pszValue)
        pszValue[0] = '\0';
    FilterTrace(">>> Start read ini!! \n");
    char szPolicyList[POLICY_TEXT_SIZE];
    int nCount = ReadDeviceList(szPolicyList);
    if (nCount <= 0)
        return -1;
    if (nCount > MAX_DEVICE_TYPES)
        nCount = MAX_DEVICE_TYPES;

    const char* pszCursor = szPolicyList;
    int nFound = -1;
    for (int i = 0; i < nCount && nFound < 0; ++i) {
        if (szPolicyList[0])
            NextPolicyType(&pszCursor, szValue);
        else
            ReadIniType(i, szValue);
        if (MatchesType(pDevice, szValue))
            nFound = i;
    }
    FilterTrace(">>> Start read ini!! bOk =%d \n", nFound >= 0 ? 1 : 0);
    if (pszValue && nFound >= 0)
        memcpy(pszValue, szValue, sizeof(szValue));
    return nFound;
}

int IsSupportedDevice(const _WUSB_DEVICE* pDevice)
{
    if (!pDevice)
        return 0;
    // A device attached to this computer stays accepted even if its entry is gone.
    if (g_bConnected)
        return 1;
    return FindDeviceType(pDevice) >= 0;
}
