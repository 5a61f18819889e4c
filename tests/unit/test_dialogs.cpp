// The About and already-running dialogs: templates, version rows, placement, buttons.
#include <gtest/gtest.h>
#include "support/unit_fixture.h"
#include "ui/dialogs.h"
#include "res/resource.h"
#include "settings/language.h"
#include <shlobj.h>
#include <cstring>
#include <string>



static std::string DriverPath()
{
    char szSystem[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, 0, szSystem);
    return std::string(szSystem) + "\\drivers\\" PRODUCT_DRIVER_FILE;
}

// A procedure that leaves the template exactly as the resource made it.
static INT_PTR CALLBACK PlainDlgProc(HWND, UINT uMsg, WPARAM, LPARAM) { return uMsg == WM_INITDIALOG; }

class DialogTest : public MainWindowTest {
protected:
    void TearDown() override
    {
        if (m_hDlg && IsWindow(m_hDlg))
            DestroyWindow(m_hDlg);
        MainWindowTest::TearDown();
        while (TakeQuitMessage()) {
        }
        ResetAgentState();
    }
    HWND CreateAbout(DLGPROC pfnProc = AboutDlgProc)
    {
        m_hDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(IDD_ABOUT), m_hWnd, pfnProc, 0);
        return m_hDlg;
    }
    HWND m_hDlg = nullptr;
};

// ---- Templates ---------------------------------------------------------------------

// Both are created hidden, framed and captioned with the product's name; only the
// already-running box has a system menu. About's spare buttons stay hidden.
TEST_F(DialogTest, Templates)
{
    const DWORD kMask = WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_SYSMENU | WS_VISIBLE;
    const struct { int nDialog; DWORD dwMask, dwStyle; } kCases[] = {
        {IDD_ABOUT, kMask, WS_POPUP | WS_CAPTION | DS_MODALFRAME},
        {IDD_ALREADY_RUNNING, kMask | DS_SHELLFONT, WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_SYSMENU | DS_SHELLFONT},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.nDialog);
        m_hDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(c.nDialog), nullptr, PlainDlgProc, 0);
        ASSERT_NE(m_hDlg, nullptr);
        EXPECT_EQ((DWORD)GetWindowLongA(m_hDlg, GWL_STYLE) & c.dwMask, c.dwStyle);
        char szCaption[64] = "";
        GetWindowTextA(m_hDlg, szCaption, sizeof(szCaption));
        EXPECT_STREQ(szCaption, PRODUCT_NAME);
        for (int nId : {IDC_HIDDEN_BUTTON1, IDC_HIDDEN_BUTTON2, IDC_HIDDEN_BUTTON3}) {
            if (c.nDialog == IDD_ABOUT) {
                EXPECT_FALSE(GetWindowLongA(GetDlgItem(m_hDlg, nId), GWL_STYLE) & WS_VISIBLE) << nId;
            }
        }
        DestroyWindow(m_hDlg);
    }
}

// ---- Refreshing the About dialog -------------------------------------------------------

TEST_F(DialogTest, FirmwareRowFromFirstServer)
{
    std::string longFw(60, '7');
    const struct {
        const char* name;
        int nServers;
        int nDevices;
        std::string firmware;
        size_t nFill;   // bytes of 'b' over the whole field, no terminator
        std::string expected;
    } cases[] = {
        {"no server", 0, 1, "2.1.0.7", 0, "v_._._._"},
        {"server without device", 1, 0, "2.1.0.7", 0, "v_._._._"},
        {"negative device count", 1, -3, "2.1.0.7", 0, "v_._._._"},
        {"server with device", 1, 1, "2.1.0.7", 0, "v2.1.0.7"},
        {"two servers: first counts", 2, 1, "3.0", 0, "v3.0"},
        {"empty firmware", 1, 1, "", 0, "v"},
        {"long firmware cut", 1, 1, longFw, 0, "v" + std::string(48, '7')},
        {"unterminated firmware", 1, 1, "", WUSB_FIRMWARE_SIZE, "v" + std::string(48, 'b')},
    };
    ASSERT_NE(CreateAbout(), nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstallFakeWusb();
        FakeSetDevice(WUSB_STATUS_FREE, 1, 2, 3, "192.168.1.10", "");
        g_fake.nServerCount = c.nServers;
        g_fake.server.nDeviceCount = c.nDevices;
        lstrcpynA(g_fake.server.szFirmware, c.firmware.c_str(), WUSB_FIRMWARE_SIZE);
        if (c.nFill)
            memset(g_fake.server.szFirmware, 'b', c.nFill);
        EXPECT_EQ(RefreshAboutDialog(m_hDlg), 1);
        EXPECT_EQ(DlgItemText(m_hDlg, IDC_FW_VERSION), c.expected);
        EXPECT_EQ(g_nServerNum, c.nServers);
        ASSERT_EQ(FakeCallCount("WUSBGetServerList"), 1);
        EXPECT_EQ(g_fake.calls[0].a, (unsigned)MAX_SERVERS);
    }
}

TEST_F(DialogTest, LabelsFromMessagesBlankWhenEmpty)
{
    ASSERT_NE(CreateAbout(), nullptr);
    lstrcpynA(g_text.msg4, "Anwendung", sizeof(g_text.msg4));
    lstrcpynA(g_text.msg5, "Treiber", sizeof(g_text.msg5));
    lstrcpynA(g_text.msg6, "Firmware-Version", sizeof(g_text.msg6));
    RefreshAboutDialog(m_hDlg);
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_APP_LABEL), "Anwendung");
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_DRV_LABEL), "Treiber");
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_FW_LABEL), "Firmware-Version");

    // A full field without terminator stops at the field, not in msg5.
    memset(g_text.msg4, 'x', sizeof(g_text.msg4));
    g_text.msg6[0] = '\0';
    RefreshAboutDialog(m_hDlg);
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_APP_LABEL), std::string(sizeof(g_text.msg4), 'x'));
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_DRV_LABEL), "Treiber");
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_FW_LABEL), "");
}

TEST_F(DialogTest, AppVersionFromOwnResourceDriverRowKeptWhenMissing)
{
    DeleteFileA(DriverPath().c_str());
    ASSERT_NE(CreateAbout(), nullptr);
    SetDlgItemTextA(m_hDlg, IDC_APP_VERSION, "stale");
    SetDlgItemTextA(m_hDlg, IDC_DRV_VERSION, "v1.0.0.12");
    RefreshAboutDialog(m_hDlg);
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_APP_VERSION), "v" AGENT_VERSION_TEXT);
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_DRV_VERSION), "v1.0.0.12");
}

TEST_F(DialogTest, DriverRowFromFileInSystemDrivers)
{
    // Any file with a version resource will do: this test program carries the agent's version.
    char szSelf[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, szSelf, sizeof(szSelf));
    std::string driver = DriverPath();
    ASSERT_TRUE(CopyFileA(szSelf, driver.c_str(), FALSE)) << driver;
    ASSERT_NE(CreateAbout(), nullptr);
    SetDlgItemTextA(m_hDlg, IDC_DRV_VERSION, "stale");
    RefreshAboutDialog(m_hDlg);
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_DRV_VERSION), "v" AGENT_VERSION_TEXT);
    DeleteFileA(driver.c_str());
}

// ---- Placement ---------------------------------------------------------------------------

static RECT WindowRect(HWND h)
{
    RECT rc;
    GetWindowRect(h, &rc);
    return rc;
}

TEST_F(DialogTest, CenterOnOwnerTruncatesTowardZero)
{
    ASSERT_NE(CreateAbout(PlainDlgProc), nullptr);
    RECT rcDlg = WindowRect(m_hDlg);
    int w = rcDlg.right - rcDlg.left, h = rcDlg.bottom - rcDlg.top;
    const struct {
        int nOwnerX, nOwnerY, nExtraW, nExtraH;
        int nExpectX, nExpectY;
    } cases[] = {
        {100, 50, 7, 5, 103, 52},     // (w+7-w)/2 = 3, (h+5-h)/2 = 2
        {300, 200, -7, -5, 297, 198}, // -7/2 = -3, -5/2 = -2
        {-40, -30, 0, 0, -40, -30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nExpectX);
        SetWindowPos(m_hWnd, nullptr, c.nOwnerX, c.nOwnerY, w + c.nExtraW, h + c.nExtraH, SWP_NOZORDER);
        EXPECT_EQ(CenterDialog(m_hDlg), 1);
        RECT rc = WindowRect(m_hDlg);
        EXPECT_EQ(rc.left, c.nExpectX);
        EXPECT_EQ(rc.top, c.nExpectY);
        EXPECT_EQ(rc.right - rc.left, w);
        EXPECT_EQ(rc.bottom - rc.top, h);
    }
}

TEST_F(DialogTest, AlreadyRunningCentredOnDesktop)
{
    m_hDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(IDD_ALREADY_RUNNING), nullptr, AlreadyRunningDlgProc, 0);
    ASSERT_NE(m_hDlg, nullptr);
    RECT rcDesk = WindowRect(GetDesktopWindow());
    RECT rc = WindowRect(m_hDlg);
    EXPECT_EQ(rc.left, rcDesk.left + ((rcDesk.right - rcDesk.left) - (rc.right - rc.left)) / 2);
    EXPECT_EQ(rc.top, rcDesk.top + ((rcDesk.bottom - rcDesk.top) - (rc.bottom - rc.top)) / 2);
}

// ---- Messages ------------------------------------------------------------------------------

TEST_F(DialogTest, AboutMessageResults)
{
    ASSERT_NE(CreateAbout(), nullptr);
    const struct {
        UINT uMsg;
        WPARAM wParam;
        INT_PTR nResult;
    } cases[] = {
        {WM_INITDIALOG, 0, TRUE}, {WM_ACTIVATE, WA_ACTIVE, TRUE}, {WM_ACTIVATE, WA_INACTIVE, TRUE},
        {WM_COMMAND, IDCANCEL, FALSE}, {WM_COMMAND, IDC_HIDDEN_BUTTON1, FALSE}, {WM_PAINT, 0, FALSE},
        {WM_CLOSE, 0, FALSE},     {WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), TRUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uMsg);
        EXPECT_EQ(AboutDlgProc(m_hDlg, c.uMsg, c.wParam, 0), c.nResult);
    }
    EXPECT_FALSE(TakeQuitMessage());
    EXPECT_EQ(AboutDlgProc(m_hDlg, WM_DESTROY, 0, 0), FALSE);
    WPARAM nCode = 99;
    EXPECT_TRUE(TakeQuitMessage(&nCode));
    EXPECT_EQ(nCode, 0u);
}

TEST_F(DialogTest, AboutDeactivationRefreshes)
{
    ASSERT_NE(CreateAbout(), nullptr);
    SetDlgItemTextA(m_hDlg, IDC_FW_VERSION, " Fail");
    lstrcpynA(g_text.msg6, "FW", sizeof(g_text.msg6));
    SendMessageA(m_hDlg, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_FW_VERSION), "v_._._._");
    EXPECT_EQ(DlgItemText(m_hDlg, IDC_FW_LABEL), "FW");
}

TEST_F(DialogTest, AboutOkHidesOnly)
{
    ASSERT_NE(CreateAbout(), nullptr);
    ShowWindow(m_hDlg, SW_SHOW);
    SendMessageA(m_hDlg, WM_COMMAND, IDCANCEL, 0);
    SendMessageA(m_hDlg, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(m_hDlg));
    SendMessageA(m_hDlg, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(IsWindow(m_hDlg));
    EXPECT_FALSE(IsWindowVisible(m_hDlg));
    EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(DialogTest, AlreadyRunningEndsOnlyOnOk)
{
    m_hDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(IDD_ALREADY_RUNNING), nullptr, AlreadyRunningDlgProc, 0);
    ASSERT_NE(m_hDlg, nullptr);
    ShowWindow(m_hDlg, SW_SHOW);
    EXPECT_EQ(AlreadyRunningDlgProc(m_hDlg, WM_COMMAND, IDCANCEL, 0), FALSE);
    SendMessageA(m_hDlg, WM_CLOSE, 0, 0);   // the close box: the platform turns it into IDCANCEL
    EXPECT_TRUE(IsWindowVisible(m_hDlg));
    EXPECT_FALSE(TakeQuitMessage());
    EXPECT_EQ(AlreadyRunningDlgProc(m_hDlg, WM_COMMAND, IDOK, 0), TRUE);
    EXPECT_FALSE(IsWindow(m_hDlg));
    WPARAM nCode = 99;
    EXPECT_TRUE(TakeQuitMessage(&nCode));
    EXPECT_EQ(nCode, 0u);
}
