// The tray menu's tree for each agent state, its opening and closing, and every command.
#include <gtest/gtest.h>
#include "support/unit_fixture.h"
#include "ui/tray_icon.h"
#include "ui/tray_menu.h"
#include "agent/shutdown.h"
#include "ui/dialogs.h"
#include "settings/settings.h"
#include "res/resource.h"
#include "settings/language.h"
#include "agent/connection.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// One line per item, children indented: "> caption" for a submenu, "-" for a
// separator, "caption #id" for a command, with " [grayed]" / " [checked]".
static void Describe(HMENU hMenu, const std::string& indent, Lines* pOut)
{
    int nCount = GetMenuItemCount(hMenu);
    for (int i = 0; i < nCount; ++i) {
        char szText[256] = "";
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        mii.dwTypeData = szText;
        mii.cch = sizeof(szText);
        GetMenuItemInfoA(hMenu, i, TRUE, &mii);
        std::string line = indent;
        if (mii.fType & MFT_SEPARATOR) {
            line += "-";
        } else if (mii.hSubMenu) {
            line += "> " + std::string(szText);
        } else {
            line += std::string(szText) + " #" + std::to_string(mii.wID);
        }
        // Separators count as grayed on some platforms; only commands matter here.
        if ((mii.fState & MFS_GRAYED) && !(mii.fType & MFT_SEPARATOR))
            line += " [grayed]";
        if (mii.fState & MFS_CHECKED)
            line += " [checked]";
        pOut->push_back(line);
        if (mii.hSubMenu)
            Describe(mii.hSubMenu, indent + "  ", pOut);
    }
}

static Lines DescribePopup()
{
    Lines lines;
    Describe(g_hPopupMenu, "", &lines);
    return lines;
}

static std::string ItemText(HMENU hMenu, int nPos)
{
    char szText[256] = "";
    GetMenuStringA(hMenu, nPos, szText, sizeof(szText), MF_BYPOSITION);
    return szText;
}

// Language lists allocated the way the language loader allocates them.
static void SetLanguages(const std::vector<std::string>& names, const std::vector<std::string>& codes)
{
    int n = (int)names.size();
    g_nLangCount = n;
    g_ppLangNames = (char**)calloc(n ? n : 1, sizeof(char*));
    g_ppLangCodes = (char**)calloc(n ? n : 1, sizeof(char*));
    for (int i = 0; i < n; ++i) {
        g_ppLangNames[i] = (char*)calloc(LANG_NAME_SIZE, 1);
        g_ppLangCodes[i] = (char*)calloc(LANG_CODE_SIZE, 1);
        lstrcpynA(g_ppLangNames[i], names[i].c_str(), LANG_NAME_SIZE);
        lstrcpynA(g_ppLangCodes[i], codes[i].c_str(), LANG_CODE_SIZE);
    }
}

static void SetMenuTexts()
{
    lstrcpynA(g_text.M1, "Verbinden", sizeof(g_text.M1));
    lstrcpynA(g_text.M2, "Trennen", sizeof(g_text.M2));
    lstrcpynA(g_text.M3, "Beenden", sizeof(g_text.M3));
    lstrcpynA(g_text.M4, "Info", sizeof(g_text.M4));
    lstrcpynA(g_text.M5, "Sprache", sizeof(g_text.M5));
    lstrcpynA(g_text.M6, "Autostart", sizeof(g_text.M6));
    lstrcpynA(g_text.M7, "Einstellungen...", sizeof(g_text.M7));
    lstrcpynA(g_text.M8, "Optionen", sizeof(g_text.M8));
    lstrcpynA(g_szDeviceMenu, PRODUCT_NAME, sizeof(g_szDeviceMenu));
}


class TrayMenuTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        SetMenuTexts();
    }
    void TearDown() override
    {
        if (g_hMenuBar)
            DestroyMenu(g_hMenuBar);
        if (g_hAboutDlg && IsWindow(g_hAboutDlg))
            DestroyWindow(g_hAboutDlg);
        MainWindowTest::TearDown();
        while (TakeQuitMessage()) {
        }
        ResetAgentState();
    }
};

// ---- The tree of one opening --------------------------------------------------

struct TreeCase {
    const char* name;
    int bDeviceAccepted;
    LONG bConnected;
    int nConnectItem;
    Lines expected;
};

TEST_F(TrayMenuTest, TreeForEachDeviceState)
{
    const Lines options = {
        "> Optionen",
        "  > Sprache",
        "    Deutsch #40007 [checked]",
        "    English #40008",
        "    Francais #40009",
        "  Autostart #40006 [checked]",
        "Info #40004",
        "-",
        "Beenden #40003",
    };
    auto withDevice = [&](const Lines& device) {
        Lines all = {"> " PRODUCT_NAME};
        for (const std::string& line : device)
            all.push_back("  " + line);
        all.push_back("-");
        all.insert(all.end(), options.begin(), options.end());
        return all;
    };
    const Lines connect = {"Verbinden #40001", "Einstellungen... #40002"};
    const Lines grayed = {"Verbinden #40001 [grayed]", "Einstellungen... #40002"};
    const TreeCase cases[] = {
        {"no device accepted", 0, 0, CONNECT_ITEM_FREE, options},
        {"no device accepted, connected flag", 0, 1, CONNECT_ITEM_CONNECTED, options},
        {"connected here", 1, 1, CONNECT_ITEM_CONNECTED,
         withDevice({"Trennen #40005", "Einstellungen... #40002"})},
        {"connected beats occupied", 1, 1, CONNECT_ITEM_OCCUPIED,
         withDevice({"Trennen #40005", "Einstellungen... #40002"})},
        {"free", 1, 0, CONNECT_ITEM_FREE, withDevice(connect)},
        {"connect item says connected", 1, 0, CONNECT_ITEM_CONNECTED, withDevice(connect)},
        {"connect item says no device", 1, 0, CONNECT_ITEM_NO_DEVICE, withDevice(connect)},
        {"in use elsewhere", 1, 0, CONNECT_ITEM_OCCUPIED, withDevice(grayed)},
        {"poor signal", 1, 0, CONNECT_ITEM_POOR_SIGNAL, withDevice(grayed)},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetLanguages({"Deutsch", "English", "Francais"}, {"de", "en", "fr"});
        g_bDeviceAccepted = c.bDeviceAccepted;
        g_bConnected = c.bConnected;
        g_nConnectItem = c.nConnectItem;
        EXPECT_EQ(BuildTrayMenu(), 1);
        ASSERT_EQ(GetMenuItemCount(g_hMenuBar), 1);
        EXPECT_EQ(ItemText(g_hMenuBar, 0), "menu");
        EXPECT_EQ(GetSubMenu(g_hMenuBar, 0), g_hPopupMenu);
        EXPECT_EQ(DescribePopup(), c.expected);
        EXPECT_EQ(GetSubMenu(g_hPopupMenu, 0), c.bDeviceAccepted ? g_hDeviceMenu : g_hOptionMenu);
        EXPECT_EQ(GetSubMenu(g_hOptionMenu, 0), g_hLangMenu);
        DestroyMenu(g_hMenuBar);
        g_hMenuBar = nullptr;
        ResetAgentState();
        InstallFakeWusb();
        SetMenuTexts();
    }
}

TEST_F(TrayMenuTest, CheckMarksFollowCurrentLanguageAndAutostart)
{
    const struct {
        int nCurLang;
        int bStartWithWindows;
        std::vector<UINT> langChecked;
        UINT uStartChecked;
    } cases[] = {
        {0, 1, {MF_CHECKED, 0, 0}, MF_CHECKED},
        {1, 0, {0, MF_CHECKED, 0}, 0},
        {2, 1, {0, 0, MF_CHECKED}, MF_CHECKED},
        {3, 0, {0, 0, 0}, 0},
        {-1, 1, {0, 0, 0}, MF_CHECKED},
    };
    SetLanguages({"Deutsch", "English", "Italiano"}, {"de", "en", "it"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nCurLang);
        g_nCurLang = c.nCurLang;
        g_bStartWithWindows = c.bStartWithWindows;
        BuildTrayMenu();
        ASSERT_EQ(GetMenuItemCount(g_hLangMenu), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(GetMenuItemID(g_hLangMenu, i), (UINT)(IDM_LANGUAGE_FIRST + i));
            EXPECT_EQ(GetMenuState(g_hLangMenu, i, MF_BYPOSITION) & MF_CHECKED, c.langChecked[i]);
        }
        EXPECT_EQ(GetMenuState(g_hOptionMenu, IDM_STARTWIN, MF_BYCOMMAND) & MF_CHECKED, c.uStartChecked);
        EXPECT_EQ(GetMenuState(g_hPopupMenu, IDM_ABOUT, MF_BYCOMMAND) & (MF_CHECKED | MF_GRAYED), 0u);
        EXPECT_EQ(GetMenuState(g_hPopupMenu, IDM_EXIT, MF_BYCOMMAND) & (MF_CHECKED | MF_GRAYED), 0u);
        DestroyMenu(g_hMenuBar);
        g_hMenuBar = nullptr;
    }
}

TEST_F(TrayMenuTest, NoLanguagesLeaveLanguageSubmenuEmpty)
{
    BuildTrayMenu();
    ASSERT_NE(g_hLangMenu, nullptr);
    EXPECT_TRUE(IsMenu(g_hLangMenu));
    EXPECT_EQ(GetMenuItemCount(g_hLangMenu), 0);
    EXPECT_EQ(DescribePopup(),
              (Lines{"> Optionen", "  > Sprache", "  Autostart #40006 [checked]", "Info #40004", "-",
                     "Beenden #40003"}));
}

// ---- Opening and closing ---------------------------------------------------------
// A thread timer fires inside the menu's own loop, looks at the open menu and ends it.
struct OpenMenuView {
    int nTicks = 0;
    HMENU hMenuBar = nullptr, hPopup = nullptr, hDevice = nullptr, hOption = nullptr, hLang = nullptr;
    HMENU hFirstSubmenu = nullptr;
    int nDefaultPos = -2;
};
static OpenMenuView s_view;

static void CALLBACK OnMenuTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (s_view.nTicks++ == 0) {
        s_view.hMenuBar = g_hMenuBar;
        s_view.hPopup = g_hPopupMenu;
        s_view.hDevice = g_hDeviceMenu;
        s_view.hOption = g_hOptionMenu;
        s_view.hLang = g_hLangMenu;
        s_view.hFirstSubmenu = GetSubMenu(g_hPopupMenu, 0);
        s_view.nDefaultPos = (int)GetMenuDefaultItem(g_hPopupMenu, TRUE, GMDI_USEDISABLED);
    }
    EndMenu();
}

static void OpenAndEndMenu(HWND hWnd)
{
    s_view = OpenMenuView{};
    UINT_PTR nTimer = SetTimer(nullptr, 0, 50, OnMenuTimer);
    ShowTrayMenu(hWnd);
    KillTimer(nullptr, nTimer);
}

TEST_F(TrayMenuTest, ShowMakesFirstItemDefaultAndDestroysEveryMenu)
{
    const struct {
        const char* name;
        int bDeviceAccepted;
    } cases[] = {{"option submenu first", 0}, {"device submenu first", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetLanguages({"Deutsch", "English"}, {"de", "en"});
        g_bDeviceAccepted = c.bDeviceAccepted;
        OpenAndEndMenu(m_hWnd);
        ASSERT_GE(s_view.nTicks, 1) << "the menu was never tracked";
        EXPECT_EQ(s_view.nDefaultPos, 0);
        EXPECT_EQ(s_view.hFirstSubmenu, c.bDeviceAccepted ? s_view.hDevice : s_view.hOption);
        for (HMENU h : {s_view.hMenuBar, s_view.hPopup, s_view.hOption, s_view.hLang})
            EXPECT_FALSE(IsMenu(h));
        if (c.bDeviceAccepted) {
            ASSERT_NE(s_view.hDevice, nullptr);
            EXPECT_FALSE(IsMenu(s_view.hDevice));
        } else {
            EXPECT_EQ(s_view.hDevice, nullptr);
        }
        EXPECT_EQ(g_hMenuBar, nullptr);
        EXPECT_EQ(g_hPopupMenu, nullptr);
        EXPECT_EQ(g_hDeviceMenu, nullptr);
        EXPECT_EQ(g_hOptionMenu, nullptr);
        EXPECT_EQ(g_hLangMenu, nullptr);
        ResetAgentState();
        InstallFakeWusb();
        SetMenuTexts();
    }
}

// ---- Commands ------------------------------------------------------------------------

TEST_F(TrayMenuTest, UnknownIdsDoNothing)
{
    RegistrySandbox registry;
    SetLanguages({"Deutsch", "English"}, {"de", "en"});
    FakeSetDevice(WUSB_STATUS_IN_USE, 1, 2, 3, "192.168.1.10", "THIS-PC");
    g_nServerNum = WUSBGetServerList(g_servers, MAX_SERVERS);
    g_fake.calls.clear();
    g_bConnected = 1;
    const WPARAM ids[] = {0, IDM_CONNECT - 1, IDM_LANGUAGE_FIRST + 2, IDM_LANGUAGE_FIRST + 3, 0xFFFF,
                          MAKEWPARAM(IDM_LANGUAGE_FIRST + 2, 1)};
    for (WPARAM id : ids) {
        SCOPED_TRACE(id);
        EXPECT_EQ(OnCommand(m_hWnd, id), 0);
    }
    EXPECT_TRUE(g_fake.calls.empty());
    EXPECT_EQ(g_bStartWithWindows, 1);
    EXPECT_EQ(g_bWantConnect, 1);
    EXPECT_EQ(g_nLangCount, 2);
    EXPECT_TRUE(IsWindow(m_hWnd));
    std::string code;
    EXPECT_FALSE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &code));
}

TEST_F(TrayMenuTest, LanguageCommandSwitchesToThatEntry)
{
    RegistrySandbox registry;
    const struct {
        UINT nId;
        const char* pszCode;
    } cases[] = {
        {IDM_LANGUAGE_FIRST + 1, "fr"},
        {IDM_LANGUAGE_FIRST + 0, "de"},   // the current one still switches
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCode);
        SetLanguages({"Deutsch", "Francais"}, {"de", "fr"});
        g_nCurLang = 0;
        EXPECT_EQ(OnCommand(m_hWnd, c.nId), 0);
        std::string code;
        ASSERT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &code));
        EXPECT_EQ(code, c.pszCode);
        ResetAgentState();
        InstallFakeWusb();
    }
}

TEST_F(TrayMenuTest, ConnectRecordsTheWishAndScansWithoutServer)
{
    g_bWantConnect = 0;
    EXPECT_EQ(OnCommand(m_hWnd, IDM_CONNECT), 0);
    EXPECT_EQ(g_bWantConnect, 1);
    EXPECT_EQ(FakeCallCount("WUSBGetServerList"), 1);
    EXPECT_EQ(FakeCallCount("WUSBManualScan"), 1);
}

TEST_F(TrayMenuTest, DisconnectDetachesTheDeviceInUse)
{
    FakeSetDevice(WUSB_STATUS_IN_USE, 0x1234, 0x5678, 77, "192.168.1.10", "THIS-PC");
    g_nServerNum = WUSBGetServerList(g_servers, MAX_SERVERS);
    g_fake.calls.clear();
    g_bConnected = 1;
    EXPECT_EQ(OnCommand(m_hWnd, IDM_DISCONNECT), 0);
    EXPECT_EQ(g_bWantConnect, 0);
    ASSERT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
    EXPECT_EQ(g_fake.calls[0].a, FakeServerId("192.168.1.10"));
    EXPECT_EQ(g_fake.calls[0].b, 77u);
}

TEST_F(TrayMenuTest, StartWithWindowsFlipsAndStores)
{
    RegistrySandbox registry;
    const struct {
        int bBefore;
        int bAfter;
    } cases[] = {{1, 0}, {0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bBefore);
        g_bStartWithWindows = c.bBefore;
        EXPECT_EQ(OnCommand(m_hWnd, MAKEWPARAM(IDM_STARTWIN, 0)), 0);
        EXPECT_EQ(g_bStartWithWindows, c.bAfter);
        DWORD dwStored = 99;
        ASSERT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStored));
        EXPECT_EQ(dwStored, (DWORD)c.bAfter);
    }
}

// A policy fixes Start with Windows and the language: the items show its values, grayed,
// and their commands change nothing; with the policy gone the menu is the user's again.
TEST_F(TrayMenuTest, ChoicesAPolicyFixesShowItsValueGrayed)
{
    RegistrySandbox registry;
    PolicySandbox policies;
    const Lines plain = {"> Optionen", "  > Sprache", "    Deutsch #40007 [checked]", "    English #40008",
                         "    Francais #40009", "  Autostart #40006 [checked]", "Info #40004", "-", "Beenden #40003"};
    const Lines fixed = {"> Optionen", "  > Sprache", "    Deutsch #40007 [grayed]", "    English #40008 [grayed]",
                         "    Francais #40009 [grayed] [checked]", "  Autostart #40006 [grayed]", "Info #40004", "-",
                         "Beenden #40003"};
    SetLanguages({"Deutsch", "English", "Francais"}, {"de", "en", "fr"});
    g_nCurLang = 0;
    g_bStartWithWindows = 1;
    policies.Set({HKEY_LOCAL_MACHINE, PRODUCT_LANG_VALUE, REG_SZ, 0, "fr"});
    policies.Set({HKEY_CURRENT_USER, PRODUCT_STARTWIN_VALUE, REG_DWORD, 0, nullptr});
    BuildTrayMenu();
    EXPECT_EQ(DescribePopup(), fixed);
    DestroyMenu(g_hMenuBar);
    g_hMenuBar = nullptr;

    OnCommand(m_hWnd, IDM_STARTWIN);
    OnCommand(m_hWnd, IDM_LANGUAGE_FIRST + 1);
    EXPECT_EQ(g_bStartWithWindows, 1);
    EXPECT_EQ(g_nCurLang, 0);
    std::string code;
    DWORD dwStartWin = 0;
    EXPECT_FALSE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &code)) << code;
    EXPECT_FALSE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStartWin));

    policies.Clear();
    BuildTrayMenu();
    EXPECT_EQ(DescribePopup(), plain);
}

TEST_F(TrayMenuTest, AboutShowsAndActivatesTheOneDialog)
{
    g_hAboutDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(IDD_ABOUT), m_hWnd, AboutDlgProc, 0);
    ASSERT_NE(g_hAboutDlg, nullptr);
    ShowWindow(g_hAboutDlg, SW_HIDE);
    HWND hDlg = g_hAboutDlg;
    for (int nTimes = 0; nTimes < 2; ++nTimes) {
        EXPECT_EQ(OnCommand(m_hWnd, IDM_ABOUT), 0);
        EXPECT_TRUE(IsWindowVisible(hDlg));
        EXPECT_EQ(GetActiveWindow(), hDlg);
        EXPECT_EQ(g_hAboutDlg, hDlg);
        SendMessageA(hDlg, WM_COMMAND, IDOK, 0);
        EXPECT_FALSE(IsWindowVisible(hDlg));
        EXPECT_TRUE(IsWindow(hDlg));
    }
}

TEST_F(TrayMenuTest, SettingsWithoutAddressDoesNothing)
{
    g_szDeviceUrl[0] = '\0';
    EXPECT_EQ(OpenDeviceSettings(), 0);
    EXPECT_EQ(OnCommand(m_hWnd, IDM_SETTINGS), 0);
    EXPECT_TRUE(g_fake.calls.empty());
}

// ---- Exit ------------------------------------------------------------------------------
// What the agent had already done when it asked the library to detach.
struct DetachView {
    int nCalls = 0;
    unsigned int dwServer = 0, dwDevice = 0;
    LONG bConnected = 0;
    bool bListsFreed = false;
    UINT uIconFlags = 99;
    bool bAboutAlive = false;
    bool bMainAlive = false;
};
static DetachView s_detach;
static HWND s_hExitWnd = nullptr;

static int ProbeUnimport(unsigned int dwServer, unsigned int dwDevice)
{
    ++s_detach.nCalls;
    s_detach.dwServer = dwServer;
    s_detach.dwDevice = dwDevice;
    s_detach.bConnected = g_bConnected;
    s_detach.bListsFreed = g_ppLangNames == nullptr && g_ppLangCodes == nullptr;
    s_detach.uIconFlags = g_nid.uFlags;
    s_detach.bAboutAlive = IsWindow(g_hAboutDlg) != FALSE;
    s_detach.bMainAlive = IsWindow(s_hExitWnd) != FALSE;
    return 0;
}

// Exit with the device attached here (the library's name in other letter case).
TEST_F(TrayMenuTest, ExitDetachesFirstThenRunsItsSequence)
{
    SetLanguages({"Deutsch", "English"}, {"de", "en"});
    FakeSetDevice(WUSB_STATUS_IN_USE, 0x1234, 0x5678, 42, "10.0.0.7", "this-pc");
    g_nServerNum = WUSBGetServerList(g_servers, MAX_SERVERS);
    g_wusb.pfnUnimportDevice = ProbeUnimport;
    s_detach = DetachView{};
    s_hExitWnd = m_hWnd;
    g_nid.cbSize = sizeof(g_nid);
    g_nid.hWnd = m_hWnd;
    g_nid.uID = 106;
    g_nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    g_hAboutDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(IDD_ABOUT), m_hWnd, AboutDlgProc, 0);
    ASSERT_NE(g_hAboutDlg, nullptr);
    HWND hAbout = g_hAboutDlg;
    SetTimer(m_hWnd, IDT_SERVER_CHECK, SERVER_CHECK_MS, nullptr);

    EXPECT_EQ(OnCommand(m_hWnd, IDM_EXIT), 0);

    // The device went first, while everything else was still in place.
    ASSERT_EQ(s_detach.nCalls, 1);
    EXPECT_EQ(s_detach.dwServer, FakeServerId("10.0.0.7"));
    EXPECT_EQ(s_detach.dwDevice, 42u);
    EXPECT_FALSE(s_detach.bListsFreed);
    EXPECT_NE(s_detach.uIconFlags, 0u);
    EXPECT_TRUE(s_detach.bAboutAlive);
    EXPECT_TRUE(s_detach.bMainAlive);
    EXPECT_EQ(g_bWantConnect, 0);
    EXPECT_EQ(g_ppLangNames, nullptr);
    EXPECT_EQ(g_nid.uFlags, 0u);
    EXPECT_FALSE(IsWindow(hAbout));
    EXPECT_FALSE(IsWindow(m_hWnd));
    WPARAM nCode = 99;
    EXPECT_TRUE(TakeQuitMessage(&nCode));
    EXPECT_EQ(nCode, 0u);
}

// Exit never takes a device from another computer, nor from another session's agent.
TEST_F(TrayMenuTest, ExitDetachesOnlyWhatThisComputerAloneUses)
{
    struct Case {
        const char* pszName;
        int nStatus;
        const char* pszHolder;
        bool bOtherSession;
        int nDetaches;
    } const kCases[] = {
        {"held here, alone", WUSB_STATUS_IN_USE, "THIS-PC", false, 1},
        {"held by another computer", WUSB_STATUS_IN_USE, "OFFICE-PC", false, 0},
        {"free", WUSB_STATUS_FREE, "", false, 0},
        {"held here, another session's agent runs", WUSB_STATUS_IN_USE, "THIS-PC", true, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        HWND hWnd = CreateTestMainWindow();
        FakeSetDevice(c.nStatus, 0x1234, 0x5678, 42, "10.0.0.7", c.pszHolder);
        g_nServerNum = WUSBGetServerList(g_servers, MAX_SERVERS);
        g_fake.calls.clear();
        // What an agent of another session holds for its life.
        HANDLE hOther = c.bOtherSession ? CreateMutexA(nullptr, FALSE, PRODUCT_AGENT_SLOT_PREFIX "7") : nullptr;
        ExitAgent(hWnd);
        if (hOther)
            CloseHandle(hOther);
        EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), c.nDetaches);
        TakeQuitMessage();
    }
}

TEST_F(TrayMenuTest, ExitWithoutLibraryOrDialogStillEnds)
{
    g_wusb = WusbLibrary{};
    g_hAboutDlg = nullptr;
    EXPECT_EQ(ExitAgent(m_hWnd), 1);
    EXPECT_FALSE(IsWindow(m_hWnd));
    EXPECT_EQ(g_ppLangNames, nullptr);
    EXPECT_TRUE(TakeQuitMessage());
}
