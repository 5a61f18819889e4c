// Program directory, the per-user registry settings and the Run entry.
#include "settings.h"
#include "language.h"
#include "policy.h"
#include "rules/machine_defaults.h"
#include "rules/reg_key.h"
#include "rules/run_value.h"
#include "rules/setting_names.h"
#include "../agent/agent_state.h"
#include "../agent/program_path.h"
#include <cstdio>
#include <cstring>

char g_szAppDir[APP_PATH_SIZE];
char g_szSettingIni[APP_PATH_SIZE];

void ResetProgramPaths()
{
    memset(g_szAppDir, 0, sizeof(g_szAppDir));
    memset(g_szSettingIni, 0, sizeof(g_szSettingIni));
}

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

// The folder is the path up to its last backslash, so a renamed program (a browser
// saves a second download as "<agent> (1).exe") still finds its Setting.ini and
// language files. Without a faithful path it stays empty.
int InitAppDir()
{
    memset(g_szAppDir, 0, sizeof(g_szAppDir));
    GetModuleFolderAnsi(nullptr, g_szAppDir, sizeof(g_szAppDir));
    return 1;
}

// Writes or removes the Run value to match the autostart flag.
static void SyncRunEntry(int bStartWithWindows)
{
    // A start refused because another installation's agent runs must not point the
    // user's logon at itself (nor take the running one's entry away).
    if (g_bRunEntryKept)
        return;
    char szCommand[RUN_COMMAND_SIZE];
    int bHaveCommand = FormatRunCommand(szCommand, sizeof(szCommand));
    RegKey key;
    key.Create(HKEY_CURRENT_USER, PRODUCT_RUN_KEY, KEY_ALL_ACCESS);
    if (bStartWithWindows == 1) {
        // Without a sound path, better no entry than a wrong one.
        if (bHaveCommand)
            key.SetString(PRODUCT_RUN_VALUE, szCommand);
    } else {
        key.DeleteValue(PRODUCT_RUN_VALUE);
    }
    key.Close();
}

// The machine's "startwin", else on.
static int MachineStartWin()
{
    DWORD dwStartWin = 1;
    if (!ReadMachineStartWin(&dwStartWin))
        dwStartWin = 1;
    return (int)dwStartWin;
}

// The machine's "lang", else the built-in code, into a zero-filled buffer.
static void MachineLangCode(char* pszCode, DWORD cbCode)
{
    if (!ReadMachineLang(pszCode, cbCode))
        lstrcpynA(pszCode, PRODUCT_DEFAULT_LANG, (int)cbCode);
}

// "startwin" as a 4-byte integer, stored first from the machine's default when
// unreadable; 1 on success.
static int ReadStartWin(RegKey& key, int* pnStartWin)
{
    DWORD cb = sizeof(*pnStartWin);
    *pnStartWin = 0;
    if (key.QueryValue(PRODUCT_STARTWIN_VALUE, pnStartWin, &cb) == ERROR_SUCCESS)
        return 1;
    key.SetDword(PRODUCT_STARTWIN_VALUE, (DWORD)MachineStartWin());
    cb = sizeof(*pnStartWin);
    *pnStartWin = 0;
    return key.QueryValue(PRODUCT_STARTWIN_VALUE, pnStartWin, &cb) == ERROR_SUCCESS;
}

// "lang" into a zero-filled buffer, stored first from the machine's default when
// unreadable; 1 on success.
static int ReadLangCode(RegKey& key, char* pszCode, DWORD cbCode)
{
    memset(pszCode, 0, cbCode);
    DWORD cb = cbCode;
    LONG lStatus = key.QueryValue(PRODUCT_LANG_VALUE, pszCode, &cb);
    if (lStatus != ERROR_SUCCESS) {
        char szDefault[LANG_CODE_SIZE];
        MachineLangCode(szDefault, sizeof(szDefault));
        key.SetString(PRODUCT_LANG_VALUE, szDefault);
        memset(pszCode, 0, cbCode);
        cb = cbCode;
        lStatus = key.QueryValue(PRODUCT_LANG_VALUE, pszCode, &cb);
    }
    // Data that fills the buffer exactly carries no terminator of its own.
    pszCode[cbCode - 1] = '\0';
    return lStatus == ERROR_SUCCESS;
}

int ReadStartWinSetting(SettingValue* pValue)
{
    SetBuiltIn(pValue, 1);
    if (ReadPolicyNumber(PRODUCT_STARTWIN_VALUE, pValue))
        return pValue->nValue;
    int nStartWin = 0;
    DWORD cb = sizeof(nStartWin), dwMachine = 0;
    RegKey user;
    if (user.Open(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
        user.QueryValue(PRODUCT_STARTWIN_VALUE, &nStartWin, &cb) == ERROR_SUCCESS) {
        pValue->source = SOURCE_USER;
    } else if (ReadMachineStartWin(&dwMachine)) {
        nStartWin = (int)dwMachine;
        pValue->source = SOURCE_MACHINE;
    } else {
        nStartWin = 1;
    }
    return pValue->nValue = nStartWin;
}

int ReadLangSetting(char* pszCode, DWORD cbCode, SettingValue* pValue)
{
    SetBuiltIn(pValue, 0);
    memset(pszCode, 0, cbCode);
    if (ReadPolicyText(PRODUCT_LANG_VALUE, pszCode, (int)cbCode, pValue))
        return 1;
    RegKey user;
    DWORD cb = cbCode;
    if (user.Open(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
        user.QueryValue(PRODUCT_LANG_VALUE, pszCode, &cb) == ERROR_SUCCESS) {
        pValue->source = SOURCE_USER;
        pszCode[cbCode - 1] = '\0';
        return 1;
    }
    if (ReadMachineLang(pszCode, cbCode))
        pValue->source = SOURCE_MACHINE;
    else
        lstrcpynA(pszCode, PRODUCT_DEFAULT_LANG, (int)cbCode);
    return 1;
}

int UseSettingIniIn(const char* pszFolder)
{
    memset(g_szSettingIni, 0, sizeof(g_szSettingIni));
    int nLen = snprintf(g_szSettingIni, sizeof(g_szSettingIni), "%s\\%s", pszFolder, SETTING_INI_FILE);
    return nLen > 0 && nLen < (int)sizeof(g_szSettingIni);
}

int LoadSettings()
{
    char szLang[APP_PATH_SIZE];
    memset(szLang, 0, sizeof(szLang));
    UseSettingIniIn(g_szAppDir);

    RegKey key;
    if (key.Create(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return 0;
    int nStartWin = 0;
    if (!ReadStartWin(key, &nStartWin) || !ReadLangCode(key, szLang, sizeof(szLang))) {
        key.Close();
        return 0;
    }
    key.Close();
    // The values in force: a policy's over the user's just made sure of, which stays for
    // when the policy goes.
    SettingValue startWin, lang;
    nStartWin = ReadStartWinSetting(&startWin);
    ReadLangSetting(szLang, sizeof(szLang), &lang);
    Trace("win value = %d", nStartWin);

    g_bStartWithWindows = nStartWin == 1 ? 1 : 0;
    SyncRunEntry(g_bStartWithWindows);
    return LoadLanguage(szLang);
}

void ToggleStartWithWindows()
{
    SettingValue policy;
    SetBuiltIn(&policy, 0);
    if (ReadPolicyNumber(PRODUCT_STARTWIN_VALUE, &policy)) {
        Trace("startwin is fixed by %s\n", SettingSourceName(policy.source));
        return;
    }
    g_bStartWithWindows = g_bStartWithWindows == 0 ? 1 : 0;
    RegKey key;
    key.Create(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_ALL_ACCESS);
    key.SetDword(PRODUCT_STARTWIN_VALUE, (DWORD)g_bStartWithWindows);
    key.Close();
    SyncRunEntry(g_bStartWithWindows);
}

// The program a Run command starts exists: its path, quoted or not, names a file.
static int RunCommandFindsProgram(const char* pszCommand)
{
    char szPath[RUN_COMMAND_SIZE];
    if (!RunCommandProgram(pszCommand, szPath, sizeof(szPath)))
        return 0;
    DWORD dwAttributes = GetFileAttributesA(szPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES &&
           !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

int PrepareLogonStart()
{
    // The choice in force as the agent's first start takes it: a policy, the user's own
    // choice, else the machine's default.
    SettingValue startWin;
    if (ReadStartWinSetting(&startWin) != 1)
        return 0;
    // A Run value that starts an agent already (this one, or a per-user installation's
    // the user started last) stays: only a missing or dead one is filled in.
    char szCommand[RUN_COMMAND_SIZE] = {};
    RegKey run;
    if (run.Open(HKEY_CURRENT_USER, PRODUCT_RUN_KEY, KEY_QUERY_VALUE) == ERROR_SUCCESS) {
        DWORD cb = sizeof(szCommand) - 1;
        if (run.QueryValue(PRODUCT_RUN_VALUE, szCommand, &cb) == ERROR_SUCCESS && RunCommandFindsProgram(szCommand))
            return 0;
    }
    run.Close();
    SyncRunEntry(1);
    return 0;
}

void StoreLangCode(const char* pszCode)
{
    RegKey key;
    key.Create(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_ALL_ACCESS);
    key.SetString(PRODUCT_LANG_VALUE, pszCode);
    key.Close();
}
