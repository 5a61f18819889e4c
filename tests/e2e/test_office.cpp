// The agent in an office: several sessions of one computer sharing its device,
// a device another computer holds, several boxes on the network.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "agent/other_agents.h"
#include "agent/connection.h"

namespace {

// Two boxes: the default one (192.168.1.10, device 1) and 192.168.1.20 with device 2.
const char* const kTwoBoxes =
    "[library]\r\norder=1,2\r\n"
    "[server]\r\nstatus=3\r\nholder=OTHER-PC\r\n"
    "[server2]\r\naddress=192.168.1.20\r\nfirmware=3.0.0.1\r\ndevice_id=2\r\nstatus=1\r\nholder=\r\n";
const char* const kImportSecond = "WUSBImportDevice(335653056,2) = 0";   // 192.168.1.20

// How the agent is ended: Exit, or WM_ENDSESSION for a logoff, an installer's close
// request through the Restart Manager, or a shutdown of the computer.
enum class End { Exit, Logoff, CloseApp, Shutdown };

class Office : public ::testing::Test {
protected:
    RegistrySandbox registry;

    // Ends the agent as a user's Exit, a logoff, an installer or a shutdown does.
    static void EndAgent(AgentProcess& agent, HWND hWnd, End end)
    {
        if (end == End::Exit) {
            ASSERT_TRUE(ExitAgentByMenu(agent, hWnd));
        } else {
            const LPARAM nFlags = end == End::Logoff ? ENDSESSION_LOGOFF : end == End::CloseApp ? ENDSESSION_CLOSEAPP : 0;
            DWORD_PTR nAnswer = 0;
            ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_QUERYENDSESSION, 0, nFlags, SMTO_BLOCK, 10000, &nAnswer));
            ASSERT_EQ(nAnswer, (DWORD_PTR)TRUE);
            ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_ENDSESSION, TRUE, nFlags, SMTO_BLOCK, 10000, &nAnswer));
            ASSERT_TRUE(agent.WaitExit(E2E_EXIT_TIMEOUT_MS));
        }
    }
    // The agent of another session, once this test process (which holds no slot) sees it.
    static bool StartOtherSession(AgentProcess& other)
    {
        return other.Start(WinePathOf(OTHER_AGENT_PATH)) && WaitUntil(10000, [] { return OtherAgentRunning() == 1; });
    }
};

}  // namespace

// Exit, logoff and an installer's close request leave the device to another session's
// agent; an agent of another session that was killed does not keep the device attached;
// a shutdown of the computer ends every session, so the device goes back to the box.
TEST_F(Office, AnotherSessionsAgentKeepsTheDeviceAttached)
{
    struct Case {
        const char* pszName;
        End end;
        bool bOtherRuns;
        bool bOtherKilled;
        int nDetaches;
    } const kCases[] = {
        {"Exit, the other session's agent runs", End::Exit, true, false, 0},
        {"logoff, the other session's agent runs", End::Logoff, true, false, 0},
        {"close request, the other session's agent runs", End::CloseApp, true, false, 0},
        {"shutdown, the other session's agent runs", End::Shutdown, true, false, 1},
        {"close request alone", End::CloseApp, false, false, 1},
        {"Exit, the other session's agent was killed", End::Exit, true, true, 1},
        {"Exit alone", End::Exit, false, false, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        ProgramFolder folder("e2e-sessions");
        AgentProcess other;
        if (c.bOtherRuns) {
            ASSERT_TRUE(StartOtherSession(other));
        }
        AgentProcess agent;
        HWND hWnd = LaunchAttached(agent, folder);
        ASSERT_NE(hWnd, nullptr);
        if (c.bOtherKilled) {
            other.Kill();
            ASSERT_TRUE(other.WaitExit(10000));
        }
        EndAgent(agent, hWnd, c.end);
        EXPECT_EQ(folder.CountCalls(E2E_UNIMPORT_CALL), c.nDetaches);
        EXPECT_EQ(folder.JournalCalls().back(), "WUSBClose() = 0");
    }
}

// No way of ending asks the library to detach a device another computer holds.
TEST_F(Office, AnotherComputersDeviceIsNeverDetached)
{
    for (End end : {End::Exit, End::Logoff, End::Shutdown}) {
        SCOPED_TRACE(end == End::Exit ? "Exit" : end == End::Logoff ? "logoff" : "shutdown");
        ProgramFolder folder("e2e-other-pc");
        folder.WriteScenario("[server]\r\nstatus=3\r\nholder=OFFICE-PC\r\n");
        AgentProcess agent;
        HWND hWnd = LaunchAgent(agent, folder);
        ASSERT_NE(hWnd, nullptr);
        ASSERT_TRUE(agent.WaitTrace("Device hostname = OFFICE-PC\n", 10000));
        EndAgent(agent, hWnd, end);
        EXPECT_EQ(folder.CountCalls("WUSBUnimportDevice("), 0);
    }
}

// With two boxes, only the one Setting.ini names is ever attached, shown and
// asked about, wherever discovery puts it in the list.
TEST_F(Office, TheNamedBoxIsTheOnlyOneActedOnInAnyListOrder)
{
    ProgramFolder folder("e2e-two-boxes");
    folder.WriteScenario(kTwoBoxes);
    WritePrivateProfileStringA("server", "address", "192.168.1.20", (folder.Path() + "\\Setting.ini").c_str());
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(WaitUntil(10000, [&] { return folder.CountCalls(kImportSecond) == 1; }));

    // The order swaps while the device is attached, then the box frees it while the
    // named box is listed second: the agent takes it back from there.
    int nLists = folder.CountCalls("WUSBGetServerList(");
    folder.SetScenario("library", "order", "2,1");
    ASSERT_TRUE(folder.WaitCalls("WUSBGetServerList(", nLists + 1, 5000));
    folder.SetScenario("library", "order", "1,2");
    folder.SetScenario("server2", "holder", "");
    folder.SetScenario("server2", "status", "1");
    ASSERT_TRUE(WaitUntil(10000, [&] { return folder.CountCalls(kImportSecond) == 2; }));

    PostMessageA(hWnd, WM_COMMAND, IDM_ABOUT, 0);
    HWND hAbout = WaitVisibleDialog(agent, 10000);
    ASSERT_NE(hAbout, nullptr);
    EXPECT_EQ(DlgItemText(hAbout, IDC_FW_VERSION), "v3.0.0.1");
    PostMessageA(hAbout, WM_COMMAND, IDOK, 0);

    EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 2);
    EXPECT_FALSE(agent.HasTrace("Device hostname = OTHER-PC\n")) << "the first box was never presented";
    ASSERT_TRUE(ExitAgentByMenu(agent, hWnd));
    EXPECT_EQ(folder.CountCalls("WUSBUnimportDevice(335653056,2) = 0"), 1);
}

// A named box that is not listed is no server: nothing is attached, and the agent keeps scanning.
TEST_F(Office, ANamedBoxNotListedIsNoServer)
{
    ProgramFolder folder("e2e-box-absent");
    WritePrivateProfileStringA("server", "address", "192.168.1.99", (folder.Path() + "\\Setting.ini").c_str());
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(agent.WaitTrace("Server 192.168.1.99 named in Setting.ini is not listed\n", 10000));
    ASSERT_TRUE(agent.WaitTrace("Checked g_nServerNum = 1 start scan", SERVER_CHECK_MS + 5000));
    EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 0);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}
