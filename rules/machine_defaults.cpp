// The machine's defaults for a user's first start.
#include "machine_defaults.h"
#include "reg_key.h"
#include "product.h"
#include <cstring>

// The 64-bit view, where the x64 package writes, whoever reads.
static int ReadMachineValue(const char* pszName, void* pData, DWORD cbData)
{
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, PRODUCT_AGENT_KEY, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return 0;
    DWORD cb = cbData;
    return key.QueryValue(pszName, pData, &cb) == ERROR_SUCCESS;
}

int ReadMachineStartWin(DWORD* pdwValue)
{
    return ReadMachineValue(PRODUCT_STARTWIN_VALUE, pdwValue, sizeof(*pdwValue));
}

int ReadMachineLang(char* pszCode, DWORD cbCode)
{
    memset(pszCode, 0, cbCode);
    return ReadMachineValue(PRODUCT_LANG_VALUE, pszCode, cbCode - 1) && pszCode[0];
}
