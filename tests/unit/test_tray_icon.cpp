// The tray icon's record after the add, each presentation, re-creation and removal.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "ui/tray_icon.h"
#include "res/resource.h"
#include "settings/language.h"

// Width of an icon's image; 0 for a handle that is no icon (any more).
static int IconWidth(HICON hIcon)
{
    ICONINFO info = {};
    if (!hIcon || !GetIconInfo(hIcon, &info))
        return 0;
    BITMAP bm = {};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

// The notification area's icon size at each DPI the tests run at.
static int IconSizeAt(UINT nDpi)
{
    const struct { UINT nDpi; int nSize; } kSizes[] = {{96, 16}, {144, 24}};
    for (const auto& s : kSizes)
        if (s.nDpi == nDpi)
            return s.nSize;
    ADD_FAILURE() << "no expected size at " << nDpi << " dpi";
    return 0;
}

class TrayIcon : public ::testing::Test {
protected:
    HWND m_hWnd = nullptr;
    void SetUp() override
    {
        ResetAgentState();
        const char* texts[] = {"Box", "No device", "Free", "In use by", "Connected", "Poor signal"};
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
    // The record's size and flags are pinned by static_assert beside AddTrayIcon.
    EXPECT_EQ(AddTrayIcon(m_hWnd), 1);
    EXPECT_EQ(g_nid.hWnd, m_hWnd);
    EXPECT_EQ(g_nid.uCallbackMessage, WM_TRAY_NOTIFY);
    EXPECT_EQ(g_nid.hIcon, TrayImageOf(IDI_DISCONNECTED));
    EXPECT_STREQ(g_nid.szTip, "Box");
    EXPECT_STREQ(g_nid.szInfoTitle, "Box");
    EXPECT_STREQ(g_nid.szInfo, "Agent started");
    EXPECT_EQ(g_nid.dwInfoFlags, (DWORD)NIIF_INFO);
    EXPECT_EQ(g_nid.uTimeout, 100u);
    EXPECT_EQ(g_uTaskbarCreatedMsg, RegisterWindowMessageA("TaskbarCreated"));
}

TEST_F(TrayIcon, EachPresentationSetsImageAndTooltip)
{
    struct Case {
        TrayPresentation nPresentation;
        const char* pszHost;
        const char* pszTip;
        int nIconId;
    } cases[] = {
        {TP_NO_DEVICE, nullptr, "Box - No device", IDI_DISCONNECTED},
        {TP_DISCONNECTED, nullptr, "Box - Free", IDI_DISCONNECTED},
        {TP_OCCUPIED, "Other-Box", "Box - In use by Other-Box", IDI_DISCONNECTED},
        {TP_CONNECTED, nullptr, "Box - Connected", IDI_CONNECTED},
        {TP_POOR_SIGNAL, "ignored", "Box - Poor signal", IDI_DISCONNECTED},
        {TP_CONNECTED, nullptr, "Box - Connected", IDI_CONNECTED},   // same twice: sent again
    };
    AddTrayIcon(m_hWnd);
    ASSERT_NE(TrayImageOf(IDI_CONNECTED), TrayImageOf(IDI_DISCONNECTED));
    for (const Case& c : cases) {
        g_nid.uFlags = 0;
        EXPECT_EQ(PresentStatus(m_hWnd, c.nPresentation, c.pszHost), 1);
        EXPECT_STREQ(g_nid.szTip, c.pszTip);
        EXPECT_EQ(g_nid.hIcon, TrayImageOf(c.nIconId)) << c.pszTip;
        EXPECT_EQ(g_nid.uFlags, 7u);
        EXPECT_EQ(g_nid.uID, TRAY_ICON_ID);
        EXPECT_EQ(g_nid.uCallbackMessage, WM_TRAY_NOTIFY);
        EXPECT_STREQ(g_nid.szInfoTitle, "Box");   // only the add writes the notice
        EXPECT_STREQ(g_nid.szInfo, "Agent started");
    }
}

TEST_F(TrayIcon, LongHostNameIsCutAt127)
{
    AddTrayIcon(m_hWnd);
    std::string host(600, 'h');
    PresentStatus(m_hWnd, TP_OCCUPIED, host.c_str());
    std::string expected = ("Box - In use by " + host).substr(0, TOOLTIP_SIZE - 1);
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
    EXPECT_EQ(g_nid.hIcon, TrayImageOf(IDI_CONNECTED));
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
    EXPECT_STREQ(g_nid.szTip, "Box - In use by PC2");

    g_nid.uFlags = NIF_INFO;
    SendMessageA(m_hWnd, g_uTaskbarCreatedMsg, 0, 0);   // routed to OnTaskbarCreated
    EXPECT_EQ(g_nid.uFlags, 7u);
    EXPECT_EQ(g_nid.hWnd, m_hWnd);
    EXPECT_STREQ(g_nid.szTip, "Box - In use by PC2");

    EXPECT_EQ(RemoveTrayIcon(), 1);
    EXPECT_EQ(g_nid.uFlags, 0u);
    EXPECT_EQ(g_nid.uID, TRAY_ICON_ID);
}

// The icon handed to the shell has the notification area's size at the system DPI: 16 px at
// 96 dpi, 24 px at 144 (TrayIconAtDpi runs this at 144).
TEST_F(TrayIcon, ImageHasTheNotificationAreasSize)
{
    EXPECT_EQ(ScreenDpi(), RequestedDpi());
    AddTrayIcon(m_hWnd);
    EXPECT_EQ(IconWidth(g_nid.hIcon), IconSizeAt(ScreenDpi()));
    PresentStatus(m_hWnd, TP_CONNECTED, nullptr);
    EXPECT_EQ(IconWidth(g_nid.hIcon), IconSizeAt(ScreenDpi()));
}

// Scaling changes reload both images at the new size and destroy the replaced ones. A window
// made DPI-unaware reports 96 dpi, so messages to it stand for a change back to 100 %.
TEST_F(TrayIcon, ScalingChangesReloadTheImagesWithoutLeaks)
{
    if (ScreenDpi() == DEFAULT_DPI)
        GTEST_SKIP() << "needs a DPI above 96: TrayIconAtDpi runs it at 144";
    typedef HANDLE(WINAPI * SetThreadDpiContextFn)(HANDLE);
    auto pfnSetContext = (SetThreadDpiContextFn)GetProcAddress(GetModuleHandleA("user32.dll"),
                                                               "SetThreadDpiAwarenessContext");
    ASSERT_NE(pfnSetContext, nullptr);
    HANDLE hOldContext = pfnSetContext((HANDLE)(LONG_PTR)-1);   // DPI_AWARENESS_CONTEXT_UNAWARE
    HWND hUnaware = CreateTestMainWindow();
    pfnSetContext(hOldContext);
    ASSERT_NE(hUnaware, nullptr);

    AddTrayIcon(m_hWnd);
    PresentStatus(m_hWnd, TP_CONNECTED, nullptr);
    const struct { HWND hWnd; UINT uMsg; int nSize; } kChanges[] = {
        {hUnaware, WM_DISPLAYCHANGE, IconSizeAt(DEFAULT_DPI)},
        {m_hWnd, WM_DPICHANGED, IconSizeAt(ScreenDpi())},
        {hUnaware, WM_SETTINGCHANGE, IconSizeAt(DEFAULT_DPI)},
        {m_hWnd, g_uTaskbarCreatedMsg, IconSizeAt(ScreenDpi())},
    };
    for (const auto& c : kChanges) {
        SCOPED_TRACE(c.uMsg);
        HICON hBefore[] = {TrayImageOf(IDI_CONNECTED), TrayImageOf(IDI_DISCONNECTED)};
        SendMessageA(c.hWnd, c.uMsg, 0, 0);
        EXPECT_EQ(g_nid.hIcon, TrayImageOf(IDI_CONNECTED));   // still the connected picture
        EXPECT_EQ(IconWidth(TrayImageOf(IDI_CONNECTED)), c.nSize);
        EXPECT_EQ(IconWidth(TrayImageOf(IDI_DISCONNECTED)), c.nSize);
        EXPECT_EQ(IconWidth(hBefore[0]), 0) << "replaced image not destroyed";
        EXPECT_EQ(IconWidth(hBefore[1]), 0) << "replaced image not destroyed";
    }
    // The same size again loads nothing.
    HICON hShown = g_nid.hIcon;
    SendMessageA(m_hWnd, WM_DISPLAYCHANGE, 0, 0);
    EXPECT_EQ(g_nid.hIcon, hShown);
    DestroyWindow(hUnaware);
}

TEST(TrayIconAtDpi, At144)
{
    EXPECT_TRUE(RunTestsAtDpi(144, "TrayIcon.ImageHasTheNotificationAreasSize:"
                                   "TrayIcon.ScalingChangesReloadTheImagesWithoutLeaks"));
}
