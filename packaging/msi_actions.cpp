// Custom actions of the per-machine package (packaging/machine.wxs), one DLL in its
// Binary table. wixl has neither IniFile nor CloseApplication, and Windows Installer
// compares only three fields of a version: what it lacks is done here.
//   CheckInstall  immediate, first: refuses a newer installed version, bad properties
//                 and a folder too long for the agent; works out Setting.ini (with its
//                 [share] choices) and the machine's values
//   EndAgent      immediate, before InstallValidate: ends this session's agent of the
//                 installed folder with its Exit command, or fails the install
//   NoteUserRun   immediate, before InstallValidate: notes the installing user's Run value
//                 when it starts this folder's agent (while the folder still exists)
//   WriteSettings deferred, last before InstallFinalize: writes Setting.ini as CheckInstall
//                 found it
//   KeepUserRun   immediate, after InstallFinalize: gives the installing user back a Run
//                 value the removal of an earlier version took (Wine's upgrades)
//   RestartAgent  immediate, after InstallFinalize: starts again the agent EndAgent ended
//   ForgetUser    immediate, on uninstall: removes the installing user's Run value for it
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "product.h"
#include "msi_rules.h"
#include "rules/agent_window.h"
#include "rules/machine_defaults.h"
#include "rules/reg_key.h"
#include "rules/run_value.h"
#include "rules/setting_names.h"

#define CA_EXPORT extern "C" __declspec(dllexport) UINT __stdcall

namespace {

// Agents of one folder ended at most: one per session runs, this session's is the one found.
constexpr int MAX_AGENT_WINDOWS = 16;

std::string Property(MSIHANDLE hInstall, const char* pszName)
{
    DWORD cch = 0;
    char szEmpty[1] = "";
    if (MsiGetPropertyA(hInstall, pszName, szEmpty, &cch) != ERROR_MORE_DATA)
        return "";
    std::vector<char> buf(cch + 1);
    cch = (DWORD)buf.size();
    if (MsiGetPropertyA(hInstall, pszName, buf.data(), &cch) != ERROR_SUCCESS)
        return "";
    return std::string(buf.data(), cch);
}

// One line in the installer's log ("<product>: ...").
void Log(MSIHANDLE hInstall, const char* pszFormat, ...)
{
    char szText[1024];
    int nHead = snprintf(szText, sizeof(szText), "%s: ", PRODUCT_NAME);
    va_list args;
    va_start(args, pszFormat);
    vsnprintf(szText + nHead, sizeof(szText) - nHead, pszFormat, args);
    va_end(args);
    PMSIHANDLE hRecord = MsiCreateRecord(0);
    MsiRecordSetStringA(hRecord, 0, szText);
    MsiProcessMessage(hInstall, INSTALLMESSAGE_INFO, hRecord);
}

// UILevel as an immediate action sees it; deferred actions get it through their data.
int UiLevel(MSIHANDLE hInstall)
{
    return atoi(Property(hInstall, "UILevel").c_str());
}

// Logs why the installation stops and, with a user interface, shows it; the install
// then ends with 1603 (ERROR_INSTALL_FAILURE) and nothing changed.
UINT Refuse(MSIHANDLE hInstall, const std::string& reason, int nUiLevel)
{
    Log(hInstall, "%s", reason.c_str());
    // UILevel 2 is /qn: the log is the only reader.
    if (nUiLevel > 2) {
        PMSIHANDLE hRecord = MsiCreateRecord(0);
        MsiRecordSetStringA(hRecord, 0, (std::string(PRODUCT_NAME) + ": " + reason).c_str());
        MsiProcessMessage(hInstall, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), hRecord);
    }
    return ERROR_INSTALL_FAILURE;
}

UINT Refuse(MSIHANDLE hInstall, const std::string& reason)
{
    return Refuse(hInstall, reason, UiLevel(hInstall));
}

// The related product (same UpgradeCode) of a higher version, all four fields compared;
// "" when none. Its version in *pVersion.
std::string NewerInstalled(MSIHANDLE hInstall, std::string* pVersion)
{
    const std::string upgradeCode = Property(hInstall, "UpgradeCode");
    const std::string ownCode = Property(hInstall, "ProductCode");
    const std::vector<unsigned long> own = VersionFields(Property(hInstall, "ProductVersion"));
    char szCode[39];
    for (DWORD i = 0; MsiEnumRelatedProductsA(upgradeCode.c_str(), 0, i, szCode) == ERROR_SUCCESS; i++) {
        if (lstrcmpiA(szCode, ownCode.c_str()) == 0)
            continue;
        char szVersion[64] = {};
        DWORD cch = sizeof(szVersion);
        if (MsiGetProductInfoA(szCode, INSTALLPROPERTY_VERSIONSTRING, szVersion, &cch) != ERROR_SUCCESS)
            continue;
        if (VersionFields(szVersion) > own) {
            *pVersion = szVersion;
            return szCode;
        }
    }
    return "";
}

// The folder of an installed related product (same UpgradeCode) as Apps & features
// records it; "" when there is none.
std::string EarlierInstallLocation(MSIHANDLE hInstall)
{
    const std::string upgradeCode = Property(hInstall, "UpgradeCode");
    const std::string ownCode = Property(hInstall, "ProductCode");
    char szCode[39];
    for (DWORD i = 0; MsiEnumRelatedProductsA(upgradeCode.c_str(), 0, i, szCode) == ERROR_SUCCESS; i++) {
        char szLocation[MAX_PATH] = {};
        DWORD cch = sizeof(szLocation);
        if (lstrcmpiA(szCode, ownCode.c_str()) != 0 &&
            MsiGetProductInfoA(szCode, INSTALLPROPERTY_INSTALLLOCATION, szLocation, &cch) == ERROR_SUCCESS &&
            szLocation[0])
            return szLocation;
    }
    return "";
}

// The installation folder with its trailing backslash: INSTALLDIR once costed (or given
// on the command line), else where the package puts it.
std::string InstallFolder(MSIHANDLE hInstall)
{
    std::string folder = Property(hInstall, "INSTALLDIR");
    if (folder.empty())
        folder = Property(hInstall, "ProgramFiles64Folder") + PRODUCT_NAME + "\\";
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    return folder;
}

// The user's Run value when it starts the agent of this folder, else "".
std::string RunValueOfFolder(const std::string& folder)
{
    RegKey key;
    char szValue[MAX_PATH * 2] = {};
    DWORD cb = sizeof(szValue) - 1;
    if (key.Open(HKEY_CURRENT_USER, PRODUCT_RUN_KEY, KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        key.QueryValue(PRODUCT_RUN_VALUE, szValue, &cb) != ERROR_SUCCESS ||
        !RunCommandStartsAgentIn(szValue, folder.c_str()))
        return "";
    return szValue;
}

}  // namespace

// Refuses what must not be installed, before anything is costed or changed: a newer
// version already here (all four fields compared), a malformed property, and a folder
// too long for the agent's paths (the one passed, or the one an earlier version
// recorded, which AppSearch has put into INSTALLDIR). Then
// plans Setting.ini (the installed one kept, the properties passed applied) and the
// machine's "lang" and "startwin" (passed, else kept, else the built-in defaults).
CA_EXPORT CheckInstall(MSIHANDLE hInstall)
{
    std::string newerVersion;
    const std::string newerCode = NewerInstalled(hInstall, &newerVersion);
    if (!newerCode.empty())
        return Refuse(hInstall, std::string(PRODUCT_NAME) + " " + newerVersion + " (" + newerCode +
                                    ") is installed, newer than this package's " +
                                    Property(hInstall, "ProductVersion") +
                                    ": nothing was changed. To go back, uninstall it first.");

    // A version from before the folder was recorded: its Apps & features location.
    if (Property(hInstall, "INSTALLDIR").empty()) {
        const std::string earlier = EarlierInstallLocation(hInstall);
        if (!earlier.empty()) {
            MsiSetPropertyA(hInstall, "INSTALLDIR", earlier.c_str());
            Log(hInstall, "installing where the earlier version is: %s", earlier.c_str());
        }
    }

    std::vector<std::string> deviceIds;
    const PropertyReader property = [hInstall](const char* pszName) { return Property(hInstall, pszName); };
    const std::string reason = CheckProperties(property, &deviceIds);
    if (!reason.empty())
        return Refuse(hInstall, reason + ": nothing was installed.");

    SettingsPlan plan;
    plan.folder = InstallFolder(hInstall);
    const std::string folderReason =
        CheckFolder(plan.folder, atoi(Property(hInstall, "LONGEST_FILE_PATH").c_str()));
    if (!folderReason.empty())
        return Refuse(hInstall, folderReason + ": nothing was installed.");
    plan.nUiLevel = UiLevel(hInstall);
    plan.bFailLate = Property(hInstall, PRODUCT_MSI_FAIL_LATE_PROPERTY) == "1";
    plan.bHavePrevious = ReadWholeFile(plan.folder + SETTING_INI_FILE, &plan.previous);
    if (plan.bHavePrevious)
        Log(hInstall, "keeping %s%s, with the properties passed applied", plan.folder.c_str(), SETTING_INI_FILE);
    AddPlanLines(property, deviceIds, &plan);
    MsiSetPropertyA(hInstall, "WriteSettings", EncodePlan(plan).c_str());

    // The machine's defaults for each user's first start.
    std::string lang = ShippedLanguage(Property(hInstall, "SHIPPED_LANGUAGES"), Property(hInstall, "LANGUAGE"));
    std::string startwin = Property(hInstall, "AUTOSTART");
    char szMachineLang[256];
    DWORD dwMachineStartWin = 1;
    if (lang.empty())
        lang = ReadMachineLang(szMachineLang, sizeof(szMachineLang)) ? szMachineLang : PRODUCT_DEFAULT_LANG;
    if (startwin.empty())
        startwin = std::to_string(ReadMachineStartWin(&dwMachineStartWin) ? dwMachineStartWin : 1);
    MsiSetPropertyA(hInstall, "MACHINE_LANG", lang.c_str());
    MsiSetPropertyA(hInstall, "MACHINE_STARTWIN", startwin.c_str());
    Log(hInstall, "machine defaults: %s=%s, %s=%s", PRODUCT_LANG_VALUE, lang.c_str(), PRODUCT_STARTWIN_VALUE,
        startwin.c_str());
    return ERROR_SUCCESS;
}

// Ends the agent of this session that runs from the installed folder the way its Exit
// command ends it (device detached, library closed), before any file is replaced or
// removed. One that does not end in time fails the install, which then changes nothing.
// Agents of other sessions are out of reach here: Windows Installer's files-in-use
// handling (replace at restart) takes care of their files.
CA_EXPORT EndAgent(MSIHANDLE hInstall)
{
    std::string folder = InstallFolder(hInstall);
    char szLong[MAX_PATH] = {};
    if (GetLongPathNameA(folder.c_str(), szLong, sizeof(szLong)) - 1 < sizeof(szLong) - 1)
        folder = szLong;
    HWND ahWnds[MAX_AGENT_WINDOWS];
    const int nWindows = FindAgentWindows(folder.c_str(), ahWnds, MAX_AGENT_WINDOWS);
    for (int i = 0; i < nWindows; i++) {
        HWND hWnd = ahWnds[i];
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hWnd, &dwPid);
        HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, dwPid);
        Log(hInstall, "ending the agent (process %lu) with its Exit command", dwPid);
        PostMessageA(hWnd, WM_COMMAND, PRODUCT_EXIT_COMMAND, 0);
        bool bEnded = hProcess && WaitForSingleObject(hProcess, PRODUCT_AGENT_EXIT_TIMEOUT_MS) == WAIT_OBJECT_0;
        if (hProcess)
            CloseHandle(hProcess);
        if (!bEnded) {
            char szReason[160];
            snprintf(szReason, sizeof(szReason),
                     "the agent (process %lu) did not end within %d s: nothing was changed", dwPid,
                     PRODUCT_AGENT_EXIT_TIMEOUT_MS / 1000);
            return Refuse(hInstall, szReason);
        }
        Log(hInstall, "the agent (process %lu) has ended", dwPid);
        // RestartAgent gives the user the agent back once the files are in place.
        MsiSetPropertyA(hInstall, "AGENT_ENDED", "1");
    }
    return ERROR_SUCCESS;
}

// The installing user's Run value when it starts this folder's agent, noted while the
// folder still exists (a folder the ANSI code page cannot spell is in it by its short
// path, which only an existing folder has): KeepUserRun gives it back after an upgrade,
// ForgetUser removes it after an uninstall.
CA_EXPORT NoteUserRun(MSIHANDLE hInstall)
{
    MsiSetPropertyA(hInstall, "USER_RUN_VALUE", RunValueOfFolder(InstallFolder(hInstall)).c_str());
    return ERROR_SUCCESS;
}

// Starts the agent EndAgent ended, in the installing user's session, from the folder
// just installed or repaired (the per-user setup does the same).
CA_EXPORT RestartAgent(MSIHANDLE hInstall)
{
    const std::string folder = InstallFolder(hInstall);
    std::string command = "\"" + folder + PRODUCT_EXE + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) {
        Log(hInstall, "could not start the agent again (error %lu)", GetLastError());
        return ERROR_SUCCESS;
    }
    Log(hInstall, "started the agent again (process %lu)", pi.dwProcessId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ERROR_SUCCESS;
}

// Writes Setting.ini as CheckInstall planned it: the one found before the installation
// (an earlier install's, or an administrator's edit) in place of the shipped one, then
// each property passed written into it.
CA_EXPORT WriteSettings(MSIHANDLE hInstall)
{
    SettingsPlan plan;
    if (!DecodePlan(Property(hInstall, "CustomActionData"), &plan))
        return Refuse(hInstall, "WriteSettings was given no plan", 0);
    const std::string path = plan.folder + SETTING_INI_FILE;
    if (plan.bHavePrevious && !WriteWholeFile(path, plan.previous))
        return Refuse(hInstall, "could not write " + path, plan.nUiLevel);

    if (!WritePlanLines(plan, path))
        return Refuse(hInstall, "could not write " + path, plan.nUiLevel);
    Log(hInstall, "wrote %s", path.c_str());
    if (plan.bFailLate)
        return Refuse(hInstall, std::string("failing the last action, as ") + PRODUCT_MSI_FAIL_LATE_PROPERTY +
                                    "=1 asks (a test of a failed installation)",
                      plan.nUiLevel);
    return ERROR_SUCCESS;
}

// Wine removes an earlier version during an upgrade as if uninstalled, Run value and
// all: give the installing user back the one it had.
CA_EXPORT KeepUserRun(MSIHANDLE hInstall)
{
    const std::string value = Property(hInstall, "USER_RUN_VALUE");
    if (value.empty() || !RunValueOfFolder(InstallFolder(hInstall)).empty())
        return ERROR_SUCCESS;
    RegKey key;
    if (key.Create(HKEY_CURRENT_USER, PRODUCT_RUN_KEY, KEY_SET_VALUE) == ERROR_SUCCESS &&
        key.SetString(PRODUCT_RUN_VALUE, value.c_str()) == ERROR_SUCCESS)
        Log(hInstall, "kept the installing user's autostart");
    return ERROR_SUCCESS;
}

// On uninstall: the installing user's Run value, when it starts this folder's agent,
// goes with the program. Other users' Run values are out of reach (their hives are not
// loaded); they name a missing program, which Windows skips at their logon.
CA_EXPORT ForgetUser(MSIHANDLE hInstall)
{
    // Noted by NoteUserRun before the folder went; still the user's value now.
    const std::string value = Property(hInstall, "USER_RUN_VALUE");
    RegKey key;
    char szValue[MAX_PATH * 2] = {};
    DWORD cb = sizeof(szValue) - 1;
    if (value.empty() || key.Open(HKEY_CURRENT_USER, PRODUCT_RUN_KEY, KEY_QUERY_VALUE | KEY_SET_VALUE) != ERROR_SUCCESS ||
        key.QueryValue(PRODUCT_RUN_VALUE, szValue, &cb) != ERROR_SUCCESS || lstrcmpiA(szValue, value.c_str()) != 0)
        return ERROR_SUCCESS;
    if (key.DeleteValue(PRODUCT_RUN_VALUE) == ERROR_SUCCESS)
        Log(hInstall, "removed the installing user's autostart");
    return ERROR_SUCCESS;
}
