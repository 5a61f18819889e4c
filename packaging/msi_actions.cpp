// Custom actions of the per-machine package (packaging/veltrix-q5.wxs), one DLL in its
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
#include "rules/agent_window.h"
#include "rules/device_id.h"
#include "rules/machine_defaults.h"
#include "rules/reg_key.h"
#include "rules/run_value.h"
#include "rules/setting_names.h"
#include "rules/text_rules.h"
#include "rules/wusb_record.h"

#define CA_EXPORT extern "C" __declspec(dllexport) UINT __stdcall

namespace {

// Separates the parts of WriteSettings' data (a byte no Setting.ini holds).
constexpr char DATA_SEPARATOR = '\x01';
// The properties an administrator passes, and the Setting.ini keys they set.
struct IniProperty {
    const char* pszProperty;
    const char* pszSection;
    const char* pszKey;
};
const IniProperty kIniProperties[] = {
    {"SERVER", INI_SERVER_SECTION, INI_ADDRESS_KEY},
    {"BITRATE", INI_SYSTEM_SECTION, INI_BITRATE_KEY},
    {"TRANSFERSIZE", INI_SYSTEM_SECTION, INI_TRANSFER_SIZE_KEY},
    {"AUTOCONNECT", PRODUCT_SHARE_SECTION, PRODUCT_AUTOCONNECT_VALUE},
    {"RELEASEAFTER", PRODUCT_SHARE_SECTION, PRODUCT_RELEASE_AFTER_VALUE},
    {"RELEASEONLOCK", PRODUCT_SHARE_SECTION, PRODUCT_RELEASE_ON_LOCK_VALUE},
    {"NOTICES", PRODUCT_SHARE_SECTION, PRODUCT_NOTICES_VALUE},
};

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

// One line in the installer's log ("VELTRIX Q5: ...").
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

// ---- Versions -------------------------------------------------------------------
// "a.b.c.d" as four numbers (missing fields 0).
std::vector<unsigned long> VersionFields(const std::string& version)
{
    std::vector<unsigned long> fields(4, 0);
    const char* p = version.c_str();
    for (int i = 0; i < 4 && *p; i++) {
        fields[i] = strtoul(p, const_cast<char**>(&p), 10);
        if (*p == '.')
            p++;
    }
    return fields;
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

// ---- Properties -----------------------------------------------------------------
// Largest number Setting.ini's [system] keys hold: the agent reads them as int.
constexpr long MAX_SETTING_NUMBER = 2147483647L;
// Agents of one folder ended at most: one per session runs, this session's is the one found.
constexpr int MAX_AGENT_WINDOWS = 16;

// An address the agent takes for a box of Setting.ini's [server], by the agent's own reading.
bool IsIpv4(const std::string& text)
{
    unsigned char abAddr[4];
    return ParseServerAddress(text.c_str(), abAddr) != 0;
}

std::vector<std::string> Split(const std::string& text, char cSeparator)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= text.size()) {
        size_t nEnd = text.find(cSeparator, i);
        if (nEnd == std::string::npos)
            nEnd = text.size();
        std::string part = text.substr(i, nEnd - i);
        size_t nFirst = part.find_first_not_of(' ');
        size_t nLast = part.find_last_not_of(' ');
        parts.push_back(nFirst == std::string::npos ? "" : part.substr(nFirst, nLast - nFirst + 1));
        i = nEnd + 1;
    }
    return parts;
}

// The device types of DEVICES, or the reason they are refused.
bool ParseDevices(const std::string& devices, std::vector<std::string>* pIds, std::string* pReason)
{
    for (const std::string& id : Split(devices, ';')) {
        if (id.empty())
            continue;   // "a;b;" is a list of two
        char szWritten[DEVICE_TYPE_TEXT_SIZE];   // Setting.ini's spelling: "VID_3A7C&PID_0105"
        if (!IsWrittenDeviceType(id.c_str(), szWritten)) {
            *pReason = "DEVICES entry \"" + id + "\" is not VID_hhhh&PID_hhhh (hexadecimal)";
            return false;
        }
        pIds->push_back(szWritten);
    }
    if (pIds->empty()) {
        *pReason = "DEVICES names no device";
        return false;
    }
    if ((int)pIds->size() > MAX_DEVICE_TYPES) {
        *pReason = "DEVICES lists " + std::to_string(pIds->size()) + " devices; the agent reads at most " +
                   std::to_string(MAX_DEVICE_TYPES);
        return false;
    }
    return true;
}

// The shipped spelling of a language code given in any case ("FR" is "fr"); "" when
// none is shipped.
std::string ShippedLanguage(MSIHANDLE hInstall, const std::string& language)
{
    for (const std::string& code : Split(Property(hInstall, "SHIPPED_LANGUAGES"), ';'))
        if (lstrcmpiA(code.c_str(), language.c_str()) == 0)
            return code;
    return "";
}

// "" when every property passed is well formed, else why not.
std::string CheckProperties(MSIHANDLE hInstall, std::vector<std::string>* pDeviceIds)
{
    std::string reason;
    const std::string devices = Property(hInstall, "DEVICES");
    if (!devices.empty() && !ParseDevices(devices, pDeviceIds, &reason))
        return reason;
    const std::string server = Property(hInstall, "SERVER");
    if (!server.empty() && !IsIpv4(server))
        return "SERVER \"" + server + "\" is not an IPv4 address a.b.c.d";
    for (const char* pszName : {"BITRATE", "TRANSFERSIZE"}) {
        const std::string value = Property(hInstall, pszName);
        long nValue = 0;
        if (!value.empty() && !IsDecimalText(value.c_str()))
            return std::string(pszName) + " \"" + value + "\" is not a whole number";
        if (!value.empty() && !ParseBoundedNumber(value.c_str(), 0, MAX_SETTING_NUMBER, &nValue))
            return std::string(pszName) + " \"" + value + "\" is too large (at most " +
                   std::to_string(MAX_SETTING_NUMBER) + ")";
    }
    const std::string language = Property(hInstall, "LANGUAGE");
    const std::string shipped = Property(hInstall, "SHIPPED_LANGUAGES");
    if (!language.empty()) {
        if (ShippedLanguage(hInstall, language).empty())
            return "LANGUAGE \"" + language + "\" is not one of the shipped languages (" + shipped + ")";
    }
    const std::string autostart = Property(hInstall, "AUTOSTART");
    if (!autostart.empty() && autostart != "0" && autostart != "1")
        return "AUTOSTART \"" + autostart + "\" is neither 1 nor 0";
    // The [share] choices, refused here rather than left for the agent to ignore.
    for (const char* pszName : {"AUTOCONNECT", "RELEASEONLOCK", "NOTICES"}) {
        const std::string value = Property(hInstall, pszName);
        if (!value.empty() && value != "0" && value != "1")
            return std::string(pszName) + " \"" + value + "\" is neither 1 nor 0";
    }
    const std::string releaseAfter = Property(hInstall, "RELEASEAFTER");
    long nMinutes = 0;
    if (!releaseAfter.empty() && !ParseBoundedNumber(releaseAfter.c_str(), 0, PRODUCT_RELEASE_AFTER_MAX, &nMinutes))
        return "RELEASEAFTER \"" + releaseAfter + "\" is not a number of minutes from 0 to " +
               std::to_string(PRODUCT_RELEASE_AFTER_MAX);
    return "";
}

// ---- Files and registry ---------------------------------------------------------
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

// Longest folder the agent's paths allow, by the per-user setup's rule: every path the
// agent builds ("<folder>\lang\ZeroVez_<code>.ini", a code of up to LANG_CODE_SIZE - 1
// characters) and every installed file must fit PRODUCT_PATH_SIZE with its terminator.
int MaxFolderLength(MSIHANDLE hInstall)
{
    const int nLangFilePath = PRODUCT_LANG_CODE_SIZE + 17;   // "\lang\ZeroVez_" + code + ".ini"
    int nLongest = atoi(Property(hInstall, "LONGEST_FILE_PATH").c_str());
    if (nLongest < nLangFilePath)
        nLongest = nLangFilePath;
    return PRODUCT_PATH_SIZE - nLongest - 1;
}

// Why the folder cannot take the agent, or "".
std::string CheckFolder(MSIHANDLE hInstall, const std::string& folder)
{
    const int nLength = (int)folder.size() - 1;   // without the trailing backslash
    if (nLength <= MaxFolderLength(hInstall))
        return "";
    return "the folder \"" + folder.substr(0, nLength) + "\" is " + std::to_string(nLength) +
           " characters long; the agent's paths allow at most " + std::to_string(MaxFolderLength(hInstall));
}

bool ReadWholeFile(const std::string& path, std::string* pContent)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    char buf[4096];
    DWORD nRead = 0;
    pContent->clear();
    while (ReadFile(hFile, buf, sizeof(buf), &nRead, nullptr) && nRead > 0)
        pContent->append(buf, nRead);
    CloseHandle(hFile);
    return true;
}

bool WriteWholeFile(const std::string& path, const std::string& content)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD nWritten = 0;
    bool bOk = WriteFile(hFile, content.data(), (DWORD)content.size(), &nWritten, nullptr) &&
               nWritten == content.size();
    return CloseHandle(hFile) && bOk;
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

// Entry i of Setting.ini's [device].
std::string DeviceKey(int i)
{
    char szKey[16];
    snprintf(szKey, sizeof(szKey), INI_DEVICE_KEY_FORMAT, i);
    return szKey;
}

// ---- WriteSettings' data --------------------------------------------------------
// folder SEP UILevel SEP fail-late(0/1) SEP previous-exists(0/1) SEP key=value lines
// SEP previous Setting.ini
struct SettingsPlan {
    std::string folder;
    int nUiLevel = 0;           // deferred actions do not see UILevel
    bool bFailLate = false;     // the test-only failure of the last action
    bool bHavePrevious = false;
    std::string previous;
    std::vector<std::string> lines;   // "section|key|value", or "device|id|VID_..."
};

std::string EncodePlan(const SettingsPlan& plan)
{
    std::string data = plan.folder + DATA_SEPARATOR + std::to_string(plan.nUiLevel) + DATA_SEPARATOR +
                       (plan.bFailLate ? "1" : "0") + DATA_SEPARATOR + (plan.bHavePrevious ? "1" : "0") +
                       DATA_SEPARATOR;
    for (const std::string& line : plan.lines)
        data += line + "\n";
    return data + DATA_SEPARATOR + plan.previous;
}

bool DecodePlan(const std::string& data, SettingsPlan* pPlan)
{
    // The first five separators; the previous Setting.ini after them may hold anything.
    size_t anAt[5];
    size_t nFrom = 0;
    for (size_t& nAt : anAt) {
        nAt = data.find(DATA_SEPARATOR, nFrom);
        if (nAt == std::string::npos)
            return false;
        nFrom = nAt + 1;
    }
    auto field = [&](int i) { return data.substr(anAt[i - 1] + 1, anAt[i] - anAt[i - 1] - 1); };
    pPlan->folder = data.substr(0, anAt[0]);
    pPlan->nUiLevel = atoi(field(1).c_str());
    pPlan->bFailLate = field(2) == "1";
    pPlan->bHavePrevious = field(3) == "1";
    const size_t n2 = anAt[3], n3 = anAt[4];
    for (const std::string& line : Split(data.substr(n2 + 1, n3 - n2 - 1), '\n'))
        if (!line.empty())
            pPlan->lines.push_back(line);
    pPlan->previous = data.substr(n3 + 1);
    return !pPlan->folder.empty();
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
    const std::string reason = CheckProperties(hInstall, &deviceIds);
    if (!reason.empty())
        return Refuse(hInstall, reason + ": nothing was installed.");

    SettingsPlan plan;
    plan.folder = InstallFolder(hInstall);
    const std::string folderReason = CheckFolder(hInstall, plan.folder);
    if (!folderReason.empty())
        return Refuse(hInstall, folderReason + ": nothing was installed.");
    plan.nUiLevel = UiLevel(hInstall);
    plan.bFailLate = Property(hInstall, PRODUCT_MSI_FAIL_LATE_PROPERTY) == "1";
    plan.bHavePrevious = ReadWholeFile(plan.folder + SETTING_INI_FILE, &plan.previous);
    if (plan.bHavePrevious)
        Log(hInstall, "keeping %s%s, with the properties passed applied", plan.folder.c_str(), SETTING_INI_FILE);
    for (const std::string& id : deviceIds)
        plan.lines.push_back(std::string(INI_DEVICE_SECTION) + "|id|" + id);
    for (const IniProperty& p : kIniProperties) {
        const std::string value = Property(hInstall, p.pszProperty);
        if (!value.empty())
            plan.lines.push_back(std::string(p.pszSection) + "|" + p.pszKey + "|" + value);
    }
    MsiSetPropertyA(hInstall, "WriteSettings", EncodePlan(plan).c_str());

    // The machine's defaults for each user's first start.
    std::string lang = ShippedLanguage(hInstall, Property(hInstall, "LANGUAGE"));
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

    std::vector<std::string> deviceIds;
    bool bServerSet = false;
    for (const std::string& line : plan.lines) {
        std::vector<std::string> parts = Split(line, '|');
        if (parts.size() != 3)
            continue;
        if (parts[0] == INI_DEVICE_SECTION)
            deviceIds.push_back(parts[2]);
        else if (!WritePrivateProfileStringA(parts[0].c_str(), parts[1].c_str(), parts[2].c_str(), path.c_str()))
            return Refuse(hInstall, "could not write " + path, plan.nUiLevel);
        bServerSet = bServerSet || parts[0] == INI_SERVER_SECTION;
    }
    // Absent SERVER: the first server listed, as an empty address says.
    char szAddress[64];
    GetPrivateProfileStringA(INI_SERVER_SECTION, INI_ADDRESS_KEY, "\x01", szAddress, sizeof(szAddress), path.c_str());
    if (!bServerSet && strcmp(szAddress, "\x01") == 0)
        WritePrivateProfileStringA(INI_SERVER_SECTION, INI_ADDRESS_KEY, "", path.c_str());
    if (!deviceIds.empty()) {
        int nOld = GetPrivateProfileIntA(INI_DEVICE_SECTION, INI_DEVICE_COUNT_KEY, 0, path.c_str());
        WritePrivateProfileStringA(INI_DEVICE_SECTION, INI_DEVICE_COUNT_KEY, std::to_string(deviceIds.size()).c_str(), path.c_str());
        for (size_t i = 0; i < deviceIds.size(); i++)
            WritePrivateProfileStringA(INI_DEVICE_SECTION, DeviceKey((int)i).c_str(), deviceIds[i].c_str(),
                                       path.c_str());
        for (int i = (int)deviceIds.size(); i < nOld && i < MAX_DEVICE_TYPES; i++)
            WritePrivateProfileStringA(INI_DEVICE_SECTION, DeviceKey((int)i).c_str(), nullptr, path.c_str());
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());   // flush
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
