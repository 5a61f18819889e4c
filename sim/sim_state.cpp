// The stand-in's globals, its lock and where its files live.
#include "sim_state.h"
#include <cstdio>
#include <cstring>

extern "C" {
char g_szSimComputerName[SIM_COMPUTER_NAME_SIZE] = "";
}
char g_szSimHostName[SIM_COMPUTER_NAME_SIZE] = "";
SimWorld g_simWorld;
WUSB_ADDRESS g_simAddresses[SIM_MAX_SERVERS];
HWND g_hSimWnd = nullptr;
unsigned int g_uSimMsg = 0;
SimFileStamp g_simStampSeen;

static INIT_ONCE g_simLockOnce = INIT_ONCE_STATIC_INIT;
static CRITICAL_SECTION g_csSim;

// Set up on first use, so DllMain stays free of anything but the host name.
static BOOL CALLBACK InitSimLock(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&g_csSim);
    return TRUE;
}

void SimLock()
{
    InitOnceExecuteOnce(&g_simLockOnce, InitSimLock, nullptr, nullptr);
    EnterCriticalSection(&g_csSim);
}

void SimUnlock()
{
    LeaveCriticalSection(&g_csSim);
}

int SimPathBesideDll(const char* pszFile, char* pszOut, int cbOut)
{
    HMODULE hSelf = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCSTR)&SimPathBesideDll, &hSelf))
        return 0;
    char szModule[MAX_PATH];
    DWORD nLen = GetModuleFileNameA(hSelf, szModule, sizeof(szModule));
    if (nLen == 0 || nLen >= sizeof(szModule))
        return 0;
    char* pSlash = strrchr(szModule, '\\');
    if (pSlash)
        *pSlash = '\0';
    int nOut = snprintf(pszOut, cbOut, "%s\\%s", szModule, pszFile);
    return nOut > 0 && nOut < cbOut;
}

int SimPathInTemp(const char* pszFile, char* pszOut, int cbOut)
{
    char szTemp[MAX_PATH];
    DWORD nLen = GetTempPathA(sizeof(szTemp), szTemp);
    if (nLen == 0 || nLen >= sizeof(szTemp))
        return 0;
    int nOut = snprintf(pszOut, cbOut, "%s%s", szTemp, pszFile);
    return nOut > 0 && nOut < cbOut;
}

int SimPathFromEnv(const char* pszVar, const char* pszDefaultFile, char* pszOut, int cbOut)
{
    // An overlong value is ignored rather than cut: a cut path names some other file.
    DWORD nLen = GetEnvironmentVariableA(pszVar, pszOut, cbOut);
    if (nLen > 0 && nLen < (DWORD)cbOut)
        return 1;
    return SimPathBesideDll(pszDefaultFile, pszOut, cbOut);
}
