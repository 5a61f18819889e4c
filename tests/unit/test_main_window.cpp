// The main window's dispatch table: which message reaches which handler.
#include <gtest/gtest.h>
#include "support/unit_fixture.h"
#include "ui/tray_icon.h"
#include "ui/tray_menu.h"
#include "agent/main_window.h"
#include "agent/shutdown.h"
#include "res/resource.h"
#include "agent/connection.h"

namespace {

class MainWindow : public MainWindowTest {
protected:
    void TearDown() override
    {
        MainWindowTest::TearDown();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
};

// Set while a tray menu is being tracked; the timer closes it at once.
HMENU s_hTrackedMenu = nullptr;
void CALLBACK CloseTrackedMenu(HWND, UINT, UINT_PTR nId, DWORD)
{
    if (g_hMenuBar)
        s_hTrackedMenu = g_hMenuBar;
    EndMenu();
    KillTimer(nullptr, nId);
}

}  // namespace

TEST_F(MainWindow, LibraryNotificationRefreshesTheServerList)
{
    EXPECT_EQ(SendMessageA(m_hWnd, WM_WUSB_NOTIFY, 123, 456), 0);
    EXPECT_EQ(FakeCallCount("WUSBGetServerList"), 1);
}

TEST_F(MainWindow, TimerAndPowerMessagesReachTheirHandlers)
{
    g_bNeedScan = 1;
    EXPECT_EQ(SendMessageA(m_hWnd, WM_TIMER, IDT_SERVER_CHECK, 0), 0);
    EXPECT_EQ(FakeCallCount("WUSBManualScan"), 1);

    FakeSetDevice(WUSB_STATUS_IN_USE, 0x3A7C, 0x0105, 1, "192.168.1.10", "THIS-PC");
    g_nServerNum = WUSBGetServerList(g_servers, MAX_SERVERS);
    InterlockedExchange(&g_bConnected, 1);
    EXPECT_EQ(SendMessageA(m_hWnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0), 0);
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
}

TEST_F(MainWindow, DestroyPostsQuit)
{
    DestroyWindow(m_hWnd);
    WPARAM nCode = 1;
    EXPECT_TRUE(TakeQuitMessage(&nCode));
    EXPECT_EQ(nCode, 0u);
}

TEST_F(MainWindow, UnknownCommandDoesNothing)
{
    for (WPARAM id : {(WPARAM)0, (WPARAM)40000, (WPARAM)(IDM_LANGUAGE_FIRST + 5)}) {
        EXPECT_EQ(SendMessageA(m_hWnd, WM_COMMAND, id, 0), 0);
        EXPECT_TRUE(IsWindow(m_hWnd));
    }
    EXPECT_TRUE(g_fake.calls.empty());
}

// The menu opens on the press of either button or the menu key, on nothing else.
TEST_F(MainWindow, TrayMenuOpensOnPressesOnly)
{
    struct Case {
        LPARAM nMouse;
        bool bOpens;
    } cases[] = {
        {WM_LBUTTONDOWN, true}, {WM_RBUTTONDOWN, true},    {WM_CONTEXTMENU, true},
        {WM_LBUTTONUP, false},  {WM_RBUTTONUP, false},     {WM_LBUTTONDBLCLK, false},
        {WM_MOUSEMOVE, false},  {WM_RBUTTONDBLCLK, false}, {WM_MBUTTONDOWN, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nMouse);
        s_hTrackedMenu = nullptr;
        UINT_PTR nTimer = SetTimer(nullptr, 0, 200, CloseTrackedMenu);
        EXPECT_EQ(SendMessageA(m_hWnd, WM_TRAY_NOTIFY, 106, c.nMouse), 0);
        EXPECT_EQ(s_hTrackedMenu != nullptr, c.bOpens);
        KillTimer(nullptr, nTimer);
        EXPECT_EQ(g_hMenuBar, nullptr) << "menus of an opening are destroyed when it closes";
    }
}

// The session's end, by what WM_QUERYENDSESSION/WM_ENDSESSION's lParam says: only a
// shutdown or restart of the computer (neither logoff nor the Restart Manager's close
// request) ends every session at once. None is ever refused.
TEST_F(MainWindow, SessionEndsAreNeverRefusedAndOnlyAShutdownEndsTheComputer)
{
    const struct {
        LPARAM nFlags;
        int bComputerEnds;
    } kCases[] = {
        {0, 1},
        {ENDSESSION_CRITICAL, 1},
        {ENDSESSION_LOGOFF, 0},
        {ENDSESSION_CLOSEAPP, 0},
        {(LPARAM)(ENDSESSION_LOGOFF | ENDSESSION_CRITICAL), 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.nFlags);
        EXPECT_EQ(EndsWholeComputer(c.nFlags), c.bComputerEnds);
        EXPECT_EQ(SendMessageA(m_hWnd, WM_QUERYENDSESSION, 0, c.nFlags), TRUE);
    }
}
