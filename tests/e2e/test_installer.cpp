// The real setup program under Wine, run silently: fresh install, upgrade and uninstall over a
// running agent, refused folders, and one version in the exe, the setup and Apps & features.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <set>
#include "settings/reg_key.h"
#include "settings/settings.h"
#include "support/agent_process.h"
#include "support/setup_checks.h"

namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VELTRIX Q5";
constexpr const char* kUninstaller = "uninstall.exe";
constexpr const char* kManifest = "install.lst";   // what the setup installed, one path a line
constexpr const char* kExeName = "VELTRIX Q5.exe";
constexpr DWORD kSetupTimeoutMs = 60000;
// Longest folder the agent's path buffers take: "<folder>\lang\ZeroVez_<code>.ini" with the
// longest language code must fit APP_PATH_SIZE bytes with its NUL.
constexpr size_t kMaxFolderBytes =
    APP_PATH_SIZE - 1 - (sizeof("\\lang\\ZeroVez_") - 1) - (LANG_CODE_SIZE - 1) - (sizeof(".ini") - 1);
const char* const kImport = E2E_IMPORT_CALL;
const char* const kUnimport = E2E_UNIMPORT_CALL;
const char* const kClose = "WUSBClose() = 0";

std::string SetupPath() { return WinePathOf(SETUP_PATH); }

// Runs a command line (UTF-8) to its end; its exit code, or -1 when it could not start or hung.
int RunAndWait(const std::string& commandLine, ULONGLONG* pMs = nullptr)
{
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = WidePath(commandLine);   // folders in any alphabet
    ULONGLONG nStart = GetTickCount64();
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD dwCode = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, kSetupTimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &dwCode);
    if (pMs)
        *pMs = GetTickCount64() - nStart;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)dwCode;
}

// "/D=" takes the rest of the command line, spaces and all, unquoted.
int RunSetup(const std::string& folder, ULONGLONG* pMs = nullptr)
{
    return RunAndWait("\"" + SetupPath() + "\" /S /D=" + folder, pMs);
}

// "_?=" keeps the uninstaller in place, so this waits for the removal itself.
int RunUninstaller(const std::string& folder, ULONGLONG* pMs = nullptr)
{
    std::string uninstaller = folder + "\\" + kUninstaller;
    int nCode = RunAndWait("\"" + uninstaller + "\" /S _?=" + folder, pMs);
    DeleteFileW(WidePath(uninstaller).c_str());
    return nCode;
}

// The short (8.3) form of an existing UTF-8 path, in ANSI: what the agent uses for a
// folder the code page cannot spell; "" when there is none.
std::string ShortPath(const std::string& path)
{
    wchar_t wszShort[MAX_PATH] = {};
    char szShort[MAX_PATH] = {};
    if (GetShortPathNameW(WidePath(path).c_str(), wszShort, MAX_PATH) - 1 < MAX_PATH - 1)
        WideCharToMultiByte(CP_ACP, 0, wszShort, -1, szShort, sizeof(szShort), nullptr, nullptr);
    return szShort;
}

std::string ShortcutPath() { return ShellFolder(CSIDL_PROGRAMS) + "\\VELTRIX Q5.lnk"; }

bool KeyExists(const char* pszKey)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

// Relative paths of the program folder the build laid out, as setup must install them.
std::vector<std::string> ProgramFiles()
{
    std::vector<std::string> files;
    for (const char* pszPattern : {"*.exe", "*.dll", "Setting.ini", "wusb_sim.ini", "lang\\*.ini"}) {
        std::string pattern = pszPattern;
        std::string prefix = pattern.find('\\') == std::string::npos ? "" : "lang\\";
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA((DistDir() + "\\" + pattern).c_str(), &fd);
        if (hFind == INVALID_HANDLE_VALUE)
            continue;
        do {
            files.push_back(prefix + fd.cFileName);
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    return files;
}

// Every file under a folder, relative to it.
void ListTree(const std::string& dir, const std::string& prefix, std::set<std::string>* pFiles)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListTree(dir + "\\" + name, prefix + name + "\\", pFiles);
        else
            pFiles->insert(prefix + name);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
}

// Where a call stands in an installed stand-in's journal, looking from nFrom on; npos when absent.
size_t JournalFind(const std::string& folder, const char* pszCall, size_t nFrom = 0)
{
    return ReadFileText(folder + "\\wusb_journal.log").find(std::string(" ") + pszCall + "\r\n", nFrom);
}

std::string VersionOf(const std::string& path)
{
    DWORD dwHandle = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &dwHandle));
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT cb = 0;
    if (info.empty() || !GetFileVersionInfoA(path.c_str(), 0, (DWORD)info.size(), info.data()) ||
        !VerQueryValueA(info.data(), "\\", (void**)&pFixed, &cb))
        return "";
    char szVersion[64];
    snprintf(szVersion, sizeof(szVersion), "%u.%u.%u.%u", HIWORD(pFixed->dwProductVersionMS),
             LOWORD(pFixed->dwProductVersionMS), HIWORD(pFixed->dwProductVersionLS),
             LOWORD(pFixed->dwProductVersionLS));
    return szVersion;
}

// The language setup speaks from the Windows display language, as the agent's code.
std::string SetupLanguageCode()
{
    static const struct { WORD wPrimary; const char* pszCode; } kLanguages[] = {
        {LANG_GERMAN, "de"}, {LANG_FRENCH, "fr"}, {LANG_SPANISH, "es"}, {LANG_ITALIAN, "it"}, {LANG_DUTCH, "nl"}};
    WORD wPrimary = PRIMARYLANGID(GetUserDefaultUILanguage());
    for (const auto& lang : kLanguages)
        if (lang.wPrimary == wPrimary)
            return lang.pszCode;
    return "en";
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override
    {
        EXPECT_TRUE(EndRunningAgents());
        Clean();
    }
    // Removes what a run left: its installation, shortcut and Apps & features entry.
    void Clean()
    {
        if (Exists(folder + "\\" + kUninstaller))
            RunUninstaller(folder);
        DeleteFileA((folder + "\\wusb_journal.log").c_str());   // the stand-in's, not installed
        RemoveDirectoryA(folder.c_str());
        DeleteFileA(ShortcutPath().c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey);
    }
    // Starts the installed agent and waits until it has attached the device.
    HWND StartAttached(AgentProcess& agent)
    {
        if (!agent.Start(folder + "\\" + kExeName))
            return nullptr;
        HWND hWnd = agent.WaitWindowOf(AGENT_CLASS, E2E_START_TIMEOUT_MS);
        bool bAttached =
            WaitUntil(E2E_START_TIMEOUT_MS, [&] { return JournalFind(folder, kImport) != std::string::npos; });
        return bAttached ? hWnd : nullptr;
    }
    void ExpectDetachedAndClosed()
    {
        size_t nUnimport = JournalFind(folder, kUnimport);
        EXPECT_NE(nUnimport, std::string::npos);
        EXPECT_NE(JournalFind(folder, kClose, nUnimport), std::string::npos);
    }

    RegistrySandbox registry;
    TempDir root{"setup"};
    std::string folder = root.Path() + "\\VELTRIX Q5";
};

}  // namespace

TEST_F(Installer, FreshInstallIntoDefaultFolder)
{
    folder = ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\VELTRIX Q5";
    Clean();
    ULONGLONG nMs = 0;
    ASSERT_EQ(RunAndWait("\"" + SetupPath() + "\" /S", &nMs), 0);
    printf("[ figures ] silent install: %llu ms\n", nMs);

    // Exactly the build's program folder, byte for byte, the uninstaller and the list of files.
    std::set<std::string> installed;
    ListTree(folder, "", &installed);
    std::set<std::string> expected = {kUninstaller, kManifest};
    ULONGLONG cbTotal = 0;
    for (const std::string& file : ProgramFiles()) {
        expected.insert(file);
        std::string content = ReadFileText(DistDir() + "\\" + file);
        cbTotal += content.size();
        EXPECT_EQ(ReadFileText(folder + "\\" + file), content) << file;
    }
    EXPECT_EQ(installed, expected);

    const struct { const char* pszName; std::string value; } kEntry[] = {
        {"DisplayName", "VELTRIX Q5"},
        {"DisplayVersion", PROJECT_VERSION_TEXT},
        {"Publisher", "VELTRIX"},
        {"DisplayIcon", folder + "\\" + kExeName + ",0"},
        {"InstallLocation", folder},
        {"UninstallString", "\"" + folder + "\\" + kUninstaller + "\""},
        {"QuietUninstallString", "\"" + folder + "\\" + kUninstaller + "\" /S"},
    };
    for (const auto& entry : kEntry) {
        std::string value;
        EXPECT_TRUE(RegReadString(kUninstallKey, entry.pszName, &value)) << entry.pszName;
        EXPECT_EQ(value, entry.value) << entry.pszName;
    }
    DWORD dwValue = 0;
    EXPECT_TRUE(RegReadDword(kUninstallKey, "NoModify", &dwValue) && dwValue == 1);
    EXPECT_TRUE(RegReadDword(kUninstallKey, "NoRepair", &dwValue) && dwValue == 1);
    ASSERT_TRUE(RegReadDword(kUninstallKey, "EstimatedSize", &dwValue));
    EXPECT_GE(dwValue, cbTotal / 1024);

    std::string lang;
    EXPECT_TRUE(RegReadString(AGENT_KEY, LANG_VALUE, &lang));
    EXPECT_EQ(lang, SetupLanguageCode());

    std::string target = ShortcutTarget(ShortcutPath());
    EXPECT_EQ(lstrcmpiA(target.c_str(), (folder + "\\" + kExeName).c_str()), 0) << target;
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(target));
    HWND hWnd = agent.WaitWindowOf(AGENT_CLASS, E2E_START_TIMEOUT_MS);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(Installer, UpgradeOverRunningAgentKeepsUserData)
{
    ASSERT_EQ(RunSetup(folder), 0);
    AgentProcess agent;
    HWND hWnd = StartAttached(agent);
    ASSERT_NE(hWnd, nullptr);

    // The administrator's device list and the user's choices.
    const std::string settings = ReadFileText(folder + "\\Setting.ini") + "; edited\r\n";
    root.Write("VELTRIX Q5\\Setting.ini", settings);
    {
        RegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, AGENT_KEY, KEY_SET_VALUE), ERROR_SUCCESS);
        ASSERT_EQ(key.SetString(LANG_VALUE, "fr"), ERROR_SUCCESS);
        ASSERT_EQ(key.SetDword(STARTWIN_VALUE, 0), ERROR_SUCCESS);
    }
    // A language file setup replaces, watched for the moment it changes.
    const std::string langFile = folder + "\\lang\\ZeroVez_nl.ini";
    root.Write("VELTRIX Q5\\lang\\ZeroVez_nl.ini", "marker");
    FileWatch watch{langFile, "marker"};
    // A file an earlier version installed and this one no longer ships.
    root.Write("VELTRIX Q5\\retired.dll", "old");
    root.Write(std::string("VELTRIX Q5\\") + kManifest, ReadFileText(folder + "\\" + kManifest) + "retired.dll\r\n");
    HANDLE hWatcher = CreateThread(nullptr, 0, WatchFile, &watch, 0, nullptr);

    ULONGLONG nMs = 0;
    EXPECT_EQ(RunSetup(folder, &nMs), 0);
    printf("[ figures ] silent upgrade over the running agent: %llu ms\n", nMs);
    watch.bStop = true;
    WaitForSingleObject(hWatcher, INFINITE);
    CloseHandle(hWatcher);

    ASSERT_TRUE(agent.WaitExit(0));
    ASSERT_NE(watch.nChanged, 0u);
    EXPECT_LE(agent.ExitTick(), watch.nChanged);
    ExpectDetachedAndClosed();
    EXPECT_EQ(ReadFileText(langFile), ReadFileText(DistDir() + "\\lang\\ZeroVez_nl.ini"));
    EXPECT_EQ(ReadFileText(folder + "\\Setting.ini"), settings);
    EXPECT_FALSE(Exists(folder + "\\retired.dll"));
    std::string lang;
    DWORD dwStartWin = 1;
    EXPECT_TRUE(RegReadString(AGENT_KEY, LANG_VALUE, &lang) && lang == "fr") << lang;
    EXPECT_TRUE(RegReadDword(AGENT_KEY, STARTWIN_VALUE, &dwStartWin) && dwStartWin == 0);

    // Silent setup starts the agent it ended again, from the installed folder.
    HWND hNew = nullptr;
    ASSERT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [&] { return (hNew = FindWindowA(AGENT_CLASS, nullptr)) != nullptr; }));
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hNew, &dwPid);
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwPid);
    char szImage[MAX_PATH] = {};
    DWORD cchImage = sizeof(szImage);
    EXPECT_TRUE(hProcess && QueryFullProcessImageNameA(hProcess, 0, szImage, &cchImage));
    EXPECT_EQ(lstrcmpiA(szImage, (folder + "\\" + kExeName).c_str()), 0) << szImage;
    if (hProcess)
        CloseHandle(hProcess);
}

TEST_F(Installer, UninstallWithRunningAgentRemovesOnlyWhatItInstalled)
{
    ASSERT_EQ(RunSetup(folder), 0);
    AgentProcess agent;
    ASSERT_NE(StartAttached(agent), nullptr);
    root.Write("VELTRIX Q5\\my notes.txt", "mine");
    std::string run;
    ASSERT_TRUE(RegReadString(RUN_KEY, RUN_VALUE, &run));   // the agent's first start turned autostart on

    ULONGLONG nMs = 0;
    EXPECT_EQ(RunUninstaller(folder, &nMs), 0);
    printf("[ figures ] silent uninstall with the agent running: %llu ms\n", nMs);

    EXPECT_TRUE(agent.WaitExit(0));
    ExpectDetachedAndClosed();
    std::set<std::string> left;
    ListTree(folder, "", &left);
    EXPECT_EQ(left, (std::set<std::string>{"my notes.txt", "wusb_journal.log"}));
    EXPECT_FALSE(Exists(ShortcutPath()));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(RegReadString(RUN_KEY, RUN_VALUE, &run));
    EXPECT_FALSE(KeyExists(AGENT_KEY));
}

// A setup run without a folder upgrades the installation where it is.
TEST_F(Installer, UpgradeFindsTheInstalledFolder)
{
    const std::string defaultFolder = ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\VELTRIX Q5";
    ASSERT_FALSE(Exists(defaultFolder + "\\" + kExeName));
    ASSERT_EQ(RunSetup(folder), 0);
    ASSERT_EQ(RunAndWait("\"" + SetupPath() + "\" /S"), 0);
    EXPECT_FALSE(Exists(defaultFolder + "\\" + kExeName)) << "a second installation";
    std::string location;
    EXPECT_TRUE(RegReadString(kUninstallKey, "InstallLocation", &location));
    EXPECT_EQ(location, folder);
    RemoveDirectoryA(defaultFolder.c_str());
}

// A per-user install below a profile named in another alphabet, on an English system.
TEST_F(Installer, FolderTheCodePageCannotSpell)
{
    // "Пользователь" in UTF-8.
    const std::string parent = root.Path() + "\\\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C\xD0\xB7\xD0\xBE\xD0\xB2"
                                             "\xD0\xB0\xD1\x82\xD0\xB5\xD0\xBB\xD1\x8C";
    const std::string longFolder = parent + "\\VELTRIX Q5";
    ASSERT_EQ(RunSetup(longFolder), 0);
    folder = ShortPath(longFolder);   // the ANSI helpers of this test go through it from here on
    ASSERT_FALSE(folder.empty());
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(longFolder + "\\" + kExeName));
    ASSERT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [&] { return JournalFind(folder, kImport) != std::string::npos; }));
    std::string run;
    EXPECT_TRUE(RegReadString(RUN_KEY, RUN_VALUE, &run));
    EXPECT_EQ(run, "\"" + folder + "\\" + kExeName + "\"");

    EXPECT_EQ(RunUninstaller(longFolder), 0);
    EXPECT_TRUE(agent.WaitExit(0));
    ExpectDetachedAndClosed();
    EXPECT_FALSE(Exists(folder + "\\" + kExeName));
    EXPECT_FALSE(RegReadString(RUN_KEY, RUN_VALUE, &run)) << "the Run value names this installation";
    Clean();
    RemoveDirectoryW(WidePath(parent).c_str());
}

TEST_F(Installer, FolderLimits)
{
    const std::string base = root.Path() + "\\";
    root.Write("a file", "");
    const struct { std::string folder; bool bAccepted; } kCases[] = {
        {base + std::string(kMaxFolderBytes - base.size(), 'L'), true},
        {base + std::string(kMaxFolderBytes + 1 - base.size(), 'L'), false},
        {base + "a file\\VELTRIX Q5", false},
    };
    for (const auto& c : kCases) {
        folder = c.folder;
        int nCode = RunSetup(folder);
        EXPECT_EQ(nCode == 0, c.bAccepted) << folder.size() << " " << nCode;
        EXPECT_EQ(KeyExists(kUninstallKey), c.bAccepted) << folder.size();
        EXPECT_EQ(Exists(folder), c.bAccepted) << folder.size();
        Clean();
    }
}

TEST_F(Installer, UpgradeWithAFileInUseChangesNothing)
{
    ASSERT_EQ(RunSetup(folder), 0);
    root.Write("VELTRIX Q5\\lang\\ZeroVez_en.ini", "marker");
    // Held as a loaded library holds it: readable, not writable.
    HANDLE hHeld = CreateFileA((folder + "\\wusb.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    EXPECT_NE(RunSetup(folder), 0);
    CloseHandle(hHeld);
    EXPECT_EQ(ReadFileText(folder + "\\lang\\ZeroVez_en.ini"), "marker");
    EXPECT_TRUE(KeyExists(kUninstallKey));
}

TEST_F(Installer, OneVersionEverywhere)
{
    const std::string setup = SetupPath();
    EXPECT_EQ(AGENT_VERSION_TEXT, std::string(PROJECT_VERSION_TEXT));
    EXPECT_EQ(setup.substr(setup.rfind('\\') + 1), std::string("VELTRIX-Q5-Setup-") + PROJECT_VERSION_TEXT + ".exe");
    EXPECT_EQ(VersionOf(DistDir() + "\\" + kExeName), PROJECT_VERSION_TEXT);
    EXPECT_EQ(VersionOf(setup), PROJECT_VERSION_TEXT);
    // The application manifest names the same version.
    HMODULE hExe = LoadLibraryExA((DistDir() + "\\" + kExeName).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hExe, nullptr);
    HRSRC hRes = FindResourceA(hExe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));   // RT_MANIFEST
    std::string manifest = hRes ? std::string((const char*)LockResource(LoadResource(hExe, hRes)),
                                              SizeofResource(hExe, hRes))
                                : "";
    FreeLibrary(hExe);
    EXPECT_NE(manifest.find(std::string("version=\"") + PROJECT_VERSION_TEXT + "\""), std::string::npos);
}
