// The real agent against the stand-in: automatic attach, the device filter, the
// bandwidth test, a device held elsewhere, suspend and resume.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "agent/connection.h"
#include "agent/shutdown.h"

namespace {

const char* const kImport = E2E_IMPORT_CALL;
const char* const kUnimport = E2E_UNIMPORT_CALL;

class Connection : public ::testing::Test {
protected:
    RegistrySandbox registry;
};

}  // namespace

TEST_F(Connection, FreeAcceptedDeviceIsAttachedAfterTheDelayThenShownConnected)
{
    ProgramFolder folder("e2e-attach");
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder);
    ASSERT_NE(hWnd, nullptr);

    unsigned long long nOpen = folder.FirstCall("WUSBOpen(32868,3000,0) = 0");
    unsigned long long nImport = folder.FirstCall(kImport);
    EXPECT_GE(nImport - nOpen, (unsigned long long)DELAY_IMPORT_MS - 50) << "the import waits 3 s";
    EXPECT_EQ(folder.CountCalls("WUSBDoPerformanceTest("), 0) << "bitrate 0: no bandwidth test";

    // The stand-in reports the device in use by this computer; the agent takes the connected branch.
    std::string device, computer;
    ASSERT_TRUE(WaitUntil(5000, [&] { return agent.LastTraceAfter("Computer hostname = ", &computer); }));
    agent.LastTraceAfter("Device hostname = ", &device);
    EXPECT_FALSE(computer.empty());
    EXPECT_EQ(lstrcmpiA(device.c_str(), computer.c_str()), 0) << device << " vs " << computer;
    EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 1);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(Connection, UnlistedDeviceTypeIsNeverAttached)
{
    ProgramFolder folder("e2e-unlisted");
    folder.SetScenario("server", "vid", "0x1111");
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(agent.WaitTrace(">>> Start read ini!! bOk =0 \n", 10000));
    EXPECT_EQ(SettledImports(folder), 0);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(Connection, BandwidthBelowTheThresholdRefusesTheAttach)
{
    ProgramFolder folder("e2e-poor");
    WritePrivateProfileStringA("system", "bitrate", "5000", (folder.Path() + "\\Setting.ini").c_str());
    folder.SetScenario("server", "bitrate", "1000");
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(folder.WaitCalls("WUSBDoPerformanceTest(167880896,1024) = 0"));
    // The threshold is traced right after the measured rate: wait for the later one.
    ASSERT_TRUE(agent.WaitTrace("Start to Delay Import ============ g_bit_rate = 5000\n", 10000));
    EXPECT_TRUE(agent.HasTrace("Start to Delay Import ============ get_bit_rate = 1000\n"));
    Sleep(500);
    EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 0);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(Connection, DeviceHeldElsewhereIsAttachedOnceFreed)
{
    ProgramFolder folder("e2e-held");
    folder.SetHolder("OTHER-PC");
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(agent.WaitTrace("Device hostname = OTHER-PC\n", 10000));
    EXPECT_EQ(SettledImports(folder), 0);

    folder.SetHolder("");
    EXPECT_TRUE(folder.WaitCalls(kImport));
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(Connection, SuspendDetachesAndResumeAttachesAgain)
{
    ProgramFolder folder("e2e-power");
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder);
    ASSERT_NE(hWnd, nullptr);

    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    ASSERT_TRUE(folder.WaitCalls(kUnimport, 1, 5000));
    EXPECT_EQ(SettledImports(folder), 1) << "the wish is cleared by the suspend";

    // A wake by a timer or the network: the automatic resume alone.
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_TRUE(folder.WaitCalls(kImport, 2));

    // A wake the user sees brings both events: still one attach.
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    ASSERT_TRUE(folder.WaitCalls(kUnimport, 2, 5000));
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    PostMessageA(hWnd, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_TRUE(folder.WaitCalls(kImport, 3));
    EXPECT_EQ(SettledImports(folder), 3);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(Connection, ExitDetachesTheDeviceAndEndsAfterThePause)
{
    ProgramFolder folder("e2e-exit");
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ULONGLONG nExit = GetTickCount64();
    DWORD dwCode = 1;
    ASSERT_TRUE(ExitAgentByMenu(agent, hWnd, &dwCode));
    EXPECT_EQ(dwCode, 0u);
    EXPECT_GE(agent.ExitTick() - nExit, (ULONGLONG)SHUTDOWN_PAUSE_MS);
    EXPECT_EQ(folder.CountCalls(kUnimport), 1);
    std::vector<std::string> calls = folder.JournalCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "WUSBClose() = 0");
}
