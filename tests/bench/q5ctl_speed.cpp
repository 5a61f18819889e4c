// Figures of q5ctl against the real agent and the stand-in (printed, never asserted):
// status round trips per second over the channel, the time of one q5ctl.exe status,
// and what connect --wait adds to the agent's own delayed import.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "support/console_process.h"
#include "q5ctl/ctl_channel.h"

namespace {

// Time stamp of the first journal entry at or after nFrom whose call starts with prefix; 0: none.
unsigned long long FirstFrom(const ProgramFolder& folder, unsigned long long nFrom, const std::string& prefix)
{
    for (const ProgramFolder::Entry& e : folder.Journal())
        if (e.nMs >= nFrom && e.call.compare(0, prefix.size(), prefix) == 0)
            return e.nMs;
    return 0;
}

}  // namespace

TEST(Q5ctlSpeed, StatusRoundTripsAndConnectWait)
{
    RegistrySandbox registry;
    ProgramFolder folder("bench-q5ctl");
    AgentProcess agent;
    HWND hAgent = LaunchAttached(agent, folder);
    ASSERT_NE(hAgent, nullptr);

    // The channel alone, as q5ctl's waits use it.
    ASSERT_TRUE(OpenCtlReplyWindow());
    ControlReply reply;
    int nTrips = 0;
    ULONGLONG nStart = GetTickCount64();
    while (GetTickCount64() - nStart < 3000 && AskAgent(hAgent, CONTROL_STATUS, 0, &reply) == CTL_ASK_ANSWERED)
        ++nTrips;
    ULONGLONG nMs = GetTickCount64() - nStart;
    CloseCtlReplyWindow();
    printf("[ figures ] status round trips: %d in %llu ms, %.0f per second\n", nTrips, nMs,
           nMs ? nTrips * 1000.0 / nMs : 0.0);

    // One whole q5ctl.exe status: mostly the start of a process under Wine.
    for (int i = 0; i < 3; ++i) {
        ConsoleRun run = RunConsole(folder.CtlExePath(), "status", 30000);
        printf("[ figures ] q5ctl.exe status, whole process: %llu ms (exit %lu)\n", run.nMs, run.dwExitCode);
    }

    // connect --wait against the agent's own delayed import: from the request's list refresh
    // to the refresh that shows the device attached, and what q5ctl took beyond that.
    for (int i = 0; i < 3; ++i) {
        ConsoleRun off = RunConsole(folder.CtlExePath(), "disconnect --wait 30", 30000);
        ASSERT_EQ(off.dwExitCode, 0u);
        Sleep(500);
        ULONGLONG nAsked = GetTickCount64();
        ConsoleRun on = RunConsole(folder.CtlExePath(), "connect --wait 30", 30000);
        ULONGLONG nEnded = GetTickCount64();
        ASSERT_EQ(on.dwExitCode, 0u) << on.out;
        unsigned long long nRequest = FirstFrom(folder, nAsked, "WUSBGetServerList(");
        unsigned long long nImport = FirstFrom(folder, nAsked, "WUSBImportDevice(");
        unsigned long long nNotify = FirstFrom(folder, nImport, "notify");
        unsigned long long nAttached = FirstFrom(folder, nNotify, "WUSBGetServerList(");
        printf("[ figures ] connect --wait: agent request to import %llu ms, import to agent's refresh %llu ms; "
               "q5ctl saw it %llu ms after the agent (whole command %llu ms)\n",
               nImport - nRequest, nAttached - nImport, nEnded - nAttached, nEnded - nAsked);
    }
    EXPECT_TRUE(ExitAgentByMenu(agent, hAgent));
}
