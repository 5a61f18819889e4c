// Program directory, the per-user registry settings and the Run entry.
#include "settings.h"
#include "language.h"
#include "reg_key.h"
#include "../agent/agent_state.h"
#include "../agent/program_path.h"
#include <cstdio>
#include <cstring>

// The Run value: the executable's path in double quotes, so that a path with
// spaces can't be taken for "C:\Program.exe" plus arguments at logon.
constexpr int RUN_COMMAND_SIZE = APP_PATH_SIZE + 2;

// Full path of the running executable into a zero-filled buffer; its length,
// or 0 when there is no faithful one that fits (a cut path is not ours).
static DWORD GetExePath(char* pszPath, DWORD cbPath)
{
    if (!GetModulePathAnsi(nullptr, pszPath, (int)cbPath))
        return 0;
    return (DWORD)strlen(pszPath);
}

// The quoted command line for the Run key; 0 when the path is unknown.
static int FormatRunCommand(char* pszCommand, int cbCommand)
{
    char szPath[APP_PATH_SIZE];
    memset(pszCommand, 0, cbCommand);
    if (!GetExePath(szPath, sizeof(szPath)))
        return 0;
    int nLen = snprintf(pszCommand, cbCommand, "\"%s\"", szPath);
    return nLen > 0 && nLen < cbCommand;
}

int InitAppDir()
{
    char szPath[APP_PATH_SIZE];
    DWORD nLen = GetExePath(szPath, sizeof(szPath));
    memset(g_szAppDir, 0, sizeof(g_szAppDir));
    // A path no longer than the cut leaves no folder: stay empty rather than
    // copy a negative count.
    if (nLen > (DWORD)EXE_NAME_CUT)
        memcpy(g_szAppDir, szPath, nLen - EXE_NAME_CUT);
    return 1;
}

// Writes or removes the Run value to match the autostart flag.
static void SyncRunEntry(int bStartWithWindows)
{
    char szCommand[RUN_COMMAND_SIZE];
    int bHaveCommand = FormatRunCommand(szCommand, sizeof(szCommand));
    RegKey key;
    key.Create(HKEY_CURRENT_USER, RUN_KEY, KEY_ALL_ACCESS);
    if (bStartWithWindows == 1) {
        // Without a sound path, better no entry than a wrong one.
        if (bHaveCommand)
            key.SetString(RUN_VALUE, szCommand);
    } else {
        key.DeleteValue(RUN_VALUE);
    }
    key.Close();
}

// "startwin" as a 4-byte integer, stored as 1 first when unreadable; 1 on success.
static int ReadStartWin(RegKey& key, int* pnStartWin)
{
    DWORD cb = sizeof(*pnStartWin);
    *pnStartWin = 0;
    if (key.QueryValue(STARTWIN_VALUE, pnStartWin, &cb) == ERROR_SUCCESS)
        return 1;
    key.SetDword(STARTWIN_VALUE, 1);
    cb = sizeof(*pnStartWin);
    *pnStartWin = 0;
    return key.QueryValue(STARTWIN_VALUE, pnStartWin, &cb) == ERROR_SUCCESS;
}

// "lang" into a zero-filled buffer, stored as the default first when unreadable; 1 on success.
static int ReadLangCode(RegKey& key, char* pszCode, DWORD cbCode)
{
    memset(pszCode, 0, cbCode);
    DWORD cb = cbCode;
    LONG lStatus = key.QueryValue(LANG_VALUE, pszCode, &cb);
    if (lStatus != ERROR_SUCCESS) {
        key.SetString(LANG_VALUE, DEFAULT_LANG);
        memset(pszCode, 0, cbCode);
        cb = cbCode;
        lStatus = key.QueryValue(LANG_VALUE, pszCode, &cb);
    }
    // Data that fills the buffer exactly carries no terminator of its own.
    pszCode[cbCode - 1] = '\0';
    return lStatus == ERROR_SUCCESS;
}

int UseSettingIniIn(const char* pszFolder)
{
    memset(g_szSettingIni, 0, sizeof(g_szSettingIni));
    int nLen = snprintf(g_szSettingIni, sizeof(g_szSettingIni), "%s\\Setting.ini", pszFolder);
    return nLen > 0 && nLen < (int)sizeof(g_szSettingIni);
}

int LoadSettings()
{
    char szLang[APP_PATH_SIZE];
    memset(szLang, 0, sizeof(szLang));
    UseSettingIniIn(g_szAppDir);

    RegKey key;
    if (key.Create(HKEY_CURRENT_USER, AGENT_KEY, KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return 0;
    int nStartWin = 0;
    if (!ReadStartWin(key, &nStartWin) || !ReadLangCode(key, szLang, sizeof(szLang))) {
        key.Close();
        return 0;
    }
    key.Close();
    Trace("win value = %d", nStartWin);

    g_bStartWithWindows = nStartWin == 1 ? 1 : 0;
    SyncRunEntry(g_bStartWithWindows);
    return LoadLanguage(szLang);
}

void ToggleStartWithWindows()
{
    g_bStartWithWindows = g_bStartWithWindows == 0 ? 1 : 0;
    RegKey key;
    key.Create(HKEY_CURRENT_USER, AGENT_KEY, KEY_ALL_ACCESS);
    key.SetDword(STARTWIN_VALUE, (DWORD)g_bStartWithWindows);
    key.Close();
    SyncRunEntry(g_bStartWithWindows);
}
