// The real agent as a user meets it: registry settings and autostart, the tray
// menu opened from the icon, menu commands, the About dialog.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "settings/settings.h"

namespace {

class UserInterface : public ::testing::Test {
protected:
    RegistrySandbox registry;
};

bool WaitVisibleMenu(const AgentProcess& agent, bool bVisible)
{
    return WaitUntil(5000, [&] {
        HWND hMenu = agent.FindWindowOf("#32768");
        return (hMenu && IsWindowVisible(hMenu)) == bVisible;
    });
}

}  // namespace

TEST_F(UserInterface, FirstStartWritesDefaultsAndQuotedRunEntryAndStartwinZeroRemovesIt)
{
    ProgramFolder folder("e2e-registry");
    {
        AgentProcess agent;
        HWND hWnd = LaunchAgent(agent, folder);
        ASSERT_NE(hWnd, nullptr);
        DWORD dwStartWin = 0;
        std::string lang, run;
        EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStartWin));
        EXPECT_EQ(dwStartWin, 1u);
        EXPECT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &lang));
        EXPECT_EQ(lang, PRODUCT_DEFAULT_LANG);
        ASSERT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
        EXPECT_EQ(lstrcmpiA(run.c_str(), ("\"" + folder.ExePath() + "\"").c_str()), 0) << run;
        EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
    }
    ASSERT_TRUE(RegWriteDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, 0));
    {
        AgentProcess agent;
        HWND hWnd = LaunchAgent(agent, folder);
        ASSERT_NE(hWnd, nullptr);
        std::string run;
        EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run)) << run;
        // The menu item turns autostart back on.
        PostMessageA(hWnd, WM_COMMAND, IDM_STARTWIN, 0);
        EXPECT_TRUE(WaitUntil(5000, [&] { return RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run); }));
        DWORD dwStartWin = 0;
        EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStartWin));
        EXPECT_EQ(dwStartWin, 1u);
        EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
    }
}

TEST_F(UserInterface, EitherButtonPressOnTheIconOpensTheMenu)
{
    ProgramFolder folder("e2e-menu");
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    for (LPARAM nMouse : {(LPARAM)WM_LBUTTONDOWN, (LPARAM)WM_RBUTTONDOWN}) {
        SCOPED_TRACE(nMouse);
        PostMessageA(hWnd, WM_TRAY_NOTIFY, 106, WM_LBUTTONUP);   // a release opens nothing
        Sleep(300);
        EXPECT_TRUE(WaitVisibleMenu(agent, false));
        PostMessageA(hWnd, WM_TRAY_NOTIFY, 106, nMouse);
        ASSERT_TRUE(WaitVisibleMenu(agent, true));
        PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, 0);   // the menu's own loop reads the key
        ASSERT_TRUE(WaitVisibleMenu(agent, false));
    }
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

TEST_F(UserInterface, AboutShowsTheVersionsInTheSameDialogEachTime)
{
    ProgramFolder folder("e2e-about");
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(folder.WaitCalls("WUSBGetServerList(8) = 1"));

    PostMessageA(hWnd, WM_COMMAND, IDM_ABOUT, 0);
    HWND hAbout = WaitVisibleDialog(agent, 10000);
    ASSERT_NE(hAbout, nullptr);
    char szCaption[64] = {};
    GetWindowTextA(hAbout, szCaption, sizeof(szCaption));
    EXPECT_STREQ(szCaption, PRODUCT_NAME);
    EXPECT_EQ(DlgItemText(hAbout, IDC_APP_VERSION), "v" AGENT_VERSION_TEXT);
    EXPECT_EQ(DlgItemText(hAbout, IDC_FW_VERSION), "v2.1.0.7");
    EXPECT_EQ(DlgItemText(hAbout, IDC_APP_LABEL), folder.LangText("Message", "msg4", "de"));
    EXPECT_EQ(DlgItemText(hAbout, IDC_DRV_LABEL), folder.LangText("Message", "msg5", "de"));
    EXPECT_EQ(DlgItemText(hAbout, IDC_FW_LABEL), folder.LangText("Message", "msg6", "de"));

    PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil(5000, [&] { return !IsWindowVisible(hAbout); }));
    EXPECT_TRUE(IsWindow(hAbout)) << "OK hides the dialog, never destroys it";

    // Switch to English (lang1), then About again: the same window, the new labels.
    PostMessageA(hWnd, WM_COMMAND, IDM_LANGUAGE_FIRST + 1, 0);
    std::string lang;
    ASSERT_TRUE(WaitUntil(5000, [&] { return RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &lang) && lang == "en"; }));
    PostMessageA(hWnd, WM_COMMAND, IDM_ABOUT, 0);
    ASSERT_EQ(WaitVisibleDialog(agent, 10000), hAbout);
    EXPECT_TRUE(WaitUntil(5000, [&] {
        return DlgItemText(hAbout, IDC_APP_LABEL) == folder.LangText("Message", "msg4", "en");
    })) << DlgItemText(hAbout, IDC_APP_LABEL);
    EXPECT_EQ(agent.VisibleDialogs().size(), 1u);

    PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}
