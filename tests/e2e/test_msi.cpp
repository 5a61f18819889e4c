// The per-machine package (MSI) under Wine's msiexec, run silently with a log as an
// administrator's deployment runs it: properties, upgrade over the running agent, refused
// downgrades and properties, uninstall, repair, and the logon step each user gets.
#include <gtest/gtest.h>
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>
#include "rules/reg_key.h"
#include "settings/settings.h"
#include "support/agent_process.h"
#include "support/setup_checks.h"

namespace {

constexpr DWORD kMsiexecTimeoutMs = 120000;
constexpr DWORD kLogonStepTimeoutMs = 10000;
constexpr UINT kInstallFailure = 1603;   // ERROR_INSTALL_FAILURE, what /qn gives a refused install
constexpr const char* kExeName = PRODUCT_EXE;
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kActiveSetupKey = "Software\\Microsoft\\Active Setup\\Installed Components\\";

std::string Package() { return WinePathOf(MSI_PATH); }
// The same program folder as versions just above the project's: the fourth field, the third.
std::string NewerByFourthField() { return WinePathOf(MSI_TEST_PATH_FOURTH); }
std::string NewerByThirdField() { return WinePathOf(MSI_TEST_PATH_THIRD); }

std::string InstallFolder() { return ShellFolder(CSIDL_PROGRAM_FILES) + "\\" PRODUCT_NAME; }

// A value of HKEY_LOCAL_MACHINE (64-bit view) as text; false when absent.
bool MachineValue(const std::string& key, const char* pszName, std::string* pValue)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &hKey) !=
        ERROR_SUCCESS)
        return false;
    char szData[1024] = {};
    DWORD cb = sizeof(szData) - 1, dwType = 0;
    LONG lStatus = RegQueryValueExA(hKey, pszName, nullptr, &dwType, (BYTE*)szData, &cb);
    RegCloseKey(hKey);
    if (lStatus != ERROR_SUCCESS)
        return false;
    *pValue = dwType == REG_DWORD ? std::to_string(*(DWORD*)szData) : std::string(szData);
    return true;
}

bool MachineKeyExists(const std::string& key)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

// A property of a package file (its ProductCode, say).
std::string PackageProperty(const std::string& msiPath, const char* pszName)
{
    MSIHANDLE hDb = 0, hView = 0, hRecord = 0;
    std::string value;
    if (MsiOpenDatabaseA(msiPath.c_str(), MSIDBOPEN_READONLY, &hDb) != ERROR_SUCCESS)
        return value;
    std::string query = std::string("SELECT `Value` FROM `Property` WHERE `Property` = '") + pszName + "'";
    if (MsiDatabaseOpenViewA(hDb, query.c_str(), &hView) == ERROR_SUCCESS && MsiViewExecute(hView, 0) == ERROR_SUCCESS &&
        MsiViewFetch(hView, &hRecord) == ERROR_SUCCESS) {
        char szValue[256] = {};
        DWORD cch = sizeof(szValue);
        MsiRecordGetStringA(hRecord, 1, szValue, &cch);
        value = szValue;
    }
    if (hRecord)
        MsiCloseHandle(hRecord);
    if (hView)
        MsiCloseHandle(hView);
    MsiCloseHandle(hDb);
    return value;
}

// Product codes installed under the package's UpgradeCode.
std::vector<std::string> InstalledProducts()
{
    static const std::string upgradeCode = PackageProperty(Package(), "UpgradeCode");
    std::vector<std::string> codes;
    char szCode[39];
    for (DWORD i = 0; MsiEnumRelatedProductsA(upgradeCode.c_str(), 0, i, szCode) == ERROR_SUCCESS; i++)
        codes.push_back(szCode);
    return codes;
}

std::string ProductInfo(const std::string& code, const char* pszProperty)
{
    char szValue[MAX_PATH] = {};
    DWORD cch = sizeof(szValue);
    MsiGetProductInfoA(code.c_str(), pszProperty, szValue, &cch);
    return szValue;
}

// The shortcut's place: the all-users Start menu on Windows; Wine's msiexec resolves
// ProgramMenuFolder to the installing user's even for a per-machine package.
std::string ShortcutPath()
{
    for (int nCsidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        std::string path = ShellFolder(nCsidl) + "\\" PRODUCT_NAME ".lnk";
        if (Exists(path))
            return path;
    }
    return "";
}

std::string Ini(const std::string& path, const char* pszSection, const char* pszKey)
{
    char szValue[256] = {};
    GetPrivateProfileStringA(pszSection, pszKey, "(absent)", szValue, sizeof(szValue), path.c_str());
    return szValue;
}

// The program the session's running agent was started from; "" when none runs.
std::string RunningAgentProgram()
{
    HWND hWnd = FindWindowA(AGENT_CLASS, nullptr);
    DWORD dwPid = 0;
    if (!hWnd || !GetWindowThreadProcessId(hWnd, &dwPid))
        return "";
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwPid);
    char szImage[MAX_PATH] = {};
    DWORD cch = sizeof(szImage);
    if (hProcess) {
        QueryFullProcessImageNameA(hProcess, 0, szImage, &cch);
        CloseHandle(hProcess);
    }
    return szImage;
}

// Waits until the agent of the program runs again (started by the installer).
bool AgentRunsAgain(const std::string& exePath)
{
    return WaitUntil(E2E_START_TIMEOUT_MS, [&] { return lstrcmpiA(RunningAgentProgram().c_str(), exePath.c_str()) == 0; });
}

// The sequence number of an action in a package's InstallExecuteSequence; -1 when absent.
int SequenceOf(const std::string& msiPath, const char* pszAction)
{
    MSIHANDLE hDb = 0, hView = 0, hRecord = 0;
    int nSequence = -1;
    if (MsiOpenDatabaseA(msiPath.c_str(), MSIDBOPEN_READONLY, &hDb) != ERROR_SUCCESS)
        return nSequence;
    std::string query = std::string("SELECT `Sequence` FROM `InstallExecuteSequence` WHERE `Action` = '") + pszAction + "'";
    if (MsiDatabaseOpenViewA(hDb, query.c_str(), &hView) == ERROR_SUCCESS && MsiViewExecute(hView, 0) == ERROR_SUCCESS &&
        MsiViewFetch(hView, &hRecord) == ERROR_SUCCESS)
        nSequence = MsiRecordGetInteger(hRecord, 1);
    if (hRecord)
        MsiCloseHandle(hRecord);
    if (hView)
        MsiCloseHandle(hView);
    MsiCloseHandle(hDb);
    return nSequence;
}

class Msi : public ::testing::Test {
protected:
    void SetUp() override
    {
        Clean();
        // The stand-in's journal outside the program folder, as a standard user's would be.
        SetEnvironmentVariableA("WUSB_SIM_JOURNAL", journal.c_str());
    }
    void TearDown() override
    {
        EXPECT_TRUE(EndRunningAgents());
        Clean();
        SetEnvironmentVariableA("WUSB_SIM_JOURNAL", nullptr);
    }
    // Removes every installed version of the package and what a test left beside it.
    static void Clean()
    {
        EndRunningAgents();
        for (const std::string& code : InstalledProducts())
            RunAndWait("msiexec /x " + code + " /qn", kMsiexecTimeoutMs);
        RemoveDirectoryA((InstallFolder() + "\\lang").c_str());
        RemoveDirectoryA(InstallFolder().c_str());
    }
    // msiexec with a verbose log; its exit code. The log is kept in `log`.
    int Msiexec(const std::string& args)
    {
        DeleteFileA(logPath.c_str());
        int nCode = RunAndWait("msiexec " + args + " /qn /l*v \"" + logPath + "\"", kMsiexecTimeoutMs);
        log = ReadFileText(logPath);
        return nCode;
    }
    int Install(const std::string& package, const std::string& properties = "")
    {
        return Msiexec("/i \"" + package + "\" " + properties);
    }
    // Lines of the log the package's own actions wrote ("<product name>: ...").
    std::string OwnLogLines() const
    {
        std::string lines;
        size_t nAt = 0;
        while ((nAt = log.find(PRODUCT_NAME ": ", nAt)) != std::string::npos) {
            size_t nEnd = log.find('\n', nAt);
            lines += log.substr(nAt, nEnd - nAt) + "\n";
            nAt = nEnd;
        }
        return lines;
    }
    std::string OnlyProduct() const
    {
        std::vector<std::string> codes = InstalledProducts();
        return codes.size() == 1 ? codes[0] : "";
    }
    HWND StartAttached(AgentProcess& agent) { return StartInstalledAttached(agent, folder + "\\" + kExeName, journal); }

    RegistrySandbox registry;
    TempDir temp{"msi"};
    std::string journal = temp.Path() + "\\" PRODUCT_SIM_JOURNAL;
    std::string logPath = temp.Path() + "\\msiexec.log";
    std::string log;
    std::string folder = InstallFolder();
    std::string settings = folder + "\\Setting.ini";
    std::string agentKey = PRODUCT_AGENT_KEY;
};

}  // namespace

TEST_F(Msi, InstallWithPropertiesSetsUpTheMachine)
{
    // Windows Installer may close agents through the Restart Manager.
    EXPECT_EQ(PackageProperty(Package(), "MSIRESTARTMANAGERCONTROL"), "");
    // A language code in capitals is the shipped one.
    ASSERT_EQ(Install(Package(), "\"DEVICES=VID_3A7C&PID_0105;VID_1234&PID_5678\" SERVER=192.168.1.10 "
                                 "BITRATE=0 TRANSFERSIZE=2048 LANGUAGE=FR AUTOSTART=1 "
                                 "AUTOCONNECT=1 RELEASEAFTER=1440 RELEASEONLOCK=0 NOTICES=1"),
              0)
        << OwnLogLines();

    // The build's program folder, Setting.ini aside, byte for byte; q5ctl.exe among the programs.
    EXPECT_TRUE(Exists(folder + "\\" PRODUCT_CTL_EXE));
    for (const std::string& file : ProgramFiles()) {
        if (file == "Setting.ini")
            continue;
        EXPECT_EQ(ReadFileText(folder + "\\" + file), ReadFileText(DistDir() + "\\" + file)) << file;
    }
    const struct { const char* pszSection; const char* pszKey; const char* pszValue; } kIni[] = {
        {"device", "idnum", "2"},       {"device", "id0", "VID_3A7C&PID_0105"},
        {"device", "id1", "VID_1234&PID_5678"}, {"server", "address", "192.168.1.10"},
        {"system", "bitrate", "0"},     {"system", "transfersize", "2048"},
        {"lang", "num", "6"},           {"lang", "lang2", "fr"},
        {"share", "autoconnect", "1"},  {"share", "release_after", "1440"},
        {"share", "release_on_lock", "0"}, {"share", "notices", "1"},
    };
    for (const auto& entry : kIni)
        EXPECT_EQ(Ini(settings, entry.pszSection, entry.pszKey), entry.pszValue) << entry.pszKey;

    std::string value;
    EXPECT_TRUE(MachineValue(agentKey, PRODUCT_LANG_VALUE, &value) && value == "fr") << value;
    EXPECT_TRUE(MachineValue(agentKey, PRODUCT_STARTWIN_VALUE, &value) && value == "1") << value;

    std::string shortcut = ShortcutPath();
    ASSERT_FALSE(shortcut.empty());
    EXPECT_EQ(lstrcmpiA(ShortcutTarget(shortcut).c_str(), (folder + "\\" + kExeName).c_str()), 0);

    // Apps & features: name, version, publisher, folder and the product's icon.
    const std::string code = OnlyProduct();
    ASSERT_EQ(code, PackageProperty(Package(), "ProductCode"));
    const std::string entry = kUninstallKey + code;
    EXPECT_TRUE(MachineValue(entry, "DisplayName", &value) && value == PRODUCT_NAME) << value;
    EXPECT_TRUE(MachineValue(entry, "DisplayVersion", &value) && value == PROJECT_VERSION_TEXT) << value;
    EXPECT_TRUE(MachineValue(entry, "Publisher", &value) && value == PRODUCT_PUBLISHER) << value;
    EXPECT_TRUE(MachineValue(entry, "InstallLocation", &value) && value == folder + "\\") << value;
    EXPECT_EQ(ReadFileText(ProductInfo(code, INSTALLPROPERTY_PRODUCTICON)), ReadFileText(WinePathOf(ICON_PATH)));

    // A user without choices of their own: French, autostart, the named server's device,
    // although another box comes first in the list.
    WritePrivateProfileStringA("library", "order", "2,1", (folder + "\\wusb_sim.ini").c_str());
    WritePrivateProfileStringA("server2", "address", "192.168.1.30", (folder + "\\wusb_sim.ini").c_str());
    AgentProcess agent;
    HWND hWnd = StartAttached(agent);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &value) && value == "fr") << value;
    DWORD dwStartWin = 0;
    EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStartWin) && dwStartWin == 1);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
    EXPECT_EQ(ReadFileText(journal).find("WUSBImportDevice(503425216,"), std::string::npos)
        << "the first box listed, 192.168.1.30";
    EXPECT_FALSE(Exists(folder + "\\" PRODUCT_SIM_JOURNAL));
}

TEST_F(Msi, UpgradeOverTheRunningAgentKeepsTheAdministratorsSettings)
{
    ASSERT_EQ(Install(Package(), "SERVER=192.168.1.10 LANGUAGE=nl RELEASEONLOCK=1"), 0) << OwnLogLines();
    AgentProcess agent;
    ASSERT_NE(StartAttached(agent), nullptr);
    std::string run;
    ASSERT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));

    // The administrator edits Setting.ini after the install.
    const std::string edited = ReadFileText(settings) + "; edited by the administrator\r\n";
    temp.Write("edited.ini", edited);
    ASSERT_TRUE(CopyFileA((temp.Path() + "\\edited.ini").c_str(), settings.c_str(), FALSE));
    // A program file, watched for the moment the upgrade first touches one.
    const std::string langFile = folder + "\\lang\\" PRODUCT_LANG_FILE_PREFIX "en.ini";
    FileWatch watch{langFile, ReadFileText(langFile)};
    HANDLE hWatcher = CreateThread(nullptr, 0, WatchFile, &watch, 0, nullptr);

    EXPECT_EQ(Install(NewerByFourthField()), 0) << OwnLogLines();
    watch.bStop = true;
    WaitForSingleObject(hWatcher, INFINITE);
    CloseHandle(hWatcher);

    // The agent ended with its Exit command (detach, then close) before any file changed.
    ASSERT_TRUE(agent.WaitExit(0));
    ExpectDetachedAndClosed(journal);
    ASSERT_NE(watch.nChanged, 0u);
    EXPECT_LE(agent.ExitTick(), watch.nChanged);
    EXPECT_NE(OwnLogLines().find("ending the agent"), std::string::npos) << OwnLogLines();

    // One product, the newer one, which kept what the earlier install and the administrator set.
    const std::string code = OnlyProduct();
    ASSERT_FALSE(code.empty());
    EXPECT_EQ(code, PackageProperty(NewerByFourthField(), "ProductCode"));
    EXPECT_EQ(ReadFileText(settings), edited);
    std::string value;
    EXPECT_TRUE(MachineValue(agentKey, PRODUCT_LANG_VALUE, &value) && value == "nl") << value;
    EXPECT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &value) && value == run) << value;
    EXPECT_TRUE(Exists(folder + "\\" + kExeName));
    // The user has the agent again, the new version's.
    EXPECT_TRUE(AgentRunsAgain(folder + "\\" + kExeName)) << OwnLogLines();
    EXPECT_NE(OwnLogLines().find("started the agent again"), std::string::npos) << OwnLogLines();

    // A property passed again changes its key, and only it.
    EXPECT_EQ(Install(NewerByThirdField(), "SERVER=10.1.2.3 AUTOCONNECT=0"), 0) << OwnLogLines();
    EXPECT_EQ(Ini(settings, "server", "address"), "10.1.2.3");
    EXPECT_EQ(Ini(settings, "share", "autoconnect"), "0");
    EXPECT_EQ(Ini(settings, "share", "release_on_lock"), "1");
    EXPECT_NE(ReadFileText(settings).find("; edited by the administrator"), std::string::npos);
}

// A version installed to a folder of the administrator's choosing: the next version finds
// the folder again (the install recorded it) and upgrades there: the agent ended there,
// Setting.ini kept there, the logon step pointing there.
TEST_F(Msi, UpgradeOfACustomFolderInstallStaysInThatFolder)
{
    const std::string custom = "C:\\Fleet Tools\\" PRODUCT_NAME;
    ASSERT_EQ(Install(Package(), "\"INSTALLDIR=" + custom + "\" SERVER=192.168.1.10"), 0) << OwnLogLines();
    std::string value;
    EXPECT_TRUE(MachineValue(agentKey, PRODUCT_INSTALL_FOLDER_VALUE, &value) && value == custom + "\\") << value;
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(custom + "\\" + kExeName));
    ASSERT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [&] { return JournalFind(journal, E2E_IMPORT_CALL) != std::string::npos; }));

    EXPECT_EQ(Install(NewerByFourthField()), 0) << OwnLogLines();
    EXPECT_TRUE(agent.WaitExit(0));
    ExpectDetachedAndClosed(journal);
    EXPECT_EQ(OnlyProduct(), PackageProperty(NewerByFourthField(), "ProductCode"));
    EXPECT_EQ(Ini(custom + "\\Setting.ini", "server", "address"), "192.168.1.10");
    EXPECT_FALSE(Exists(folder)) << "nothing in the default folder";
    EXPECT_TRUE(MachineValue(std::string(kActiveSetupKey) + PRODUCT_ACTIVE_SETUP_ID, "StubPath", &value) &&
                value == "\"" + custom + "\\" + kExeName + "\" " + PRODUCT_LOGON_SWITCH)
        << value;
    EXPECT_TRUE(AgentRunsAgain(custom + "\\" + kExeName)) << OwnLogLines();
    EXPECT_TRUE(EndRunningAgents());

    // The user's Run value by the folder's short path (as an agent in a folder the ANSI
    // code page cannot spell writes it) goes with the uninstall: it is recognised while
    // the folder, and so its short path, still exists.
    char szShort[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(custom.c_str(), szShort, sizeof(szShort)), 0u);
    ASSERT_NE(lstrcmpiA(szShort, custom.c_str()), 0) << "Wine gave the folder no short name";
    const std::string shortRun = "\"" + std::string(szShort) + "\\" + kExeName + "\"";
    ASSERT_TRUE(RegWriteString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, shortRun));
    EXPECT_EQ(Msiexec("/x " + OnlyProduct()), 0) << OwnLogLines();
    EXPECT_FALSE(Exists(custom));
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &value)) << value;
    RemoveDirectoryA("C:\\Fleet Tools");
}

// The earlier version is removed inside the new version's transaction (after
// InstallInitialize), so Windows rolls a failed upgrade back to it whole. Wine's msiexec
// removes it as a separate installation and rolls back no file: the test injects a
// failure into the last action and shows what survives there.
TEST_F(Msi, AFailedUpgradeIsReportedAndShowsWhatSurvives)
{
    const int nInitialize = SequenceOf(NewerByFourthField(), "InstallInitialize");
    const int nRemove = SequenceOf(NewerByFourthField(), "RemoveExistingProducts");
    EXPECT_GT(nRemove, nInitialize);
    EXPECT_LT(nRemove, SequenceOf(NewerByFourthField(), "InstallFiles"));
    EXPECT_LT(SequenceOf(NewerByFourthField(), "WriteSettings"), SequenceOf(NewerByFourthField(), "InstallFinalize"));

    ASSERT_EQ(Install(Package(), "SERVER=192.168.1.10"), 0) << OwnLogLines();
    const std::string code = OnlyProduct();
    EXPECT_EQ(Install(NewerByFourthField(), std::string(PRODUCT_MSI_FAIL_LATE_PROPERTY) + "=1"), (int)kInstallFailure);
    EXPECT_NE(OwnLogLines().find(std::string("failing the last action, as ") + PRODUCT_MSI_FAIL_LATE_PROPERTY),
              std::string::npos)
        << OwnLogLines();
    // Never the new version half-installed: whatever product remains is the earlier one
    // (on Windows, the earlier one whole; under Wine, whose removal of it is not part
    // of the rollback, none).
    for (const std::string& c : InstalledProducts())
        EXPECT_EQ(c, code);
}

TEST_F(Msi, DowngradesAreRefused)
{
    const std::string newer4 = PackageProperty(NewerByFourthField(), "ProductVersion");
    const std::string newer3 = PackageProperty(NewerByThirdField(), "ProductVersion");
    const struct {
        std::string installed;   // package installed first
        std::string version;
    } kCases[] = {{NewerByFourthField(), newer4}, {NewerByThirdField(), newer3}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.version);
        Clean();
        ASSERT_EQ(Install(c.installed), 0) << OwnLogLines();
        const std::string code = OnlyProduct();
        const std::string exe = ReadFileText(folder + "\\" + kExeName);
        EXPECT_EQ(Install(Package()), (int)kInstallFailure);
        EXPECT_NE(OwnLogLines().find(PRODUCT_NAME " " + c.version), std::string::npos) << OwnLogLines();
        EXPECT_NE(OwnLogLines().find(std::string("newer than this package's ") + PROJECT_VERSION_TEXT),
                  std::string::npos)
            << OwnLogLines();
        EXPECT_EQ(OnlyProduct(), code);
        EXPECT_EQ(ReadFileText(folder + "\\" + kExeName), exe);
    }
}

TEST_F(Msi, MalformedPropertiesAreRefusedWithNothingInstalled)
{
    const struct { std::string properties; const char* pszNamed; } kCases[] = {
        {"\"DEVICES=VID_3A7C&PID_0105;VID_12&PID_5678\"", "DEVICES entry \"VID_12&PID_5678\""},
        {"DEVICES=3A7C:0105", "DEVICES entry \"3A7C:0105\""},
        {"SERVER=192.168.1", "SERVER \"192.168.1\""},
        {"SERVER=192.168.1.256", "SERVER \"192.168.1.256\""},
        {"BITRATE=fast", "BITRATE \"fast\" is not a whole number"},
        {"BITRATE=99999999999", "BITRATE \"99999999999\" is too large"},
        {"TRANSFERSIZE=-1", "TRANSFERSIZE \"-1\""},
        {"LANGUAGE=xx", "LANGUAGE \"xx\""},
        {"AUTOSTART=yes", "AUTOSTART \"yes\""},
        {"RELEASEAFTER=1441", "RELEASEAFTER \"1441\" is not a number of minutes from 0 to 1440"},
        {"NOTICES=on", "NOTICES \"on\""},
        // The per-user setup's limit: 232 characters (a 233-character folder here).
        {"INSTALLDIR=C:\\" + std::string(230, 'f'), "is 233 characters long; the agent's paths allow at most 232"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.properties);
        EXPECT_EQ(Install(Package(), c.properties), (int)kInstallFailure);
        EXPECT_NE(OwnLogLines().find(c.pszNamed), std::string::npos) << OwnLogLines();
        EXPECT_TRUE(InstalledProducts().empty());
        EXPECT_FALSE(Exists(folder));
        EXPECT_FALSE(MachineKeyExists(agentKey));
        EXPECT_TRUE(ShortcutPath().empty());
    }
}

TEST_F(Msi, UninstallOverTheRunningAgentLeavesNothingOfOurs)
{
    ASSERT_EQ(Install(Package()), 0) << OwnLogLines();
    const std::string code = OnlyProduct();
    AgentProcess agent;
    ASSERT_NE(StartAttached(agent), nullptr);
    std::string value;
    ASSERT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &value));   // the agent's first start turned autostart on
    // What the stand-in writes beside itself where the folder is writable (an elevated run).
    temp.Write("journal copy", "0 WUSBOpen(32868,3000,0) = 0\r\n");
    ASSERT_TRUE(CopyFileA((temp.Path() + "\\journal copy").c_str(), (folder + "\\" PRODUCT_SIM_JOURNAL).c_str(), FALSE));

    EXPECT_EQ(Msiexec("/x " + code), 0) << OwnLogLines();
    EXPECT_TRUE(agent.WaitExit(0));
    ExpectDetachedAndClosed(journal);
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(ShortcutPath().empty());
    EXPECT_FALSE(MachineKeyExists(kUninstallKey + code));
    EXPECT_FALSE(MachineKeyExists(agentKey));
    EXPECT_FALSE(MachineKeyExists(std::string(kActiveSetupKey) + PRODUCT_ACTIVE_SETUP_ID));
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &value)) << value;
    EXPECT_TRUE(InstalledProducts().empty());
}

TEST_F(Msi, RepairPutsBackADeletedProgramFile)
{
    ASSERT_EQ(Install(Package(), "SERVER=192.168.1.10"), 0) << OwnLogLines();
    const std::string code = OnlyProduct();
    ASSERT_TRUE(DeleteFileA((folder + "\\q5check.exe").c_str()));
    AgentProcess agent;
    ASSERT_NE(StartAttached(agent), nullptr);
    // What "msiexec /f" does; Wine's msiexec takes no product code after /f ("not implemented").
    EXPECT_EQ(Install(Package(), "REINSTALL=ALL REINSTALLMODE=omus"), 0) << OwnLogLines();
    // The agent was ended for the repair and is back.
    EXPECT_TRUE(agent.WaitExit(0));
    EXPECT_TRUE(AgentRunsAgain(folder + "\\" + kExeName)) << OwnLogLines();
    EXPECT_EQ(OnlyProduct(), code);
    EXPECT_TRUE(ReadFileText(folder + "\\q5check.exe") == ReadFileText(DistDir() + "\\q5check.exe"));
    EXPECT_EQ(Ini(settings, "server", "address"), "192.168.1.10");
}

// Windows runs Active Setup's StubPath at each user's logon (once per version) and waits
// for it; Wine does not, so the test runs it as Windows would, then what it left in Run.
TEST_F(Msi, TheLogonStepGivesEachUserAStart)
{
    ASSERT_EQ(Install(Package()), 0) << OwnLogLines();
    const std::string key = std::string(kActiveSetupKey) + PRODUCT_ACTIVE_SETUP_ID;
    std::string stub, version;
    ASSERT_TRUE(MachineValue(key, "StubPath", &stub));
    EXPECT_EQ(stub, "\"" + folder + "\\" + kExeName + "\" " + PRODUCT_LOGON_SWITCH);
    EXPECT_TRUE(MachineValue(key, "Version", &version) && !version.empty());

    // A user who never started the agent: the stub ends at once, starts nothing, and
    // leaves a Run value that starts the installed agent.
    EXPECT_EQ(RunAndWait(stub, kLogonStepTimeoutMs), 0);
    EXPECT_EQ(FindWindowA(AGENT_CLASS, nullptr), nullptr);
    std::string run;
    ASSERT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
    EXPECT_EQ(run, "\"" + folder + "\\" + kExeName + "\"");
    AgentProcess agent;
    HWND hWnd = LaunchProgram(agent, folder + "\\" + kExeName);   // what the Run value starts at logon
    ASSERT_NE(hWnd, nullptr);

    // The user turns Start with Windows off: a later logon step (a new version) gives none.
    PostMessageA(hWnd, WM_COMMAND, IDM_STARTWIN, 0);
    ASSERT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [&] { return !RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run); }));
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
    EXPECT_EQ(RunAndWait(stub, kLogonStepTimeoutMs), 0);
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run)) << run;
}
