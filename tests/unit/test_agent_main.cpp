// Start-up and shutdown in-process, against the fake library: the order of the
// steps, the failure path and the second start.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "ui/tray_icon.h"
#include "agent/agent_main.h"
#include "agent/main_window.h"
#include "res/resource.h"
#include "product.h"
#include "agent/shutdown.h"
#include "ui/dialogs.h"

namespace {

constexpr const char* kClass = PRODUCT_WINDOW_CLASS;

// What the agent looked like while its loop ran, taken by a thread timer.
struct Snapshot {
    bool bTaken = false;
    bool bWindowHidden = false;
    bool bAboutHidden = false;
    UINT nTrayFlags = 0;
    int bNoticeShown = 0;
};
Snapshot s_snap;
int s_nTicks = 0;

// Runs inside the agent's loop (or a dialog's): looks, then asks the agent to end.
void CALLBACK LookThenExit(HWND, UINT, UINT_PTR nId, DWORD)
{
    HWND hMain = FindWindowA(kClass, nullptr);
    if (!s_snap.bTaken && hMain) {
        s_snap.bTaken = true;
        s_snap.bWindowHidden = !IsWindowVisible(hMain);
        s_snap.bAboutHidden = g_hAboutDlg && !IsWindowVisible(g_hAboutDlg);
        s_snap.nTrayFlags = g_nid.uFlags;
        s_snap.bNoticeShown = g_bNoticeShown;
        PostMessageA(hMain, WM_COMMAND, IDM_EXIT, 0);
    }
    // A dialog of this thread (the error box or the already-running dialog) gets its OK.
    HWND hDlg = FindWindowA("#32770", nullptr);
    if (hDlg && GetWindowThreadProcessId(hDlg, nullptr) == GetCurrentThreadId() && IsWindowVisible(hDlg))
        PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
    if (++s_nTicks > 100)
        KillTimer(nullptr, nId);
}

class AgentStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAgentState();
        InstallFakeWusb();
        s_snap = Snapshot{};
        s_nTicks = 0;
        nTimer = SetTimer(nullptr, 0, 300, LookThenExit);
    }
    void TearDown() override
    {
        KillTimer(nullptr, nTimer);
        g_wusb = WusbLibrary{};
    }
    static std::vector<std::string> CallNames()
    {
        std::vector<std::string> names;
        for (const FakeCall& call : g_fake.calls)
            names.push_back(call.name);
        return names;
    }
    RegistrySandbox registry;
    UINT_PTR nTimer = 0;
};

}  // namespace

TEST_F(AgentStart, OpensAddsIconScansThenClosesLastAfterThePause)
{
    FakeSetDevice(WUSB_STATUS_IN_USE, 0x3A7C, 0x0105, 1, "192.168.1.10", "THIS-PC");
    ULONGLONG nStart = GetTickCount64();
    EXPECT_EQ(AgentMain(GetModuleHandleA(nullptr)), 0);
    ULONGLONG nTook = GetTickCount64() - nStart;

    ASSERT_TRUE(s_snap.bTaken);
    EXPECT_TRUE(s_snap.bWindowHidden);
    EXPECT_TRUE(s_snap.bAboutHidden);
    EXPECT_EQ(s_snap.nTrayFlags, 7u) << "the first notification has presented a status";
    EXPECT_EQ(s_snap.bNoticeShown, 1);

    std::vector<std::string> names = CallNames();
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[0], "WUSBOpen");
    EXPECT_EQ(g_fake.calls[0].a, WM_WUSB_NOTIFY);
    EXPECT_EQ(g_fake.calls[0].b, (unsigned)WUSB_OPEN_ARG3);
    EXPECT_EQ(names[1], "WUSBManualScan");
    EXPECT_EQ(names[2], "WUSBGetServerList");
    EXPECT_EQ(names.back(), "WUSBClose");
    // The exit sequence gives back the device this computer holds.
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
    EXPECT_GE(nTook, (ULONGLONG)SHUTDOWN_PAUSE_MS);
}

TEST_F(AgentStart, FailedOpenShowsTheErrorThenRunsTheExitSequence)
{
    g_fake.nOpenResult = 5;
    EXPECT_EQ(AgentMain(GetModuleHandleA(nullptr)), 0);
    std::vector<std::string> names = CallNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names.front(), "WUSBOpen");
    EXPECT_EQ(names.back(), "WUSBClose");
    EXPECT_EQ(FakeCallCount("WUSBManualScan"), 0);
    EXPECT_EQ(FakeCallCount("WUSBImportDevice"), 0);
    EXPECT_EQ(g_nid.hWnd, nullptr) << "no tray icon is added when the library failed";
}

TEST_F(AgentStart, SecondStartOpensNothing)
{
    // A window of the agent's class stands for the first instance.
    WNDCLASSA wc;
    if (!GetClassInfoA(GetModuleHandleA(nullptr), kClass, &wc))
        RegisterMainWindowClass(GetModuleHandleA(nullptr), kClass);
    HWND hFirst = CreateWindowExA(0, kClass, "first", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hFirst, nullptr);
    s_snap.bTaken = true;   // only the dialog's OK is wanted from the timer
    EXPECT_EQ(AgentMain(GetModuleHandleA(nullptr)), 0);
    EXPECT_TRUE(g_fake.calls.empty()) << "the second start must not open the library";
    DestroyWindow(hFirst);
    TakeQuitMessage();   // posted by the stand-in's WM_DESTROY
}
