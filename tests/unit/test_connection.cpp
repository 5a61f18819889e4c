// The connection state machine against the fake library: notifications, timers,
// power events and the Connect and Disconnect commands.
#include <gtest/gtest.h>
#include "support/unit_fixture.h"
#include "agent/connection.h"
#include "ui/tray_icon.h"
#include "res/resource.h"
#include "settings/language.h"
#include <memory>
#include <vector>

static const char* const kIp = "192.168.1.10";
static const unsigned short kVid = 0x0A5C, kPid = 0x21E8;
static const unsigned int kDeviceId = 77;
static const char* const kListed = "[device]\r\nidnum=1\r\nid0=VID_0A5C&PID_21E8\r\n";

// A library whose first record comes without its address record.
static int ListWithoutAddress(_WUSB_SERVER* pServers, int)
{
    g_fake.calls.push_back(FakeCall{"WUSBGetServerList"});
    pServers[0] = g_fake.server;
    pServers[0].pAddress = nullptr;
    return 1;
}

class Connection : public MainWindowTest {
protected:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<TraceCapture> m_capture;

    void SetUp() override
    {
        MainWindowTest::SetUp();
        const char* texts[] = {"Box", "NoDev", "Free", "Busy", "Linked", "Weak"};
        char* fields[] = {g_text.t1, g_text.t2, g_text.t3, g_text.t4, g_text.t5, g_text.t6};
        for (int i = 0; i < 6; ++i)
            lstrcpynA(fields[i], texts[i], 50);
        UseSettings(kListed);
        m_capture.reset(new TraceCapture);
    }
    void TearDown() override
    {
        m_capture.reset();
        MainWindowTest::TearDown();
    }
    // A fresh folder per content: the profile reader may cache a file it has just read.
    void UseSettings(const std::string& ini)
    {
        m_dir.reset(new TempDir("conn"));
        m_dir->Write("Setting.ini", ini);
        UseProgramDir(m_dir->Path());
    }
    const std::vector<std::string>& Traces() { return m_capture->Lines(); }
    std::string TraceAt(size_t i) { return i < Traces().size() ? Traces()[i] : std::string(); }
    int CountTrace(const std::string& text)
    {
        int n = 0;
        for (const std::string& line : Traces())
            n += line == text;
        return n;
    }
    // KillTimer reports whether the timer was running.
    bool TimerArmed(UINT_PTR nId) { return KillTimer(m_hWnd, nId) != 0; }
    // The last logged call of that name; all zero when there was none.
    FakeCall LastCall(const char* pszName)
    {
        for (auto it = g_fake.calls.rbegin(); it != g_fake.calls.rend(); ++it)
            if (it->name == pszName)
                return *it;
        return FakeCall{};
    }
};

TEST_F(Connection, NoServer)
{
    g_bNeedScan = 0;
    g_bConnected = 1;
    OnWUSBNotify(m_hWnd);
    EXPECT_EQ(Traces(), std::vector<std::string>{"==== OnWUSBNotify ==== 0\n"});
    EXPECT_STREQ(g_nid.szTip, "Box - NoDev");
    EXPECT_EQ(g_nid.hIcon, TrayImageOf(IDI_DISCONNECTED));
    EXPECT_EQ(g_nStatus, STATUS_NO_DEVICE);
    EXPECT_EQ(g_nConnectItem, CONNECT_ITEM_NO_DEVICE);
    EXPECT_EQ(g_bNeedScan, 1);
    EXPECT_EQ(g_bNoticeShown, 1);
    EXPECT_EQ(g_bConnected, 0);
    EXPECT_EQ(g_bDeviceAccepted, 0);
    EXPECT_EQ(LastCall("WUSBGetServerList").a, (unsigned)MAX_SERVERS);
}

TEST_F(Connection, ServerWithoutDevice)
{
    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    g_fake.server.nDeviceCount = 0;
    g_bShowIdle = 0;
    OnWUSBNotify(m_hWnd);
    EXPECT_EQ(Traces(), (std::vector<std::string>{"==== OnWUSBNotify ==== 1\n", "WSB device number = 0"}));
    EXPECT_STREQ(g_nid.szTip, "Box - NoDev");
    EXPECT_EQ(g_nStatus, STATUS_NO_DEVICE);
    EXPECT_EQ(g_bNeedScan, 0);
    EXPECT_EQ(g_bShowIdle, 1);
}

TEST_F(Connection, FreeDeviceWantedArmsImport)
{
    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    g_bNeedScan = 0;
    g_bPoorSignalNotice = 0;
    OnWUSBNotify(m_hWnd);
    std::vector<std::string> expected = {
        "==== OnWUSBNotify ==== 1\n", "WSB device number = 1",
        ">>> Start read ini!! \n", ">>> device id =VID_0A5C&PID_21E8\n", ">>> Vid = 0xa5c,Pid = 0x21e8\n",
        ">>> Start read ini!! bOk =1 \n",
        "Import : start timer IDT_DELAY_IMPORT============\n ",
    };
    EXPECT_EQ(Traces(), expected);
    EXPECT_STREQ(g_nid.szTip, "Box - Free");
    EXPECT_EQ(g_nStatus, STATUS_DISCONNECTED);
    EXPECT_EQ(g_nConnectItem, CONNECT_ITEM_FREE);
    EXPECT_EQ(g_bPoorSignalNotice, 1);
    EXPECT_EQ(g_bNoticeShown, 1);
    EXPECT_EQ(g_bNeedScan, 1);
    EXPECT_EQ(g_bDeviceAccepted, 1);
    EXPECT_STREQ(g_szDeviceMenu, PRODUCT_NAME);
    EXPECT_STREQ(g_szDeviceUrl, "http://192.168.1.10");
    EXPECT_EQ(g_bImportPending, 1);
    EXPECT_EQ(g_bit_rate, 0);
    EXPECT_EQ(FakeCallCount("WUSBDoPerformanceTest"), 0);
    EXPECT_TRUE(TimerArmed(IDT_DELAY_IMPORT));
}

TEST_F(Connection, FreeDeviceNotWanted)
{
    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    g_bWantConnect = 0;
    OnWUSBNotify(m_hWnd);
    EXPECT_STREQ(g_nid.szTip, "Box - Free");
    EXPECT_EQ(g_bNeedScan, 0);
    EXPECT_EQ(g_bDeviceAccepted, 1);
    EXPECT_EQ(g_bImportPending, 0);
    EXPECT_FALSE(TimerArmed(IDT_DELAY_IMPORT));
}

TEST_F(Connection, InUse)
{
    struct Case {
        const char* pszHolder;
        const char* pszTip;
        int nIconId, nStatus, nItem;
        LONG bConnected;
    } cases[] = {
        {"this-pc", "Box - Linked", IDI_CONNECTED, STATUS_CONNECTED, CONNECT_ITEM_CONNECTED, 1},
        {"Other-Box", "Box - Busy Other-Box", IDI_DISCONNECTED, STATUS_OCCUPIED, CONNECT_ITEM_OCCUPIED, 0},
    };
    for (const Case& c : cases) {
        ResetAgentState();
        UseProgramDir(m_dir->Path());
        lstrcpynA(g_text.t1, "Box", 50);
        lstrcpynA(g_text.t4, "Busy", 50);
        lstrcpynA(g_text.t5, "Linked", 50);
        g_bShowIdle = 0;
        g_bPoorSignalNotice = 0;
        FakeSetDevice(WUSB_STATUS_IN_USE, kVid, kPid, kDeviceId, kIp, c.pszHolder);   // computer: THIS-PC
        m_capture->Clear();
        OnWUSBNotify(m_hWnd);
        EXPECT_EQ(TraceAt(2), std::string("Device hostname = ") + c.pszHolder + "\n");
        EXPECT_EQ(TraceAt(3), "Computer hostname = THIS-PC\n");
        EXPECT_STREQ(g_nid.szTip, c.pszTip);
        EXPECT_EQ(g_nid.hIcon, TrayImageOf(c.nIconId));
        EXPECT_EQ(g_nStatus, c.nStatus);
        EXPECT_EQ(g_nConnectItem, c.nItem);
        EXPECT_EQ(g_bConnected, c.bConnected);
        EXPECT_EQ(g_bNeedScan, 0);
        EXPECT_EQ(g_bShowIdle, 1);
        EXPECT_EQ(g_bPoorSignalNotice, 1);
        EXPECT_EQ(g_bNoticeShown, 1);
        EXPECT_EQ(g_bDeviceAccepted, 1);
        EXPECT_EQ(g_bImportPending, 0);
        EXPECT_EQ(FakeCallCount("WUSBImportDevice"), 0);
    }
}

TEST_F(Connection, InUseWhileNotWantedChangesNothing)
{
    FakeSetDevice(WUSB_STATUS_IN_USE, kVid, kPid, kDeviceId, kIp, "Other-Box");
    g_bWantConnect = 0;
    g_nStatus = STATUS_DISCONNECTED;
    g_nConnectItem = CONNECT_ITEM_FREE;
    g_bNeedScan = 1;
    lstrcpynA(g_nid.szTip, "before", sizeof(g_nid.szTip));
    OnWUSBNotify(m_hWnd);
    EXPECT_STREQ(g_nid.szTip, "before");
    EXPECT_EQ(g_nStatus, STATUS_DISCONNECTED);
    EXPECT_EQ(g_nConnectItem, CONNECT_ITEM_FREE);
    EXPECT_EQ(g_bNeedScan, 1);
    EXPECT_EQ(g_bNoticeShown, 0);
    EXPECT_EQ(CountTrace("Device hostname = Other-Box\n"), 0);
}

TEST_F(Connection, RejectedDeviceReplacesPresentation)
{
    FakeSetDevice(WUSB_STATUS_FREE, 0x1111, kPid, kDeviceId, kIp, "");
    g_bPoorSignalNotice = 0;
    OnWUSBNotify(m_hWnd);
    EXPECT_STREQ(g_nid.szTip, "Box - NoDev");
    EXPECT_EQ(g_bPoorSignalNotice, 1);   // the free presentation ran first
    EXPECT_EQ(g_nStatus, STATUS_NO_DEVICE);
    EXPECT_EQ(g_nConnectItem, CONNECT_ITEM_NO_DEVICE);
    EXPECT_EQ(g_bNeedScan, 0);
    EXPECT_EQ(g_bDeviceAccepted, 0);
    EXPECT_EQ(g_bImportPending, 0);
    EXPECT_STREQ(g_szDeviceUrl, "");
}

TEST_F(Connection, RecordWithoutAddressIsNoServer)
{
    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    g_wusb.pfnGetServerList = ListWithoutAddress;
    g_bNeedScan = 0;
    OnWUSBNotify(m_hWnd);
    EXPECT_STREQ(g_nid.szTip, "Box - NoDev");
    EXPECT_EQ(g_nStatus, STATUS_NO_DEVICE);
    EXPECT_EQ(g_bNeedScan, 1);
    EXPECT_EQ(g_bDeviceAccepted, 0);
    EXPECT_STREQ(g_szDeviceUrl, "");
    EXPECT_FALSE(TimerArmed(IDT_DELAY_IMPORT));

    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    g_servers[0].nStatus = WUSB_STATUS_IN_USE;
    g_bConnected = 1;
    DisconnectDevice(m_hWnd);
    EXPECT_EQ(FakeCallCount("WUSBImportDevice"), 0);
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 0);
    EXPECT_EQ(FakeCallCount("WUSBGetPerformanceResult"), 0);
}

TEST_F(Connection, HostNameWithoutTerminatorStaysInRecord)
{
    FakeSetDevice(WUSB_STATUS_IN_USE, kVid, kPid, kDeviceId, kIp, "");
    memset(g_fake.server.szHostName, 'A', sizeof(g_fake.server.szHostName));
    memset(&g_servers[1], 'Z', sizeof(g_servers[1]));   // what an overrun would pick up
    OnWUSBNotify(m_hWnd);
    std::string host(WUSB_HOSTNAME_SIZE, 'A');
    EXPECT_EQ(TraceAt(2), "Device hostname = " + host + "\n");
    EXPECT_EQ(std::string(g_nid.szTip), ("Box - Busy " + host).substr(0, TOOLTIP_SIZE - 1));
    EXPECT_EQ(g_nStatus, STATUS_OCCUPIED);
}

TEST_F(Connection, ServerCheckTick)
{
    struct Case {
        int bNeedScan, bNoticeShown;
        std::vector<std::string> traces;
        int nScans;
        UINT uFlags;
    } cases[] = {
        {0, 0, {"Checked g_nServerNum = 3"}, 0, 0},
        {1, 0, {"Checked g_nServerNum = 3", "Checked g_nServerNum = 3 start scan"}, 1, 0},
        {0, 1, {"Checked g_nServerNum = 3"}, 0, 7},
        {1, 1, {"Checked g_nServerNum = 3", "Checked g_nServerNum = 3 start scan"}, 1, 7},
    };
    for (const Case& c : cases) {
        InstallFakeWusb();
        m_capture->Clear();
        g_nServerNum = 3;
        g_bNeedScan = c.bNeedScan;
        g_bNoticeShown = c.bNoticeShown;
        g_nid.uFlags = 0;
        EXPECT_EQ(OnTimer(m_hWnd, IDT_SERVER_CHECK), 1);
        EXPECT_EQ(Traces(), c.traces);
        EXPECT_EQ(FakeCallCount("WUSBManualScan"), c.nScans);
        EXPECT_EQ(g_bNoticeShown, 0);
        EXPECT_EQ(g_nid.uFlags, c.uFlags);   // re-created only after a notice
        EXPECT_EQ(g_bNeedScan, c.bNeedScan);
    }
    EXPECT_EQ(OnTimer(m_hWnd, 12345), 0);
}

TEST_F(Connection, DelayedImport)
{
    struct Case {
        const char* pszSystem;
        int nMeasured;
        int bImports;
        int nBitRate;
        unsigned int nTransferSize;   // 0: no test
    } cases[] = {
        {"", 0, 1, 0, 0},
        {"bitrate=0\r\ntransfersize=4096\r\n", 0, 1, 0, 0},
        {"bitrate=500\r\n", 500, 1, 500, 1024},
        {"bitrate=500\r\ntransfersize=4096\r\n", 501, 1, 500, 4096},
        {"bitrate=500\r\n", 499, 0, 500, 1024},
    };
    const unsigned int dwServerId = FakeServerId(kIp);
    for (const Case& c : cases) {
        ResetAgentState();
        InstallFakeWusb();
        lstrcpynA(g_text.t1, "Box", 50);
        lstrcpynA(g_text.t6, "Weak", 50);
        UseSettings(std::string(kListed) + "[system]\r\n" + c.pszSystem);
        FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
        g_fake.nPerformanceResult = c.nMeasured;
        OnWUSBNotify(m_hWnd);
        EXPECT_EQ(g_bit_rate, c.nBitRate);
        EXPECT_EQ(FakeCallCount("WUSBDoPerformanceTest"), c.nTransferSize ? 1 : 0);
        if (c.nTransferSize) {
            EXPECT_EQ(LastCall("WUSBDoPerformanceTest").a, dwServerId);
            EXPECT_EQ(LastCall("WUSBDoPerformanceTest").b, c.nTransferSize);
        }
        g_bNoticeShown = 0;
        m_capture->Clear();
        EXPECT_EQ(OnTimer(m_hWnd, IDT_DELAY_IMPORT), 1);
        EXPECT_FALSE(TimerArmed(IDT_DELAY_IMPORT));
        std::vector<std::string> expected = {
            "Into Delay Import ============\n",
            "Start to Delay Import ============ get_bit_rate = " + std::to_string(c.nMeasured) + "\n",
            "Start to Delay Import ============ g_bit_rate = " + std::to_string(c.nBitRate) + "\n",
        };
        EXPECT_EQ(Traces(), expected) << c.pszSystem;
        EXPECT_EQ(FakeCallCount("WUSBGetPerformanceResult"), c.nBitRate ? 1 : 0);
        EXPECT_EQ(FakeCallCount("WUSBImportDevice"), c.bImports);
        if (c.bImports) {
            EXPECT_EQ(LastCall("WUSBImportDevice").a, dwServerId);
            EXPECT_EQ(LastCall("WUSBImportDevice").b, kDeviceId);
            EXPECT_STREQ(g_nid.szTip, "Box - ");   // still the free presentation (t3 empty here)
        } else {
            EXPECT_STREQ(g_nid.szTip, "Box - Weak");
            EXPECT_EQ(g_bShowIdle, 0);
            EXPECT_EQ(g_nConnectItem, CONNECT_ITEM_POOR_SIGNAL);
            EXPECT_EQ(g_bPoorSignalNotice, 0);
            EXPECT_EQ(g_bWantConnect, 1);
        }
        EXPECT_EQ(g_bNoticeShown, 0);
        EXPECT_EQ(g_bImportPending, 0);
    }
}

TEST_F(Connection, DelayedImportActsOnlyOnFreeWantedDevice)
{
    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    OnWUSBNotify(m_hWnd);
    g_fake.server.nStatus = WUSB_STATUS_IN_USE;
    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    g_fake.server.nStatus = WUSB_STATUS_FREE;
    g_bWantConnect = 0;
    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    g_bWantConnect = 1;
    g_fake.nServerCount = 0;
    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    EXPECT_EQ(FakeCallCount("WUSBImportDevice"), 0);
    EXPECT_EQ(g_bImportPending, 0);
    EXPECT_EQ(g_nServerNum, 0);
}

TEST_F(Connection, TwoNotificationsArmOneImport)
{
    UseSettings(std::string(kListed) + "[system]\r\nbitrate=100\r\n");
    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    OnWUSBNotify(m_hWnd);
    OnWUSBNotify(m_hWnd);
    EXPECT_EQ(CountTrace("Import : start timer IDT_DELAY_IMPORT============\n "), 1);
    EXPECT_EQ(FakeCallCount("WUSBDoPerformanceTest"), 1);
    g_fake.nPerformanceResult = 100;
    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    OnWUSBNotify(m_hWnd);   // armed again once the first has run
    EXPECT_EQ(FakeCallCount("WUSBImportDevice"), 1);
    EXPECT_EQ(CountTrace("Import : start timer IDT_DELAY_IMPORT============\n "), 2);
}

TEST_F(Connection, PoorSignalShownOnceUntilRearmed)
{
    UseSettings(std::string(kListed) + "[system]\r\nbitrate=100\r\n");
    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    g_fake.nPerformanceResult = 10;
    OnWUSBNotify(m_hWnd);
    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    EXPECT_STREQ(g_nid.szTip, "Box - Weak");

    // Free again while idle is off: no presentation, a new test, refused silently.
    g_nStatus = STATUS_NONE;
    lstrcpynA(g_nid.szTip, "marker", sizeof(g_nid.szTip));
    OnWUSBNotify(m_hWnd);
    EXPECT_EQ(g_nStatus, STATUS_NONE);
    EXPECT_EQ(FakeCallCount("WUSBDoPerformanceTest"), 2);
    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    EXPECT_STREQ(g_nid.szTip, "marker");

    // No device does not re-arm the notice; the next free presentation does.
    g_fake.nServerCount = 0;
    OnWUSBNotify(m_hWnd);
    EXPECT_EQ(g_bPoorSignalNotice, 0);
    EXPECT_EQ(g_bShowIdle, 1);
    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    g_fake.nPerformanceResult = 10;
    OnWUSBNotify(m_hWnd);
    EXPECT_STREQ(g_nid.szTip, "Box - Free");
    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    EXPECT_STREQ(g_nid.szTip, "Box - Weak");
    EXPECT_EQ(FakeCallCount("WUSBImportDevice"), 0);
}

TEST_F(Connection, ConnectDeviceRules)
{
    g_bConnected = 1;
    g_bWantConnect = 0;
    EXPECT_EQ(ConnectDevice(m_hWnd), 1);
    EXPECT_TRUE(g_fake.calls.empty());
    EXPECT_EQ(g_bWantConnect, 0);

    g_bConnected = 0;
    EXPECT_EQ(ConnectDevice(m_hWnd), 1);   // no server: notification, then a scan
    EXPECT_EQ(g_bWantConnect, 1);
    ASSERT_EQ(g_fake.calls.size(), 2u);
    EXPECT_EQ(g_fake.calls[0].name, "WUSBGetServerList");
    EXPECT_EQ(g_fake.calls[1].name, "WUSBManualScan");

    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    g_bWantConnect = 0;
    ConnectDevice(m_hWnd);
    EXPECT_EQ(FakeCallCount("WUSBManualScan"), 1);
    EXPECT_EQ(g_bImportPending, 1);
}

TEST_F(Connection, DisconnectDeviceRules)
{
    FakeSetDevice(WUSB_STATUS_IN_USE, kVid, kPid, kDeviceId, kIp, "THIS-PC");
    EXPECT_EQ(DisconnectDevice(m_hWnd), 1);   // not connected: nothing
    EXPECT_EQ(g_bWantConnect, 1);

    OnWUSBNotify(m_hWnd);
    ASSERT_EQ(g_bConnected, 1);
    EXPECT_EQ(DisconnectDevice(m_hWnd), 1);
    EXPECT_EQ(g_bWantConnect, 0);
    EXPECT_EQ(g_bConnected, 1);
    ASSERT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
    EXPECT_EQ(LastCall("WUSBUnimportDevice").a, FakeServerId(kIp));
    EXPECT_EQ(LastCall("WUSBUnimportDevice").b, kDeviceId);

    g_servers[0].nStatus = WUSB_STATUS_FREE;   // connected flag but the list says free
    DisconnectDevice(m_hWnd);
    g_servers[0].nStatus = WUSB_STATUS_IN_USE;
    g_servers[0].nDeviceCount = 0;
    DisconnectDevice(m_hWnd);
    g_servers[0].nDeviceCount = 1;
    g_nServerNum = 0;
    DisconnectDevice(m_hWnd);
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
}

TEST_F(Connection, SuspendAndResume)
{
    FakeSetDevice(WUSB_STATUS_IN_USE, kVid, kPid, kDeviceId, kIp, "THIS-PC");
    OnWUSBNotify(m_hWnd);
    EXPECT_EQ(OnPowerBroadcast(m_hWnd, PBT_APMSUSPEND), 1);
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
    EXPECT_EQ(g_bWantConnect, 0);

    FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
    g_fake.calls.clear();
    EXPECT_EQ(OnPowerBroadcast(m_hWnd, PBT_APMRESUMESUSPEND), 1);
    EXPECT_EQ(g_bConnected, 0);
    EXPECT_EQ(g_bWantConnect, 1);
    ASSERT_GE(g_fake.calls.size(), 2u);
    EXPECT_EQ(g_fake.calls[0].name, "WUSBManualScan");
    EXPECT_EQ(g_fake.calls[1].name, "WUSBGetServerList");
    EXPECT_EQ(g_nServerNum, 1);
    EXPECT_EQ(g_bImportPending, 1);
    EXPECT_TRUE(TimerArmed(IDT_SERVER_CHECK));
    OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    EXPECT_EQ(FakeCallCount("WUSBImportDevice"), 1);

    g_fake.calls.clear();
    EXPECT_EQ(OnPowerBroadcast(m_hWnd, PBT_APMPOWERSTATUSCHANGE), 0);
    EXPECT_TRUE(g_fake.calls.empty());
    EXPECT_FALSE(TimerArmed(IDT_SERVER_CHECK));
}

// A wake announced by either resume event, or both, resumes exactly once.
TEST_F(Connection, OneWakeResumesOnceWhicheverEventsAnnounceIt)
{
    struct Case {
        const char* pszName;
        std::vector<WPARAM> events;
        int nScans;
    } const kCases[] = {
        {"automatic alone (a timer or the network woke it)", {PBT_APMRESUMEAUTOMATIC}, 1},
        {"automatic, then the user is seen", {PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}, 1},
        {"two wakes", {PBT_APMRESUMEAUTOMATIC, PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, PBT_APMRESUMEAUTOMATIC}, 2},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, kDeviceId, kIp, "");
        OnPowerBroadcast(m_hWnd, PBT_APMSUSPEND);
        g_fake.calls.clear();
        for (WPARAM nEvent : c.events)
            EXPECT_EQ(OnPowerBroadcast(m_hWnd, nEvent), 1);
        EXPECT_EQ(FakeCallCount("WUSBManualScan"), c.nScans);
        EXPECT_EQ(g_bWantConnect, 1);
        EXPECT_EQ(g_bImportPending, 1);
        OnTimer(m_hWnd, IDT_DELAY_IMPORT);
    }
}

// ---- Several boxes ---------------------------------------------------------------
// Setting.ini names the box by address: it is the one acted on wherever it stands in
// the list; named but not listed is no server; an address that is none names nothing.
TEST_F(Connection, TheBoxSettingIniNamesIsTheOneActedOn)
{
    struct Case {
        const char* pszName;
        const char* pszAddress;     // [server] address=
        bool bNamedFirst;           // 10.0.0.8 listed before 10.0.0.7
        const char* pszUrl;         // "": no server
        unsigned int dwImportedDevice;
    } const kCases[] = {
        {"not named: the first listed", "", false, "http://10.0.0.7", 1},
        {"named, listed second", "10.0.0.8", false, "http://10.0.0.8", 2},
        {"named, listed first", "10.0.0.8", true, "http://10.0.0.8", 2},
        {"named with blanks", " 10.0.0.8 ", false, "http://10.0.0.8", 2},
        {"named, not listed", "10.0.0.9", false, "", 0},
        {"not an address: the first listed", "10.0.0.256", true, "http://10.0.0.8", 2},
        {"a host name: the first listed", "box.local", false, "http://10.0.0.7", 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        UseSettings(std::string(kListed) + "[server]\r\naddress=" + c.pszAddress + "\r\n");
        g_szDeviceUrl[0] = '\0';
        g_fake.calls.clear();
        const char* pszFirst = c.bNamedFirst ? "10.0.0.8" : "10.0.0.7";
        const char* pszSecond = c.bNamedFirst ? "10.0.0.7" : "10.0.0.8";
        FakeSetDevice(WUSB_STATUS_FREE, kVid, kPid, pszFirst[7] == '8' ? 2 : 1, pszFirst, "");
        FakeAddServer(WUSB_STATUS_FREE, kVid, kPid, pszSecond[7] == '8' ? 2 : 1, pszSecond, "");
        OnWUSBNotify(m_hWnd);
        EXPECT_STREQ(g_szDeviceUrl, c.pszUrl);
        EXPECT_EQ(g_bDeviceAccepted, c.pszUrl[0] ? 1 : 0);
        EXPECT_EQ(g_nStatus, c.pszUrl[0] ? STATUS_DISCONNECTED : STATUS_NO_DEVICE);
        EXPECT_EQ(g_bNeedScan, 1);
        OnTimer(m_hWnd, IDT_DELAY_IMPORT);
        EXPECT_EQ(LastCall("WUSBImportDevice").b, c.dwImportedDevice);
    }
    // A bad value is told once, however many notifications read it.
    OnWUSBNotify(m_hWnd);
    EXPECT_EQ(CountTrace("Setting.ini [server] address=box.local is no IPv4 address: using the first server\n"), 1);
}
