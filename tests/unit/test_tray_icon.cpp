// The tray icon's record after the add, each presentation, re-creation and removal.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "ui/tray_icon.h"
#include "res/resource.h"

static HICON SharedImage(int nId)
{
    return (HICON)LoadImageA(g_hInst, MAKEINTRESOURCEA(nId), IMAGE_ICON, 16, 16, LR_SHARED);
}

class TrayIcon : public ::testing::Test {
protected:
    HWND m_hWnd = nullptr;
    void SetUp() override
    {
        ResetAgentState();
        const char* texts[] = {"Veltrix", "No device", "Free", "In use by", "Connected", "Poor signal"};
        char* fields[] = {g_text.t1, g_text.t2, g_text.t3, g_text.t4, g_text.t5, g_text.t6};
        for (int i = 0; i < 6; ++i)
            lstrcpynA(fields[i], texts[i], 50);
        lstrcpynA(g_text.tip1, "Agent started", sizeof(g_text.tip1));
        m_hWnd = CreateTestMainWindow();
        ASSERT_NE(m_hWnd, nullptr);
    }
    void TearDown() override
    {
        RemoveTrayIcon();
        DestroyWindow(m_hWnd);
    }
};

TEST_F(TrayIcon, AddFillsRecordWithNotice)
{
    EXPECT_EQ(AddTrayIcon(m_hWnd), 1);
    EXPECT_EQ(g_nid.cbSize, 528u);
    EXPECT_EQ(g_nid.hWnd, m_hWnd);
    EXPECT_EQ(g_nid.uID, TRAY_ICON_ID);
    EXPECT_EQ(g_nid.uFlags, 23u);
    EXPECT_EQ(g_nid.uCallbackMessage, WM_TRAY_NOTIFY);
    EXPECT_NE(g_nid.hIcon, nullptr);
    EXPECT_EQ(g_nid.hIcon, SharedImage(IDI_DISCONNECTED));
    EXPECT_STREQ(g_nid.szTip, "Veltrix");
    EXPECT_STREQ(g_nid.szInfoTitle, "Veltrix");
    EXPECT_STREQ(g_nid.szInfo, "Agent started");
    EXPECT_EQ(g_nid.dwInfoFlags, (DWORD)NIIF_INFO);
    EXPECT_EQ(g_nid.uTimeout, 100u);
    EXPECT_EQ(g_nid.dwState, 0u);
    EXPECT_EQ(g_nid.dwStateMask, 0u);
    EXPECT_EQ(g_nid.hBalloonIcon, nullptr);
    EXPECT_EQ(g_uTaskbarCreatedMsg, RegisterWindowMessageA("TaskbarCreated"));
    EXPECT_NE(g_uTaskbarCreatedMsg, 0u);
}

TEST_F(TrayIcon, EachPresentationSetsImageAndTooltip)
{
    struct Case {
        TrayPresentation nPresentation;
        const char* pszHost;
        const char* pszTip;
        int nIconId;
    } cases[] = {
        {TP_NO_DEVICE, nullptr, "Veltrix - No device", IDI_DISCONNECTED},
        {TP_DISCONNECTED, nullptr, "Veltrix - Free", IDI_DISCONNECTED},
        {TP_OCCUPIED, "Other-Box", "Veltrix - In use by Other-Box", IDI_DISCONNECTED},
        {TP_CONNECTED, nullptr, "Veltrix - Connected", IDI_CONNECTED},
        {TP_POOR_SIGNAL, "ignored", "Veltrix - Poor signal", IDI_DISCONNECTED},
        {TP_CONNECTED, nullptr, "Veltrix - Connected", IDI_CONNECTED},   // same twice: sent again
    };
    AddTrayIcon(m_hWnd);
    ASSERT_NE(SharedImage(IDI_CONNECTED), SharedImage(IDI_DISCONNECTED));
    for (const Case& c : cases) {
        g_nid.uFlags = 0;
        EXPECT_EQ(PresentStatus(m_hWnd, c.nPresentation, c.pszHost), 1);
        EXPECT_STREQ(g_nid.szTip, c.pszTip);
        EXPECT_EQ(g_nid.hIcon, SharedImage(c.nIconId)) << c.pszTip;
        EXPECT_EQ(g_nid.uFlags, 7u);
        EXPECT_EQ(g_nid.uID, TRAY_ICON_ID);
        EXPECT_EQ(g_nid.uCallbackMessage, WM_TRAY_NOTIFY);
        EXPECT_STREQ(g_nid.szInfoTitle, "Veltrix");   // only the add writes the notice
        EXPECT_STREQ(g_nid.szInfo, "Agent started");
    }
}

TEST_F(TrayIcon, LongHostNameIsCutAt127)
{
    AddTrayIcon(m_hWnd);
    std::string host(600, 'h');
    PresentStatus(m_hWnd, TP_OCCUPIED, host.c_str());
    std::string expected = ("Veltrix - In use by " + host).substr(0, TOOLTIP_SIZE - 1);
    EXPECT_EQ(std::string(g_nid.szTip), expected);
    EXPECT_EQ(g_nid.dwState, 0u);   // the fields behind szTip are untouched
    EXPECT_STREQ(g_nid.szInfo, "Agent started");

    std::string tip(300, 't');
    UpdateTrayIcon(m_hWnd, tip.c_str());
    EXPECT_EQ(std::string(g_nid.szTip), tip.substr(0, TOOLTIP_SIZE - 1));
}

TEST_F(TrayIcon, RetitleKeepsImage)
{
    AddTrayIcon(m_hWnd);
    PresentStatus(m_hWnd, TP_CONNECTED, nullptr);
    EXPECT_EQ(UpdateTrayIcon(m_hWnd, "Verbunden"), 1);
    EXPECT_EQ(g_nid.hIcon, SharedImage(IDI_CONNECTED));
    EXPECT_STREQ(g_nid.szTip, "Verbunden");
}

TEST_F(TrayIcon, RecreateRemoveAndShellRestart)
{
    // Never added: a shell restart has nothing to put back.
    EXPECT_EQ(OnTaskbarCreated(m_hWnd), 0);
    EXPECT_EQ(g_nid.cbSize, 0u);

    AddTrayIcon(m_hWnd);
    PresentStatus(m_hWnd, TP_OCCUPIED, "PC2");
    g_nid.uFlags = NIF_INFO;
    EXPECT_EQ(RecreateTrayIcon(), 1);
    EXPECT_EQ(g_nid.uFlags, 7u);
    EXPECT_STREQ(g_nid.szTip, "Veltrix - In use by PC2");

    g_nid.uFlags = NIF_INFO;
    SendMessageA(m_hWnd, g_uTaskbarCreatedMsg, 0, 0);   // routed to OnTaskbarCreated
    EXPECT_EQ(g_nid.uFlags, 7u);
    EXPECT_EQ(g_nid.hWnd, m_hWnd);
    EXPECT_STREQ(g_nid.szTip, "Veltrix - In use by PC2");

    EXPECT_EQ(RemoveTrayIcon(), 1);
    EXPECT_EQ(g_nid.uFlags, 0u);
    EXPECT_EQ(g_nid.uID, TRAY_ICON_ID);
}
