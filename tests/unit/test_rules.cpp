// The rules the agent, q5check, the MSI's actions and the stand-in share: one table each.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "rules/agent_window.h"
#include "rules/device_id.h"
#include "rules/machine_defaults.h"
#include "rules/reg_key.h"
#include "rules/run_value.h"
#include "rules/text_out.h"
#include "rules/text_rules.h"
#include "rules/wusb_record.h"

TEST(Rules, DeviceTypeReadAsStoredListsRelyOnAndWrittenFormOnTop)
{
    const struct {
        const char* pszValue;
        int bParsed;
        long nVid, nPid;
        const char* pszWritten;   // nullptr: refused as an administrator's entry
    } cases[] = {
        {"VID_3A7C&PID_0105", 1, 0x3A7C, 0x105, "VID_3A7C&PID_0105"},
        {"vid_3a7c&pid_0105", 1, 0x3A7C, 0x105, "VID_3A7C&PID_0105"},
        {"VID_3A7C&PID_105", 1, 0x3A7C, 0x105, nullptr},   // stored lists hold it; not the full form
        {"VID_0x3A7C&PID_0105", 1, 0, 0, nullptr},          // "0x" read as 0 then "x3A7C..." skipped
        {"VID_13A7C&PID_0105", 1, 0x13A7C, 0x105, nullptr},
        {"VID_3A7C", 0, 0x3A7C, 0, nullptr},
        {"VID_", 0, 0, 0, nullptr},
        {"VID_zzzz&PID_0105", 0, 0, 0, nullptr},
        {"", 0, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        long nVid = -1, nPid = -1;
        EXPECT_EQ(ParseDeviceType(c.pszValue, &nVid, &nPid), c.bParsed) << c.pszValue;
        if (c.bParsed && c.pszWritten) {
            EXPECT_EQ(nVid, c.nVid) << c.pszValue;
            EXPECT_EQ(nPid, c.nPid) << c.pszValue;
        }
        char szWritten[DEVICE_TYPE_TEXT_SIZE] = "";
        EXPECT_EQ(IsWrittenDeviceType(c.pszValue, szWritten), c.pszWritten ? 1 : 0) << c.pszValue;
        if (c.pszWritten) {
            EXPECT_STREQ(szWritten, c.pszWritten);
        }
    }
}

// The tools' JSON strings: escapes, control characters as \u, missing as null, an over-long text
// kept up to the writer's limit rather than lost, and the buffer never overrun.
TEST(Rules, JsonStringsOfAnsiText)
{
    const std::string kLong(1500, 'a');
    const struct { const char* pszIn; bool bOrNull; size_t cbOut; std::string expected; } kCases[] = {
        {"say \"hi\"\\", false, 64, "\"say \\\"hi\\\"\\\\\""},
        {"tab\there", false, 64, "\"tab\\u0009here\""},
        {"", true, 64, "null"},
        {nullptr, true, 64, "null"},
        {kLong.c_str(), false, 4096, "\"" + std::string(1023, 'a') + "\""},
        {kLong.c_str(), false, 16, "\"" + std::string(14, 'a')},
    };
    for (const auto& c : kCases) {
        char szOut[4096 + 1];
        memset(szOut, 'X', sizeof(szOut));
        Out out = StartOut(szOut, c.cbOut);
        if (c.bOrNull)
            PutJsonStringOrNull(&out, c.pszIn);
        else
            PutJsonString(&out, c.pszIn);
        EXPECT_EQ(szOut, c.expected) << c.cbOut;
        EXPECT_EQ(szOut[c.cbOut], 'X') << "written past the buffer";
    }
}

TEST(Rules, BoundedNumbers)
{
    const struct {
        const char* pszText;
        long nMax;
        int bOk;
        long nValue;
    } cases[] = {
        {"0", 1, 1, 0},           {"1440", 1440, 1, 1440},  {"1441", 1440, 0, 0},
        {"0000000001", 1, 1, 1},  {"2147483647", 2147483647L, 1, 2147483647L},
        {"2147483648", 2147483647L, 0, 0}, {"99999999999999999999999", 2147483647L, 0, 0},
        {"", 1, 0, 0},            {" 1", 1, 0, 0},          {"-1", 1, 0, 0},   {"1x", 1, 0, 0},
    };
    for (const auto& c : cases) {
        long nValue = -7;
        EXPECT_EQ(ParseBoundedNumber(c.pszText, 0, c.nMax, &nValue), c.bOk) << c.pszText;
        EXPECT_EQ(nValue, c.bOk ? c.nValue : -7) << c.pszText;
    }
    EXPECT_STREQ(SkipBlanks(" \t x "), "x ");
}

TEST(Rules, ServerAddresses)
{
    const struct {
        const char* pszText;
        int bOk;
    } cases[] = {
        {"192.168.1.10", 1}, {" 10.0.0.1\t", 1}, {"255.255.255.255", 1}, {"256.1.1.1", 0},
        {"1.2.3", 0},        {"1.2.3.4.5", 0},   {"0001.2.3.4", 0},      {"a.b.c.d", 0}, {"", 0},
    };
    for (const auto& c : cases) {
        unsigned char abAddr[4] = {9, 9, 9, 9};
        EXPECT_EQ(ParseServerAddress(c.pszText, abAddr), c.bOk) << c.pszText;
        if (!c.bOk) {
            EXPECT_EQ(abAddr[0], 9);
        }
    }
    unsigned char abAddr[4];
    ASSERT_TRUE(ParseServerAddress("192.168.1.10", abAddr));
    EXPECT_EQ(ServerIdOfAddress(abAddr), 0x0A01A8C0u);
}

TEST(Rules, RunCommandNamesTheAgentOfAFolder)
{
    TempDir dir("run value");
    const std::string folder = dir.Path() + "\\";
    const std::string exe = folder + PRODUCT_EXE;
    char szShort[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(folder.c_str(), szShort, sizeof(szShort)), 0u);
    const struct {
        std::string command;
        int bStarts;
    } cases[] = {
        {"\"" + exe + "\"", 1},
        {exe, 1},
        {"\"" + std::string(szShort) + PRODUCT_EXE + "\"", 1},
        {"\"" + exe + "\" " PRODUCT_LOGON_SWITCH, 1},
        {"\"" + exe, 0},                                     // unterminated quote
        {"\"" + folder + "other.exe\"", 0},
        {"\"C:\\Elsewhere\\" PRODUCT_EXE "\"", 0},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunCommandStartsAgentIn(c.command.c_str(), folder.c_str()), c.bStarts) << c.command;
    char szProgram[8];
    EXPECT_EQ(RunCommandProgram("\"C:\\a long path.exe\"", szProgram, sizeof(szProgram)), 0);   // cut is not ours
}

TEST(Rules, MachineDefaults)
{
    RegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, PRODUCT_AGENT_KEY, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
    key.DeleteValue(PRODUCT_STARTWIN_VALUE);
    key.DeleteValue(PRODUCT_LANG_VALUE);
    DWORD dwStartWin = 7;
    char szLang[4] = "x";
    EXPECT_EQ(ReadMachineStartWin(&dwStartWin), 0);
    EXPECT_EQ(ReadMachineLang(szLang, sizeof(szLang)), 0);
    key.SetDword(PRODUCT_STARTWIN_VALUE, 0);
    key.SetString(PRODUCT_LANG_VALUE, "frxx");   // one byte more than the buffer holds
    EXPECT_EQ(ReadMachineStartWin(&dwStartWin), 1);
    EXPECT_EQ(dwStartWin, 0u);
    EXPECT_EQ(ReadMachineLang(szLang, sizeof(szLang)), 0);
    key.SetString(PRODUCT_LANG_VALUE, "fr");
    EXPECT_EQ(ReadMachineLang(szLang, sizeof(szLang)), 1);
    EXPECT_STREQ(szLang, "fr");
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_AGENT_KEY, KEY_WOW64_64KEY, 0);
}

TEST(Rules, FindsTheAgentWindowOfItsFolderOnly)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = PRODUCT_WINDOW_CLASS;
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowExA(0, PRODUCT_WINDOW_CLASS, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(hWnd);
    char szFolder[MAX_PATH];
    ASSERT_TRUE(GetProcessFolder(GetCurrentProcessId(), szFolder, sizeof(szFolder)));
    HWND ahFound[4] = {};
    EXPECT_EQ(FindAgentWindows(szFolder, ahFound, 4), 1);
    EXPECT_EQ(ahFound[0], hWnd);
    EXPECT_EQ(FindAgentWindows("C:\\Elsewhere\\", ahFound, 4), 0);
    DestroyWindow(hWnd);
    UnregisterClassA(PRODUCT_WINDOW_CLASS, wc.hInstance);
}
