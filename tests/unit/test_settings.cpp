// RegKey, the program directory, the registry settings and the Run entry, on Wine's registry.
#include <gtest/gtest.h>
#include "support/unit_fixture.h"
#include "rules/reg_key.h"
#include "settings/settings.h"
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string ExePath()
{
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, sizeof(szPath));
    return szPath;
}

std::string QuotedExePath() { return "\"" + ExePath() + "\""; }

// The Run value, "" when absent.
std::string RunValue()
{
    std::string value;
    RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &value);
    return value;
}

class Settings : public ProgramDirTest {};

}  // namespace

TEST_F(Settings, RegKeyRoundTripAndClosedKeyRefuses)
{
    RegKey key;
    EXPECT_NE(key.SetDword("x", 1), ERROR_SUCCESS);   // nothing open yet
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(key.SetDword("d", 0x12345678), ERROR_SUCCESS);
    EXPECT_EQ(key.SetString("s", "abc"), ERROR_SUCCESS);
    DWORD dw = 0, cb = sizeof(dw);
    EXPECT_EQ(key.QueryValue("d", &dw, &cb), ERROR_SUCCESS);
    EXPECT_EQ(dw, 0x12345678u);
    char sz[16] = {};
    cb = sizeof(sz);
    EXPECT_EQ(key.QueryValue("s", sz, &cb), ERROR_SUCCESS);
    EXPECT_STREQ(sz, "abc");
    EXPECT_EQ(cb, 4u);   // the terminating zero is stored too
    EXPECT_EQ(key.DeleteValue("s"), ERROR_SUCCESS);
    EXPECT_EQ(key.DeleteValue("s"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.Close(), 1);
    EXPECT_EQ(key.Handle(), nullptr);
    EXPECT_EQ(key.Close(), 1);
    EXPECT_NE(key.QueryValue("d", &dw, &cb), ERROR_SUCCESS);
}

TEST_F(Settings, FirstStartStoresDefaultsAndQuotedRunEntry)
{
    TraceCapture capture;
    EXPECT_EQ(LoadSettings(), 0);   // no Setting.ini: no languages
    EXPECT_EQ(std::string(g_szSettingIni), m_dir.Path() + "\\Setting.ini");
    DWORD dw = 0;
    ASSERT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dw));
    EXPECT_EQ(dw, 1u);
    std::string value;
    ASSERT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &value));
    EXPECT_EQ(value, "de");
    EXPECT_EQ(g_bStartWithWindows, 1);
    EXPECT_EQ(RunValue(), QuotedExePath());
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"win value = 1"});
}

TEST_F(Settings, StartWinDecidesRunEntry)
{
    struct Row { DWORD dwStored; int bExpected; const char* pszTrace; };
    const Row rows[] = {
        {1, 1, "win value = 1"}, {0, 0, "win value = 0"}, {2, 0, "win value = 2"},
        {0xFFFFFFFF, 0, "win value = -1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszTrace);
        RegWriteDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, row.dwStored);
        const char* pszStale = "\"C:\\Old\\" PRODUCT_EXE "\"";   // moved exe or another writer
        RegWriteString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, pszStale);
        TraceCapture capture;
        LoadSettings();
        EXPECT_EQ(g_bStartWithWindows, row.bExpected);
        EXPECT_EQ(RunValue(), row.bExpected ? QuotedExePath() : "");
        DWORD dw = 0;
        EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dw));
        EXPECT_EQ(dw, row.dwStored);   // an odd value stays until the user toggles
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{row.pszTrace});
    }
}

TEST_F(Settings, UnreadableValuesAreReplacedByDefaults)
{
    const unsigned char abEight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    RegWriteValue(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, REG_BINARY, abEight, sizeof(abEight));
    std::string longLang(300, 'x');
    RegWriteString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, longLang);
    LoadSettings();
    DWORD dw = 0;
    EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dw));   // REG_DWORD now
    EXPECT_EQ(dw, 1u);
    std::string value;
    EXPECT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &value));
    EXPECT_EQ(value, "de");
    EXPECT_EQ(g_bStartWithWindows, 1);
}

TEST_F(Settings, ToggleTwiceReturnsToStart)
{
    struct Row { DWORD dwStored; int bAfterFirst; int bAfterSecond; };
    const Row rows[] = {{1, 0, 1}, {0, 1, 0}, {2, 1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.dwStored);
        RegWriteDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, row.dwStored);
        LoadSettings();
        for (int bExpected : {row.bAfterFirst, row.bAfterSecond}) {
            ToggleStartWithWindows();
            EXPECT_EQ(g_bStartWithWindows, bExpected);
            DWORD dw = 99;
            EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dw));
            EXPECT_EQ(dw, (DWORD)bExpected);
            EXPECT_EQ(RunValue(), bExpected ? QuotedExePath() : "");
        }
    }
}

// Other executable paths can only come from a copy of this exe run from there: run as
// that child, it reports strlen(g_szAppDir) as its exit code before any test starts.
static int ReportDirLengthAsChild()
{
    if (getenv("SETTINGS_CHILD")) {
        InitAppDir();
        ExitProcess(100 + (UINT)strlen(g_szAppDir));
    }
    return 0;
}
[[maybe_unused]] static const int s_nChildReport = ReportDirLengthAsChild();

// The folder is the path up to its last backslash, whatever the program is called.
TEST(InitAppDirShortPath, TheFolderOfAnyProgramName)
{
    struct Row { const char* pszExe; UINT nDirLen; };
    const Row rows[] = {
        {"C:\\s.exe", 2},                      // a drive's root: "C:"
        {"C:\\vq5\\" PRODUCT_NAME " (1).exe", 6},   // saved again by a browser: "C:\vq5"
        {"C:\\vq5\\" PRODUCT_EXE, 6},               // the real name
    };
    CreateDirectoryA("C:\\vq5", nullptr);
    SetEnvironmentVariableA("SETTINGS_CHILD", "1");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszExe);
        ASSERT_TRUE(CopyFileA(ExePath().c_str(), row.pszExe, FALSE));
        std::string cmd = std::string("\"") + row.pszExe + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessA(row.pszExe, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD dwExit = 0;
        GetExitCodeProcess(pi.hProcess, &dwExit);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        DeleteFileA(row.pszExe);
        EXPECT_EQ(dwExit, 100 + row.nDirLen);
    }
    SetEnvironmentVariableA("SETTINGS_CHILD", nullptr);
    RemoveDirectoryA("C:\\vq5");
}

// ---- Defaults from the machine (written by the per-machine package) --------------
namespace {

// The machine's agent key with the given values ("" lang: none), gone again at the end.
class MachineDefaults {
public:
    MachineDefaults(const char* pszLang, const DWORD* pdwStartWin)
    {
        Clear();
        HKEY hKey;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_AGENT_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                            nullptr) != ERROR_SUCCESS)
            return;
        if (pszLang[0])
            RegSetValueExA(hKey, PRODUCT_LANG_VALUE, 0, REG_SZ, (const BYTE*)pszLang, (DWORD)strlen(pszLang) + 1);
        if (pdwStartWin)
            RegSetValueExA(hKey, PRODUCT_STARTWIN_VALUE, 0, REG_DWORD, (const BYTE*)pdwStartWin, sizeof(DWORD));
        RegCloseKey(hKey);
    }
    ~MachineDefaults() { Clear(); }
private:
    static void Clear()
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_AGENT_KEY);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_VENDOR_KEY);
    }
};

std::string UserLang()
{
    std::string value;
    RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &value);
    return value;
}

DWORD UserStartWin()
{
    DWORD dw = 99;
    RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dw);
    return dw;
}

}  // namespace

TEST_F(Settings, FirstStartTakesTheMachineDefaults)
{
    const DWORD dwOff = 0;
    MachineDefaults machine("fr", &dwOff);
    LoadSettings();
    EXPECT_EQ(UserLang(), "fr");
    EXPECT_EQ(UserStartWin(), 0u);
    EXPECT_EQ(g_bStartWithWindows, 0);
    EXPECT_EQ(RunValue(), "");
}

TEST_F(Settings, UsersOwnChoiceWinsOverTheMachine)
{
    const DWORD dwOff = 0;
    MachineDefaults machine("fr", &dwOff);
    RegWriteDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, 1);
    RegWriteString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, "en");
    LoadSettings();
    EXPECT_EQ(UserLang(), "en");
    EXPECT_EQ(UserStartWin(), 1u);
    EXPECT_EQ(RunValue(), QuotedExePath());
}

TEST_F(Settings, MachineKeyWithoutValuesGivesTheBuiltInDefaults)
{
    MachineDefaults machine("", nullptr);
    LoadSettings();
    EXPECT_EQ(UserLang(), PRODUCT_DEFAULT_LANG);
    EXPECT_EQ(UserStartWin(), 1u);
    EXPECT_EQ(RunValue(), QuotedExePath());
}

// What Active Setup runs at a user's logon: the Run value, and nothing else.
TEST_F(Settings, LogonStepWritesTheRunValueOnlyWhenAutostartIsOn)
{
    const DWORD dwOn = 1, dwOff = 0;
    const std::string otherAgent = "\"" + ExePath() + "\"";   // a program that exists
    const std::string deadAgent = "\"C:\\Gone\\" PRODUCT_EXE "\"";
    struct Row {
        const char* pszCase;
        const DWORD* pdwMachine;   // the machine's startwin
        const DWORD* pdwUser;      // the user's own, or none
        std::string runBefore;     // "" none
        std::string runAfter;
    };
    const Row rows[] = {
        {"machine on, no choice", &dwOn, nullptr, "", QuotedExePath()},
        {"no machine value", nullptr, nullptr, "", QuotedExePath()},
        {"machine off", &dwOff, nullptr, "", ""},
        {"user turned it off", &dwOn, &dwOff, "", ""},
        {"user turned it on", &dwOff, &dwOn, "", QuotedExePath()},
        {"another agent starts already", &dwOn, nullptr, otherAgent, otherAgent},
        {"a dead Run value", &dwOn, nullptr, deadAgent, QuotedExePath()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszCase);
        RegistrySandbox clean;
        MachineDefaults machine("it", row.pdwMachine);
        if (row.pdwUser)
            RegWriteDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, *row.pdwUser);
        if (!row.runBefore.empty())
            RegWriteString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, row.runBefore);
        EXPECT_EQ(PrepareLogonStart(), 0);
        EXPECT_EQ(RunValue(), row.runAfter);
        // The user's first start still decides "lang" and "startwin".
        EXPECT_EQ(UserLang(), "");
        EXPECT_EQ(UserStartWin(), row.pdwUser ? *row.pdwUser : 99u);
    }
}
