// The real setup program under Wine, run silently: fresh install, upgrade and uninstall over a
// running agent, refused folders, files it must leave alone, one setup at a time, Start with
// Windows; one version in the exe, the setup and Apps & features; what the programs declare.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <algorithm>
#include <functional>
#include <set>
#include "rules/reg_key.h"
#include "settings/settings.h"
#include "sim/sim_journal.h"
#include "support/agent_process.h"
#include "support/setup_checks.h"
#include "settings/language.h"

namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" PRODUCT_NAME;
constexpr const char* kUninstaller = "uninstall.exe";
constexpr const char* kManifest = "install.lst";   // what the setup installed, one path a line
constexpr const char* kExeName = PRODUCT_EXE;

static std::string Upper(std::string s)
{
    CharUpperA(&s[0]);
    return s;
}
constexpr DWORD kSetupTimeoutMs = 60000;
constexpr int kSetupRefused = 2;   // setup's exit code when it stopped before changing anything
// Longest folder the agent's path buffers take: its language file's path with the longest
// language code must fit APP_PATH_SIZE bytes with its NUL.
constexpr size_t kMaxFolderBytes =
    APP_PATH_SIZE - 1 - PRODUCT_LANG_FILE_EXTRA - (LANG_CODE_SIZE - 1);

std::string SetupPath() { return WinePathOf(SETUP_PATH); }

// "/D=" takes the rest of the command line, spaces and all, unquoted.
int RunSetup(const std::string& folder)
{
    return RunAndWait("\"" + SetupPath() + "\" /S /D=" + folder, kSetupTimeoutMs);
}

// "_?=" keeps the uninstaller in place, so this waits for the removal itself.
int RunUninstaller(const std::string& folder)
{
    std::string uninstaller = folder + "\\" + kUninstaller;
    int nCode = RunAndWait("\"" + uninstaller + "\" /S _?=" + folder, kSetupTimeoutMs);
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

std::string ShortcutPath() { return ShellFolder(CSIDL_PROGRAMS) + "\\" PRODUCT_NAME ".lnk"; }

// Wine running as root writes any file whatever its read-only bit: the Linux immutable flag
// makes one really unwritable (and undeletable) until this ends.
class Immutable {
public:
    explicit Immutable(const std::string& path) : m_path(path) { m_bSet = Chattr("+i", false); }
    ~Immutable() { Chattr("-i", true); }
    bool Set() const { return m_bSet; }
private:
    bool Writable() const
    {
        HANDLE h = CreateFileW(WidePath(m_path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(h);
        return true;
    }
    // Wine starts a Linux program named by its Linux path, but gives no exit code for it:
    // wait for the flag to show instead.
    bool Chattr(const char* pszFlag, bool bWritable) const
    {
        typedef char*(CDECL * UnixNameFn)(const WCHAR*);
        auto pfnUnixName = (UnixNameFn)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
        char* pszUnix = pfnUnixName ? pfnUnixName(WidePath(m_path).c_str()) : nullptr;
        if (!pszUnix)
            return false;
        std::string command = std::string("/usr/bin/chattr ") + pszFlag + " \"" + pszUnix + "\"";
        HeapFree(GetProcessHeap(), 0, pszUnix);
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return WaitUntil(E2E_START_TIMEOUT_MS, [&] { return Writable() == bWritable; });
    }
    std::string m_path;
    bool m_bSet = false;
};

// A resource of a program file as bytes ("" when it has none).
std::string ResourceOf(const std::string& path, const char* pszType, const char* pszName)
{
    HMODULE hModule = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!hModule)
        return "";
    HRSRC hRes = FindResourceA(hModule, pszName, pszType);
    std::string bytes = hRes ? std::string((const char*)LockResource(LoadResource(hModule, hRes)),
                                           SizeofResource(hModule, hRes))
                             : "";
    FreeLibrary(hModule);
    return bytes;
}

std::string ManifestOf(const std::string& path)
{
    return ResourceOf(path, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));   // RT_MANIFEST, the process's
}

// A visible top-level window of a process; null while it has none.
HWND VisibleWindowOf(DWORD dwPid)
{
    struct Search { DWORD dwPid; HWND hFound; } search = {dwPid, nullptr};
    EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            Search* p = (Search*)lParam;
            DWORD dwPid = 0;
            GetWindowThreadProcessId(hWnd, &dwPid);
            if (dwPid != p->dwPid || !IsWindowVisible(hWnd))
                return TRUE;
            p->hFound = hWnd;
            return FALSE;
        },
        (LPARAM)&search);
    return search.hFound;
}

bool KeyExists(const char* pszKey)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

// Relative paths of the program folder the build laid out, as setup must install them.
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
    // The stand-in's journal is kept outside the program folder, which uninstall removes
    // with what the product wrote there.
    void SetUp() override
    {
        Clean();
        SetEnvironmentVariableA(SIM_JOURNAL_ENV, journal.c_str());
    }
    void TearDown() override
    {
        EXPECT_TRUE(EndRunningAgents());
        Clean();
        SetEnvironmentVariableA(SIM_JOURNAL_ENV, nullptr);
    }
    // Removes what a run left: its installation, shortcut and Apps & features entry.
    void Clean()
    {
        if (Exists(folder + "\\" + kUninstaller))
            RunUninstaller(folder);
        DeleteFileA((folder + "\\" + PRODUCT_SIM_JOURNAL).c_str());   // the stand-in's, not installed
        RemoveDirectoryA(folder.c_str());
        DeleteFileA(ShortcutPath().c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey);
    }
    HWND StartAttached(AgentProcess& agent) { return StartInstalledAttached(agent, folder + "\\" + kExeName, journal); }

    RegistrySandbox registry;
    TempDir root{"setup"};
    std::string folder = root.Path() + "\\" PRODUCT_NAME;
    std::string journal = root.Path() + "\\journal.log";
};

}  // namespace

TEST_F(Installer, FreshInstallIntoDefaultFolder)
{
    folder = ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\" PRODUCT_NAME;
    Clean();
    ASSERT_EQ(RunAndWait("\"" + SetupPath() + "\" /S", kSetupTimeoutMs), 0);

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
    EXPECT_EQ(installed.count(PRODUCT_CTL_EXE), 1u) << "the command line for scripts lies beside the agent";

    const struct { const char* pszName; std::string value; } kEntry[] = {
        {"DisplayName", PRODUCT_PER_USER_DISPLAY_NAME},
        {"DisplayVersion", PROJECT_VERSION_TEXT},
        {"Publisher", PRODUCT_PUBLISHER},
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
    EXPECT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &lang));
    EXPECT_EQ(lang, SetupLanguageCode());

    std::string target = ShortcutTarget(ShortcutPath());
    EXPECT_EQ(lstrcmpiA(target.c_str(), (folder + "\\" + kExeName).c_str()), 0) << target;
    AgentProcess agent;
    HWND hWnd = LaunchProgram(agent, target);
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
    root.Write(PRODUCT_NAME "\\Setting.ini", settings);
    {
        RegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_SET_VALUE), ERROR_SUCCESS);
        ASSERT_EQ(key.SetString(PRODUCT_LANG_VALUE, "fr"), ERROR_SUCCESS);
        ASSERT_EQ(key.SetDword(PRODUCT_STARTWIN_VALUE, 0), ERROR_SUCCESS);
    }
    // A language file setup replaces, watched for the moment it changes.
    const std::string langFile = folder + "\\lang\\" PRODUCT_LANG_FILE_PREFIX "nl.ini";
    root.Write(PRODUCT_NAME "\\lang\\" PRODUCT_LANG_FILE_PREFIX "nl.ini", "marker");
    FileWatch watch{langFile, "marker"};
    // A file an earlier version installed and this one no longer ships.
    root.Write(PRODUCT_NAME "\\retired.dll", "old");
    root.Write(std::string(PRODUCT_NAME "\\") + kManifest, ReadFileText(folder + "\\" + kManifest) + "retired.dll\r\n");
    HANDLE hWatcher = CreateThread(nullptr, 0, WatchFile, &watch, 0, nullptr);

    EXPECT_EQ(RunSetup(folder), 0);
    watch.bStop = true;
    WaitForSingleObject(hWatcher, INFINITE);
    CloseHandle(hWatcher);

    ASSERT_TRUE(agent.WaitExit(0));
    ASSERT_NE(watch.nChanged, 0u);
    EXPECT_LE(agent.ExitTick(), watch.nChanged);
    ExpectDetachedAndClosed(journal);
    EXPECT_EQ(ReadFileText(langFile), ReadFileText(DistDir() + "\\lang\\" PRODUCT_LANG_FILE_PREFIX "nl.ini"));
    EXPECT_EQ(ReadFileText(folder + "\\Setting.ini"), settings);
    EXPECT_FALSE(Exists(folder + "\\retired.dll"));
    std::string lang;
    DWORD dwStartWin = 1;
    EXPECT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &lang) && lang == "fr") << lang;
    EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStartWin) && dwStartWin == 0);

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
    root.Write(PRODUCT_NAME "\\my notes.txt", "mine");
    std::string run;
    ASSERT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));   // the agent's first start turned autostart on

    EXPECT_EQ(RunUninstaller(folder), 0);

    EXPECT_TRUE(agent.WaitExit(0));
    ExpectDetachedAndClosed(journal);
    std::set<std::string> left;
    ListTree(folder, "", &left);
    EXPECT_EQ(left, (std::set<std::string>{"my notes.txt"}));
    EXPECT_FALSE(Exists(ShortcutPath()));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
    EXPECT_FALSE(KeyExists(PRODUCT_AGENT_KEY));
}

// The uninstaller removes the Run value only when it starts this installation's agent,
// however it is spelt, and keeps another installation's.
TEST_F(Installer, UninstallJudgesTheRunValueByTheAgentsRule)
{
    // Spelt once the folder is installed: its short form needs it to exist.
    const struct { std::function<std::string()> value; bool bKept; } kCases[] = {
        {[&] { return "\"" + root.Path() + "\\other\\" + kExeName + "\""; }, true},
        {[&] { return folder + "\\" + kExeName; }, false},
        {[&] { return "\"" + ShortPath(folder) + "\\" + Upper(kExeName) + "\" /x"; }, false},
    };
    RegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, PRODUCT_RUN_KEY, KEY_SET_VALUE), ERROR_SUCCESS);
    for (const auto& c : kCases) {
        ASSERT_EQ(RunSetup(folder), 0);
        const std::string value = c.value();
        key.SetString(PRODUCT_RUN_VALUE, value.c_str());
        EXPECT_EQ(RunUninstaller(folder), 0);
        std::string run;
        EXPECT_EQ(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run), c.bKept) << value;
        key.DeleteValue(PRODUCT_RUN_VALUE);
    }
}

// A setup run without a folder upgrades the installation where it is.
TEST_F(Installer, UpgradeFindsTheInstalledFolder)
{
    const std::string defaultFolder = ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\" PRODUCT_NAME;
    ASSERT_FALSE(Exists(defaultFolder + "\\" + kExeName));
    ASSERT_EQ(RunSetup(folder), 0);
    ASSERT_EQ(RunAndWait("\"" + SetupPath() + "\" /S", kSetupTimeoutMs), 0);
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
    const std::string longFolder = parent + "\\" PRODUCT_NAME;
    ASSERT_EQ(RunSetup(longFolder), 0);
    folder = ShortPath(longFolder);   // the ANSI helpers of this test go through it from here on
    ASSERT_FALSE(folder.empty());
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(longFolder + "\\" + kExeName));
    ASSERT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [&] { return JournalFind(journal, E2E_IMPORT_CALL) != std::string::npos; }));
    std::string run;
    EXPECT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
    EXPECT_EQ(run, "\"" + folder + "\\" + kExeName + "\"");

    EXPECT_EQ(RunUninstaller(longFolder), 0);
    EXPECT_TRUE(agent.WaitExit(0));
    ExpectDetachedAndClosed(journal);
    EXPECT_FALSE(Exists(folder + "\\" + kExeName));
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run)) << "the Run value names this installation";
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
        {base + "a file\\" PRODUCT_NAME, false},
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
    root.Write(PRODUCT_NAME "\\lang\\" PRODUCT_LANG_FILE_PREFIX "en.ini", "marker");
    // Held as a loaded library holds it: readable, not writable.
    HANDLE hHeld = CreateFileA((folder + "\\wusb.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    EXPECT_NE(RunSetup(folder), 0);
    CloseHandle(hHeld);
    EXPECT_EQ(ReadFileText(folder + "\\lang\\" PRODUCT_LANG_FILE_PREFIX "en.ini"), "marker");
    EXPECT_TRUE(KeyExists(kUninstallKey));
}

TEST_F(Installer, OneVersionEverywhere)
{
    const std::string setup = SetupPath();
    EXPECT_EQ(AGENT_VERSION_TEXT, std::string(PROJECT_VERSION_TEXT));
    EXPECT_EQ(setup.substr(setup.rfind('\\') + 1), std::string(PRODUCT_FILE_STEM "-Setup-") + PROJECT_VERSION_TEXT + ".exe");
    EXPECT_EQ(VersionOf(DistDir() + "\\" + kExeName), PROJECT_VERSION_TEXT);
    EXPECT_EQ(VersionOf(setup), PROJECT_VERSION_TEXT);
    // The application manifest names the same version.
    std::string manifest = ManifestOf(DistDir() + "\\" + kExeName);
    EXPECT_NE(manifest.find(std::string("version=\"") + PROJECT_VERSION_TEXT + "\""), std::string::npos);
}

// Themed controls, the Windows versions they run on as such, per-monitor DPI awareness with
// a fallback for Windows before 10 1607, and no elevation: the agent, q5check and the setup.
TEST_F(Installer, ManifestsOfTheThreePrograms)
{
    const char* const kCommon[] = {
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",   // 7
        "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",   // 8
        "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",   // 8.1
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",   // 10 and 11
        "WindowsSettings\">PerMonitorV2,",
        "level=\"asInvoker\"",
    };
    // The setup's pages cannot rescale themselves on Windows 8.1, so it falls back to the
    // system DPI there (NSIS writes "true"); the agent's windows are per monitor.
    const struct { std::string path; const char* pszDpiAware; } kPrograms[] = {
        {DistDir() + "\\" + kExeName, ">true/pm</dpiAware>"},
        {DistDir() + "\\q5check.exe", ">true/pm</dpiAware>"},
        {DistDir() + "\\" PRODUCT_CTL_EXE, ">true/pm</dpiAware>"},   // and q5ctl
        {SetupPath(), ">true</dpiAware>"},
    };
    for (const auto& program : kPrograms) {
        std::string manifest = ManifestOf(program.path);
        for (const char* pszEntry : kCommon)
            EXPECT_NE(manifest.find(pszEntry), std::string::npos) << program.path << ": " << pszEntry;
        EXPECT_NE(manifest.find(program.pszDpiAware), std::string::npos) << program.path;
    }
}

// Each of the exe's icons holds every size Windows asks for from 100 % to 400 %; the
// largest as PNG.
TEST_F(Installer, IconsHoldEverySize)
{
#pragma pack(push, 2)
    struct GroupEntry { BYTE bWidth, bHeight, bColors, bReserved; WORD wPlanes, wBitCount; DWORD cbBytes; WORD nId; };
#pragma pack(pop)
    const std::string exe = DistDir() + "\\" + kExeName;
    for (int nGroup : {IDI_APP, IDI_CONNECTED, IDI_DISCONNECTED}) {
        std::string group = ResourceOf(exe, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(nGroup));   // RT_GROUP_ICON
        ASSERT_GE(group.size(), 6u) << nGroup;
        size_t nCount = std::min<size_t>(*(const WORD*)&group[4], (group.size() - 6) / sizeof(GroupEntry));
        std::vector<int> sizes;
        for (size_t i = 0; i < nCount; ++i) {
            const GroupEntry* pEntry = (const GroupEntry*)&group[6 + i * sizeof(GroupEntry)];
            sizes.push_back(pEntry->bWidth ? pEntry->bWidth : 256);
            std::string image = ResourceOf(exe, MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(pEntry->nId));   // RT_ICON
            EXPECT_EQ(image.compare(0, 4, "\x89PNG") == 0, sizes.back() == 256) << nGroup << " " << sizes.back();
        }
        EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256})) << nGroup;
    }
}

// Start with Windows switched off by the silent switch: the agent's first start writes no
// Run value (without the switch a first install turns it on: see the uninstall test).
TEST_F(Installer, SilentAutostartOffLeavesNoRunValue)
{
    ASSERT_EQ(RunAndWait("\"" + SetupPath() + "\" /S /AUTOSTART=0 /D=" + folder, kSetupTimeoutMs), 0);
    AgentProcess agent;
    HWND hWnd = LaunchProgram(agent, folder + "\\" + kExeName);
    ASSERT_NE(hWnd, nullptr);
    std::string run;
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run)) << run;
    DWORD dwStartWin = 1;
    EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStartWin) && dwStartWin == 0);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

// An administrator's unwritable Setting.ini is no file "in use": upgrade and uninstall go on
// (the uninstall leaves it, since it cannot be removed).
TEST_F(Installer, UnwritableSettingIniStopsNeitherUpgradeNorUninstall)
{
    ASSERT_EQ(RunSetup(folder), 0);
    Immutable settings(folder + "\\Setting.ini");
    ASSERT_TRUE(settings.Set());
    EXPECT_EQ(RunSetup(folder), 0);
    EXPECT_EQ(RunUninstaller(folder), 0);
    EXPECT_FALSE(Exists(folder + "\\" + kExeName));
    EXPECT_FALSE(KeyExists(kUninstallKey));
}

// What the product writes in its folder goes with it, and so does the folder then.
TEST_F(Installer, UninstallRemovesTheJournalAndTheFolder)
{
    ASSERT_EQ(RunSetup(folder), 0);
    root.Write(std::string(PRODUCT_NAME "\\") + PRODUCT_SIM_JOURNAL, "5 WUSBOpen(32868,3000,0) = 0\r\n");
    // Without "_?=" the uninstaller works from a copy of itself, which can remove the folder.
    ASSERT_EQ(RunAndWait("\"" + folder + "\\" + kUninstaller + "\" /S", kSetupTimeoutMs), 0);
    EXPECT_TRUE(WaitUntil(kSetupTimeoutMs, [&] { return !Exists(folder); }));
}

// A second setup while one is open says so and changes nothing.
TEST_F(Installer, SecondSetupIsRefused)
{
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::string first = "\"" + SetupPath() + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &first[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    HWND hLanguagePage = nullptr;
    EXPECT_TRUE(WaitUntil(kSetupTimeoutMs, [&] { return (hLanguagePage = VisibleWindowOf(pi.dwProcessId)) != nullptr; }));

    EXPECT_EQ(RunSetup(folder), kSetupRefused);
    EXPECT_FALSE(Exists(folder));

    PostMessageA(hLanguagePage, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(pi.hProcess, kSetupTimeoutMs) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}
