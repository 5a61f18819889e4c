// Figures of the agent's own speed, printed and never asserted: start-up, the answer to
// the library's notification, the end of a session, q5ctl over the channel, q5check's run,
// the device filter and the look for other sessions' agents an Exit makes.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "support/console_process.h"
#include "q5ctl/ctl_channel.h"
#include "agent/device_filter.h"
#include "agent/other_agents.h"

namespace {

// Milliseconds one call of fn takes, over nCalls calls.
template <typename F>
double MsPerCall(int nCalls, F fn)
{
    LARGE_INTEGER nFreq, nStart, nEnd;
    QueryPerformanceFrequency(&nFreq);
    QueryPerformanceCounter(&nStart);
    for (int i = 0; i < nCalls; ++i)
        fn();
    QueryPerformanceCounter(&nEnd);
    return (nEnd.QuadPart - nStart.QuadPart) * 1000.0 / nFreq.QuadPart / nCalls;
}

void PrintQ5ctlFigures(const ProgramFolder& folder, HWND hAgent)
{
    // The channel alone, as q5ctl's waits use it.
    ASSERT_TRUE(OpenCtlReplyWindow());
    ControlReply reply;
    int nTrips = 0;
    ULONGLONG nStart = GetTickCount64();
    while (GetTickCount64() - nStart < 3000 && AskAgent(hAgent, CONTROL_STATUS, 0, &reply) == CTL_ASK_ANSWERED)
        ++nTrips;
    ULONGLONG nMs = GetTickCount64() - nStart;
    CloseCtlReplyWindow();
    printf("[ figures ] q5ctl status round trips: %d in %llu ms, %.0f per second\n", nTrips, nMs,
           nMs ? nTrips * 1000.0 / nMs : 0.0);

    // One whole q5ctl.exe status: mostly the start of a process under Wine.
    ConsoleRun run = RunConsole(folder.CtlExePath(), "status", 30000);
    printf("[ figures ] q5ctl.exe status, whole process: %llu ms (exit %lu)\n", run.nMs, run.dwExitCode);

    // connect --wait against the agent's own delayed import: from the request's list refresh
    // to the refresh that shows the device attached, and what q5ctl took beyond that.
    for (int i = 0; i < 2; ++i) {
        ConsoleRun off = RunConsole(folder.CtlExePath(), "disconnect --wait 30", 30000);
        ASSERT_EQ(off.dwExitCode, 0u);
        Sleep(500);
        ULONGLONG nAsked = GetTickCount64();
        ConsoleRun on = RunConsole(folder.CtlExePath(), "connect --wait 30", 30000);
        ULONGLONG nEnded = GetTickCount64();
        ASSERT_EQ(on.dwExitCode, 0u) << on.out;
        unsigned long long nRequest = folder.FirstCall("WUSBGetServerList(", nAsked);
        unsigned long long nImport = folder.FirstCall("WUSBImportDevice(", nAsked);
        unsigned long long nNotify = folder.FirstCall("notify", nImport);
        unsigned long long nAttached = folder.FirstCall("WUSBGetServerList(", nNotify);
        printf("[ figures ] connect --wait: agent request to import %llu ms, import to agent's refresh %llu ms; "
               "q5ctl saw it %llu ms after the agent (whole command %llu ms)\n",
               nImport - nRequest, nAttached - nImport, nEnded - nAttached, nEnded - nAsked);
    }
}

}  // namespace

TEST(AgentSpeed, StartAttachQ5ctlAndSessionEnd)
{
    RegistrySandbox registry;
    ProgramFolder folder("bench-agent");
    AgentProcess agent;
    ULONGLONG nStart = GetTickCount64();
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    printf("[ figures ] process start to main window: %llu ms\n", GetTickCount64() - nStart);
    ASSERT_TRUE(WaitAttached(folder, 1));
    // The stand-in's time stamps: its notification of the import, then the agent's refresh.
    unsigned long long nNotify = folder.FirstCall("notify", folder.FirstCall(E2E_IMPORT_CALL));
    printf("[ figures ] stand-in notification to agent refresh: %llu ms\n",
           folder.FirstCall("WUSBGetServerList(", nNotify) - nNotify);

    PrintQ5ctlFigures(folder, hWnd);

    // Windows may end the process soon after WM_ENDSESSION returns.
    DWORD_PTR nAnswer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &nAnswer));
    ULONGLONG nEnd = GetTickCount64();
    ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &nAnswer));
    printf("[ figures ] WM_ENDSESSION handled in %llu ms\n", GetTickCount64() - nEnd);
    EXPECT_TRUE(agent.WaitExit(E2E_EXIT_TIMEOUT_MS));

    // The diagnostics command with the default scenario and wait, no agent running.
    ConsoleRun check = RunConsole(folder.CheckExePath(), "", 60000);
    EXPECT_TRUE(check.bEnded);
    printf("[ figures ] q5check, default scenario, default wait: %llu ms (exit %lu)\n", check.nMs, check.dwExitCode);
}

TEST(AgentSpeed, DeviceFilterAndOtherSessionsLookUp)
{
    RegistrySandbox registry;
    PolicySandbox policies;
    TempDir dir("bench-filter");
    ResetAgentState();
    UseProgramDir(dir.Path());
    dir.Write("Setting.ini", "[device]\r\nidnum=1\r\nid0=VID_3A7C&PID_0105\r\n");
    _WUSB_DEVICE other = {};
    other.wVendorId = 0x1234;
    other.wProductId = 0x5678;
    // What reading the list costs at each notification, from Setting.ini and from a policy.
    printf("[ figures ] device filter with Setting.ini's list: %.1f us per call\n",
           1000 * MsPerCall(1000, [&] { FindDeviceType(&other); }));
    policies.Set(PolicyText(HKEY_LOCAL_MACHINE, PRODUCT_POLICY_DEVICES_VALUE, "VID_0000&PID_0001;vid_1234&pid_5678"));
    EXPECT_EQ(IsSupportedDevice(&other), 1);
    printf("[ figures ] device filter with a policy list: %.1f us per call\n",
           1000 * MsPerCall(1000, [&] { FindDeviceType(&other); }));
    // What an Exit adds when it looks at every slot and finds none held.
    printf("[ figures ] looking for other sessions' agents (%d slots): %.2f ms\n", PRODUCT_AGENT_SLOTS,
           MsPerCall(10, [] { OtherAgentRunning(); }));
    ResetAgentState();
}
