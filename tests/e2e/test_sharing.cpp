// The real agent sharing one device with other computers: connect on demand, the
// user's own choice, the release at a lock or after a time away and the return, the
// notices, another session's agent, and the shipped choices leaving all as it was.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "ui/tray_icon.h"
#include "agent/connection.h"
#include <tlhelp32.h>

namespace {

const char* const kImport = E2E_IMPORT_CALL;
const char* const kUnimport = E2E_UNIMPORT_CALL;

class Sharing : public ::testing::Test {
protected:
    RegistrySandbox registry;

    // The process has loaded the module (name as Windows lists it, any case).
    static bool HasModule(DWORD dwPid, const char* pszModule)
    {
        HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, dwPid);
        if (hSnap == INVALID_HANDLE_VALUE)
            return false;
        MODULEENTRY32 me = {};
        me.dwSize = sizeof(me);
        bool bFound = false;
        for (BOOL b = Module32First(hSnap, &me); b && !bFound; b = Module32Next(hSnap, &me))
            bFound = lstrcmpiA(me.szModule, pszModule) == 0;
        CloseHandle(hSnap);
        return bFound;
    }
};

}  // namespace

// With autoconnect 0 the agent attaches only after Connect; a Disconnect lasts across
// a suspend and resume, and a resume gives back a wish that was set.
TEST_F(Sharing, ConnectOnDemandAndDisconnectLastsAcrossAResume)
{
    ProgramFolder folder("e2e-on-demand");
    folder.SetSetting("share", "autoconnect", "0");
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(agent.WaitTrace(">>> Start read ini!! bOk =1 \n", 10000));
    EXPECT_EQ(SettledImports(folder), 0) << "no wish at start";
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(SettledImports(folder), 0) << "a resume gives back no wish";

    PostMessageA(hWnd, WM_COMMAND, IDM_CONNECT, 0);
    ASSERT_TRUE(WaitAttached(folder, 1));
    // A suspend's detach is not the user's: the resume attaches again.
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    ASSERT_TRUE(folder.WaitCalls(kUnimport, 1));
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_TRUE(WaitAttached(folder, 2));
    PostMessageA(hWnd, WM_COMMAND, IDM_DISCONNECT, 0);
    ASSERT_TRUE(folder.WaitCalls(kUnimport, 2));
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ(SettledImports(folder), 2) << "Disconnect lasts until Connect";
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

// The user's "autoconnect" wins over Setting.ini's, either way.
TEST_F(Sharing, TheUsersOwnAutoconnectWins)
{
    struct Case { const char* pszIni; DWORD dwUser; int nImports; } const kCases[] = {
        {"1", 0, 0},
        {"0", 1, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "Setting.ini " << c.pszIni << ", user " << c.dwUser);
        ProgramFolder folder("e2e-user-choice");
        folder.SetSetting("share", "autoconnect", c.pszIni);
        ASSERT_TRUE(RegWriteDword(PRODUCT_AGENT_KEY, PRODUCT_AUTOCONNECT_VALUE, c.dwUser));
        AgentProcess agent;
        HWND hWnd = LaunchAgent(agent, folder);
        ASSERT_NE(hWnd, nullptr);
        ASSERT_TRUE(agent.WaitTrace(">>> Start read ini!! bOk =1 \n", 10000));
        EXPECT_EQ(SettledImports(folder), c.nImports);
        EXPECT_TRUE(agent.HasTrace(std::string("Share: autoconnect=") + (c.dwUser ? "1" : "0") +
                                   " (the user's registry) release_after=0 release_on_lock=0 notices=0\n"));
        EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
    }
}

// A lock gives the device back, the unlock takes it again and says so; with another
// session's agent running, the lock gives nothing back.
TEST_F(Sharing, LockReleasesAndUnlockAttachesAgainUnlessAnotherSessionsAgentRuns)
{
    for (bool bOther : {false, true}) {
        SCOPED_TRACE(bOther ? "another session's agent runs" : "alone");
        ProgramFolder folder("e2e-lock");
        folder.SetSetting("share", "release_on_lock", "1");
        AgentProcess other;
        if (bOther) {
            ASSERT_TRUE(other.Start(WinePathOf(OTHER_AGENT_PATH)));
        }
        AgentProcess agent;
        HWND hWnd = LaunchAttached(agent, folder);
        ASSERT_NE(hWnd, nullptr);
        ASSERT_TRUE(agent.WaitTrace("Share: session lock watched\n", 5000));
        EXPECT_TRUE(HasModule(agent.Pid(), "wtsapi32.dll"));
        PostMessageA(hWnd, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
        if (bOther) {
            EXPECT_TRUE(agent.WaitTrace(
                "Share: not released at the session's lock: an agent of another session still runs\n", 5000));
            EXPECT_EQ(folder.CountCalls(kUnimport), 0);
            EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
            EXPECT_EQ(folder.CountCalls(kUnimport), 0) << "Exit follows the same rule";
            continue;
        }
        ASSERT_TRUE(folder.WaitCalls(kUnimport, 1, 5000));
        EXPECT_TRUE(agent.HasTrace("Share: released at the session's lock\n"));
        EXPECT_EQ(SettledImports(folder), 1) << "nothing attached while locked";
        PostMessageA(hWnd, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
        ASSERT_TRUE(folder.WaitCalls(kImport, 2));
        EXPECT_TRUE(agent.WaitTrace("Share: notice connected again: " PRODUCT_NAME " ist wieder verbunden.\n", 5000));
        EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
    }
}

// After a time without input: the warning, a cancel by input, the release, and the
// return at the next input. release_after=1 warns at half a minute.
TEST_F(Sharing, AwayReleaseWarnsIsCancelledByInputAndReturnsOnInput)
{
    ProgramFolder folder("e2e-away");
    folder.SetSetting("share", "release_after", "1");
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(agent.WaitTrace("Share: away warning\n", 45000));
    EXPECT_EQ(folder.CountCalls(kUnimport), 0);
    ASSERT_TRUE(MakeUserInput()) << "input on the desktop moves GetLastInputInfo";
    ASSERT_TRUE(agent.WaitTrace("Share: away release cancelled by input\n", 10000));

    ASSERT_TRUE(folder.WaitCalls(kUnimport, 1, 80000));
    EXPECT_TRUE(agent.HasTrace("Share: released after a time without input\n"));
    ASSERT_TRUE(MakeUserInput());
    ASSERT_TRUE(folder.WaitCalls(kImport, 2, 15000));
    EXPECT_TRUE(agent.WaitTrace("Share: back (input), the wish is 1 again\n", 1000));
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

// notices=1: free after another computer had it (click to connect, with connect on
// demand), and attached here after a wait.
TEST_F(Sharing, NoticesOfFreeAndOfAttachedAfterAWait)
{
    struct Case { const char* pszAutoconnect; const char* pszNotice; bool bClick; } const kCases[] = {
        {"0", "Share: notice free: OTHER-PC hat das Ger\xE4t freigegeben. Klicken Sie hier, um es mit diesem "
              "Computer zu verbinden.\n", true},
        {"1", "Share: notice connected after a wait: Das Ger\xE4t ist jetzt mit diesem Computer verbunden; zuvor "
              "hatte es OTHER-PC.\n", false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszNotice);
        ProgramFolder folder("e2e-notices");
        folder.SetSetting("share", "notices", "1");
        folder.SetSetting("share", "autoconnect", c.pszAutoconnect);
        folder.SetHolder("OTHER-PC");
        AgentProcess agent;
        HWND hWnd = LaunchAgent(agent, folder);
        ASSERT_NE(hWnd, nullptr);
        ASSERT_TRUE(folder.WaitCalls("WUSBGetServerList("));
        Sleep(1000);
        folder.SetHolder("");
        ASSERT_TRUE(agent.WaitTrace(c.pszNotice, 15000));
        if (c.bClick) {
            EXPECT_EQ(SettledImports(folder), 0);
            PostMessageA(hWnd, WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK);
            EXPECT_TRUE(folder.WaitCalls(kImport));
        }
        EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
    }
}

// The shipped Setting.ini: no [share] trace, no new library loaded, and a lock, a
// notice click or a resume do what they always did.
TEST_F(Sharing, ShippedChoicesChangeNothing)
{
    ProgramFolder folder("e2e-shipped");
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    PostMessageA(hWnd, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    PostMessageA(hWnd, WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK);
    PostMessageA(hWnd, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    Sleep(SERVER_CHECK_MS + 1000);
    EXPECT_EQ(folder.CountCalls("WUSBUnimportDevice("), 0);
    EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 1);
    EXPECT_FALSE(HasModule(agent.Pid(), "wtsapi32.dll"));
    EXPECT_FALSE(agent.LastTraceAfter("Share:"));
    ASSERT_TRUE(ExitAgentByMenu(agent, hWnd));
    EXPECT_EQ(folder.CountCalls(kUnimport), 1);
}
