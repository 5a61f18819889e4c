// Group Policy in the real agent: policies over Setting.ini and the user's values, the
// computer's over the user's, a device list changed while the agent runs, the choices a
// policy fixes, and bad policy values ignored.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "rules/reg_key.h"
#include "settings/settings.h"

namespace {

const HKEY HKLM = HKEY_LOCAL_MACHINE;
const HKEY HKCU = HKEY_CURRENT_USER;


// Two free boxes; the second measures 1000 in the bandwidth test.
const char* const kTwoBoxes = "[server2]\r\naddress=192.168.1.20\r\nbitrate=1000\r\n";
const char* const kTestOnSecond = "WUSBDoPerformanceTest(335653056,1024) = 0";   // 192.168.1.20

class Policy : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegKey user;
        ASSERT_EQ(user.Create(HKCU, PRODUCT_AGENT_KEY, KEY_ALL_ACCESS), ERROR_SUCCESS);
        user.SetString(PRODUCT_LANG_VALUE, "de");
        user.SetDword(PRODUCT_STARTWIN_VALUE, 1);
    }
    RegistrySandbox m_registry;
    PolicySandbox m_policies;
};

}  // namespace

TEST_F(Policy, ComputerPolicyWinsOverUserPolicySettingIniAndTheUsersValues)
{
    ProgramFolder folder("e2e-policy");
    folder.WriteScenario(kTwoBoxes);
    for (const PolicyValue& value : {PolicyText(HKCU, "server", "192.168.1.10"), PolicyNumber(HKCU, "bitrate", 10),
                                     PolicyText(HKCU, "lang", "fr"), PolicyNumber(HKCU, "startwin", 1),
                                     PolicyText(HKLM, "server", "192.168.1.20"), PolicyNumber(HKLM, "bitrate", 5000),
                                     PolicyText(HKLM, "lang", "en"), PolicyNumber(HKLM, "startwin", 0)})
        m_policies.Set(value);
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    // The second box, tested against the computer's threshold, and refused below it.
    ASSERT_TRUE(WaitUntil(10000, [&] { return folder.CountCalls(kTestOnSecond) == 1; }));
    ASSERT_TRUE(agent.WaitTrace("Start to Delay Import ============ g_bit_rate = 5000\n", 10000));
    EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 0);
    EXPECT_EQ(folder.CountCalls("WUSBDoPerformanceTest(167880896,"), 0);

    // Autostart off: no Run value; the user's own choices stay as they were.
    std::string value;
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &value)) << value;
    EXPECT_TRUE(agent.HasTrace("win value = 0"));
    PostMessageA(hWnd, WM_COMMAND, IDM_STARTWIN, 0);
    EXPECT_TRUE(agent.WaitTrace("startwin is fixed by computer policy\n", 10000));
    PostMessageA(hWnd, WM_COMMAND, IDM_LANGUAGE_FIRST, 0);
    EXPECT_TRUE(agent.WaitTrace("lang is fixed by computer policy\n", 10000));
    DWORD dwStartWin = 0;
    EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStartWin));
    EXPECT_EQ(dwStartWin, 1u);
    EXPECT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &value));
    EXPECT_EQ(value, "de");
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &value)) << value;

    // The computer's language speaks.
    PostMessageA(hWnd, WM_COMMAND, IDM_ABOUT, 0);
    HWND hAbout = WaitVisibleDialog(agent, 10000);
    ASSERT_NE(hAbout, nullptr);
    EXPECT_EQ(DlgItemText(hAbout, IDC_APP_LABEL), folder.LangText("Message", "msg4", "en"));
    PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(Policy, DeviceListChangedWhileTheAgentRunsCountsAtTheNextNotification)
{
    ProgramFolder folder("e2e-policy-devices");
    m_policies.Set(PolicyText(HKLM, "devices", "VID_0000&PID_0001"));
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(agent.WaitTrace(">>> Start read ini!! bOk =0 \n", 10000));
    EXPECT_TRUE(agent.HasTrace(">>> device id =VID_0000&PID_0001\n"));
    EXPECT_FALSE(agent.HasTrace(">>> device id =VID_3A7C&PID_0105\n")) << "Setting.ini's list was read";
    EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 0);

    m_policies.Set(PolicyText(HKLM, "devices", "VID_0000&PID_0001;VID_3A7C&PID_0105"));
    folder.SetScenario("server", "firmware", "2.1.0.8");   // any change makes the box notify
    EXPECT_TRUE(WaitUntil(15000, [&] { return folder.CountCalls(E2E_IMPORT_CALL) == 1; }));
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(Policy, BadPolicyValuesAreTracedAndTheNextSourceApplies)
{
    ProgramFolder folder("e2e-policy-bad");
    for (const PolicyValue& value : {PolicyText(HKLM, "bitrate", "5000"), PolicyText(HKLM, "server", "box-1"),
                                     PolicyText(HKLM, "devices", ";;"), PolicyNumber(HKCU, "startwin", 7)})
        m_policies.Set(value);
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    for (const char* pszTrace : {"policy bitrate=(type 1) in computer policy ignored\n",
                                 "policy server=box-1 in computer policy ignored\n",
                                 "policy devices=;; in computer policy ignored\n",
                                 "policy startwin=7 in user policy ignored\n"})
        EXPECT_TRUE(agent.HasTrace(pszTrace)) << pszTrace;
    EXPECT_EQ(folder.CountCalls("WUSBDoPerformanceTest("), 0);
    std::string run;
    EXPECT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}
