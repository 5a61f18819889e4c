// The real agent under Wine: start-up, single instance, shutdown, library failures.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "agent/shutdown.h"

namespace {

class Startup : public ::testing::Test {
protected:
    RegistrySandbox registry;
};

}  // namespace

TEST_F(Startup, HiddenMainWindowAndOrderlyCloseWithPause)
{
    ProgramFolder folder("e2e-start");
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_FALSE(IsWindowVisible(hWnd));
    char szTitle[100] = {};
    GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    EXPECT_STREQ(szTitle, AGENT_CLASS);

    ASSERT_TRUE(folder.WaitCalls("WUSBManualScan(", 1, E2E_START_TIMEOUT_MS));
    std::vector<std::string> calls = folder.JournalCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "WUSBOpen(32868,3000,0) = 0");

    ULONGLONG nClose = GetTickCount64();
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    DWORD dwCode = 1;
    ASSERT_TRUE(agent.WaitExit(E2E_EXIT_TIMEOUT_MS, &dwCode));
    EXPECT_EQ(dwCode, 0u);
    EXPECT_GE(agent.ExitTick() - nClose, (ULONGLONG)SHUTDOWN_PAUSE_MS);
    calls = folder.JournalCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().rfind("WUSBClose()", 0), 0u) << calls.back();
    // WM_CLOSE skips the exit sequence: nothing is detached.
    EXPECT_EQ(folder.CountCalls("WUSBUnimportDevice("), 0);
}

TEST_F(Startup, SecondStartExplainsItselfAndLeavesTheFirstRunning)
{
    ProgramFolder folder("e2e-twice");
    AgentProcess first;
    HWND hFirst = LaunchAgent(first, folder);
    ASSERT_NE(hFirst, nullptr);
    ASSERT_TRUE(folder.WaitCalls("WUSBOpen(", 1, E2E_START_TIMEOUT_MS));

    AgentProcess second;
    HWND hDlg = StartToDialog(second, folder.ExePath());
    ASSERT_NE(hDlg, nullptr);
    char szText[512] = {};
    GetDlgItemTextA(hDlg, IDC_RUNNING_TEXT, szText, sizeof(szText));
    EXPECT_EQ(std::string(szText), folder.LangText("Message", "msg1"));
    EXPECT_EQ(second.FindWindowOf(AGENT_CLASS), nullptr);

    DWORD dwCode = 1;
    ASSERT_TRUE(AnswerOkAndWaitExit(second, hDlg, &dwCode));
    EXPECT_EQ(dwCode, 0u);
    EXPECT_EQ(folder.CountCalls("WUSBOpen("), 1) << "the second start must not open the library";
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindow(hFirst));

    PostMessageA(hFirst, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.WaitExit(E2E_EXIT_TIMEOUT_MS));
}

// Both ways the library can fail to start end in one error box and an exit on the agent's own.
TEST_F(Startup, LibraryFailureShowsOneErrorBoxThenExits)
{
    struct Case {
        const char* pszName;
        bool bRemoveLibrary;
    } cases[] = {{"open fails", false}, {"wusb.dll missing", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ProgramFolder folder("e2e-libfail");
        if (c.bRemoveLibrary)
            folder.Remove("wusb.dll");
        else
            folder.WriteScenario("[library]\r\nopen_result=7\r\n");
        AgentProcess agent;
        HWND hBox = StartToDialog(agent, folder.ExePath());
        ASSERT_NE(hBox, nullptr);
        Sleep(500);   // a second box would have shown by now
        EXPECT_EQ(agent.VisibleDialogs().size(), 1u);
        char szCaption[100] = {};
        GetWindowTextA(hBox, szCaption, sizeof(szCaption));
        EXPECT_EQ(std::string(szCaption), folder.LangText("Title", "t1"));

        ULONGLONG nOk = GetTickCount64();
        DWORD dwCode = 1;
        ASSERT_TRUE(AnswerOkAndWaitExit(agent, hBox, &dwCode));
        EXPECT_EQ(dwCode, 0u);
        EXPECT_GE(agent.ExitTick() - nOk, (ULONGLONG)SHUTDOWN_PAUSE_MS);
        if (c.bRemoveLibrary) {
            EXPECT_TRUE(folder.Journal().empty());
        } else {
            std::vector<std::string> calls = folder.JournalCalls();
            ASSERT_GE(calls.size(), 2u);
            EXPECT_EQ(calls.front(), "WUSBOpen(32868,3000,0) = 7");
            EXPECT_EQ(calls.back(), "WUSBClose() = 0");
            // Only the About dialog's list refreshes may come between: no scan, import or detach.
            for (size_t i = 1; i + 1 < calls.size(); ++i)
                EXPECT_EQ(calls[i].rfind("WUSBGetServerList(8)", 0), 0u) << calls[i];
        }
    }
}

// A second start writes the user's Run value before it gives up, as it always did, but
// only when it is the running agent's own program: a start of another installation's
// program (the per-user setup's beside the MSI's) must not take the logon over.
TEST_F(Startup, ARefusedStartOfAnotherInstallationLeavesTheRunValue)
{
    struct Case {
        const char* pszName;
        bool bOtherFolder;
    } const kCases[] = {{"the same program", false}, {"another installation", true}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        ProgramFolder folder("e2e-run-first"), other("e2e-run-other");
        AgentProcess first;
        HWND hFirst = LaunchAgent(first, folder);
        ASSERT_NE(hFirst, nullptr);
        ASSERT_TRUE(RegWriteString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, "stale"));

        AgentProcess second;
        HWND hDlg = StartToDialog(second, c.bOtherFolder ? other.ExePath() : folder.ExePath());
        ASSERT_NE(hDlg, nullptr);
        std::string run;
        EXPECT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
        EXPECT_EQ(run, c.bOtherFolder ? "stale" : "\"" + folder.ExePath() + "\"");
        EXPECT_TRUE(AnswerOkAndWaitExit(second, hDlg));
        EXPECT_TRUE(ExitAgentByMenu(first, hFirst));
    }
}
