// Sharing one device: the decisions as tables, the notices' texts in every shipped
// language, and the agent's release, return, notices and slot against the fake library.
#include <gtest/gtest.h>
#include "support/unit_fixture.h"
#include "agent/connection.h"
#include "agent/device_sharing.h"
#include "agent/other_agents.h"
#include "agent/sharing.h"
#include "settings/settings.h"
#include "settings/share_text.h"
#include "ui/share_notice.h"
#include "ui/tray_icon.h"
#include <memory>
#include <string>

namespace {

const ULONGLONG kMin = MINUTE_MS;
const ULONGLONG kT0 = 1000 * kMin;   // a tick well after boot

const char* const kIp = "10.0.0.7";
const unsigned short kVid = 0x0A5C, kPid = 0x21E8;
const char* const kListed = "[device]\r\nidnum=1\r\nid0=VID_0A5C&PID_21E8\r\n";

}  // namespace

TEST(SharingDecisions, AwayStepTable)
{
    struct Case {
        const char* pszName;
        ULONGLONG nNow, nInput, nAttached;
        int nMin;
        ULONGLONG nWarnedAt;
        AwayStep step;
    } const kCases[] = {
        {"off", kT0 + 999 * kMin, 0, kT0, 0, 0, AWAY_NOTHING},
        {"off while warned: the warning goes", kT0, 0, kT0, 0, kT0, AWAY_CANCEL},
        {"10 min: quiet at 7:59", kT0 + 8 * kMin - 1, 0, kT0, 10, 0, AWAY_NOTHING},
        {"10 min: warned 2 min before", kT0 + 8 * kMin, 0, kT0, 10, 0, AWAY_WARN},
        {"counted from the later input", kT0 + 8 * kMin, kT0 + kMin, kT0, 10, 0, AWAY_NOTHING},
        {"1 min: warned at half the time", kT0 + kMin / 2, 0, kT0, 1, 0, AWAY_WARN},
        {"3 min: warned at half the time", kT0 + 3 * kMin / 2, 0, kT0, 3, 0, AWAY_WARN},
        {"4 min: warned 2 min before", kT0 + 2 * kMin, 0, kT0, 4, 0, AWAY_WARN},
        {"warned, waiting", kT0 + 9 * kMin, 0, kT0, 10, kT0 + 8 * kMin, AWAY_NOTHING},
        {"warned, released at the limit", kT0 + 10 * kMin, 0, kT0, 10, kT0 + 8 * kMin, AWAY_RELEASE},
        {"input after the warning cancels", kT0 + 9 * kMin, kT0 + 8 * kMin + 1, kT0, 10, kT0 + 8 * kMin, AWAY_CANCEL},
        {"a late first tick warns first", kT0 + 60 * kMin, 0, kT0, 10, 0, AWAY_WARN},
        {"the late warning stands its full lead", kT0 + 61 * kMin, 0, kT0, 10, kT0 + 60 * kMin, AWAY_NOTHING},
        {"then the release", kT0 + 62 * kMin, 0, kT0, 10, kT0 + 60 * kMin, AWAY_RELEASE},
        {"a clock behind the attach is no time away", kT0, 0, kT0 + kMin, 1, 0, AWAY_NOTHING},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(DecideAwayStep(c.nNow, c.nInput, c.nAttached, c.nMin, c.nWarnedAt), c.step) << c.pszName;
    EXPECT_EQ(AwayWarnLeadMs(1440), 2 * kMin);
    EXPECT_EQ(AwayWarnLeadMs(1), kMin / 2);
    EXPECT_EQ(AwayLimitMs(-5), 0u);
}

TEST(SharingDecisions, WishAndReturnTable)
{
    struct Case { int bAuto, bBefore, bPending, bWish; } const kResume[] = {
        {1, 0, 0, 1}, {1, 1, 0, 1}, {0, 0, 0, 0}, {0, 1, 0, 1}, {1, 1, 1, 0}, {0, 1, 1, 0},
    };
    for (const Case& c : kResume)
        EXPECT_EQ(WishAtResume(c.bAuto, c.bBefore, c.bPending), c.bWish) << c.bAuto << c.bBefore << c.bPending;
    EXPECT_EQ(WishAtStart(1), 1);
    EXPECT_EQ(WishAtStart(0), 0);
    EXPECT_EQ(IsBackAfterAwayRelease(kT0 + 1, kT0), 1);
    EXPECT_EQ(IsBackAfterAwayRelease(kT0, kT0), 0);
    // The 32-bit input time on the 64-bit clock, across the 32-bit wrap, and Wine's 0.
    const ULONGLONG nWrapped = 0x100000000ULL + 500;
    EXPECT_EQ(InputTick64(nWrapped, 0xFFFFFF00u), nWrapped - 500 - 0x100);
    EXPECT_EQ(InputTick64(kT0, (DWORD)kT0 - 7), kT0 - 7);
    EXPECT_EQ(InputTick64(5000, 0), 0u);
}

TEST(ShareTexts, PlaceholderIsTheOnlyFormatAndEveryCutIsTerminated)
{
    struct Case { const char* pszText; const char* pszName; size_t cb; const char* pszOut; } const kCases[] = {
        {"%1 had it", "PC-1", 64, "PC-1 had it"},
        {"%1 and %1", "A", 64, "A and A"},
        {"100% %s %d %n", "PC", 64, "100% %s %d %n"},
        {"%1", nullptr, 64, ""},
        {"abc%1", "defgh", 6, "abcde"},
        {"abcdef", "x", 4, "abc"},
    };
    for (const Case& c : kCases) {
        char szOut[64];
        memset(szOut, 'Z', sizeof(szOut));
        FormatNoticeText(c.pszText, c.pszName, szOut, c.cb);
        EXPECT_STREQ(szOut, c.pszOut) << c.pszText;
    }
}

// Every notice of every shipped language fits the notification area's limits, with the
// longest computer name a network gives (63 characters) in each "%1".
TEST(ShareTexts, EveryShippedLanguageHasEveryNoticeWithinTheLimits)
{
    const std::string name(63, 'N');
    int nCount = 0;
    const LangField* pFields = GetShareTextFields(&nCount);
    for (const char* pszCode : {"de", "en", "fr", "es", "it", "nl"}) {
        std::string file = DistDir() + "\\lang\\" PRODUCT_LANG_FILE_PREFIX + pszCode + ".ini";
        for (int i = 0; i < nCount; ++i) {
            char szText[2048] = "";
            GetPrivateProfileStringA(SHARE_TEXT_SECTION, pFields[i].pszKey, "", szText, sizeof(szText), file.c_str());
            std::string text = szText;
            EXPECT_FALSE(text.empty()) << pszCode << " " << pFields[i].pszKey;
            for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at))
                text.replace(at, 2, name), at += name.size();
            EXPECT_LE(text.size(), pFields[i].nSize - 1) << pszCode << " " << pFields[i].pszKey;
            bool bTitle = std::string(pFields[i].pszKey).find("_title") != std::string::npos;
            EXPECT_EQ(pFields[i].nSize, bTitle ? (size_t)NOTICE_TITLE_SIZE : (size_t)NOTICE_TEXT_SIZE);
        }
    }
    // Without a file, the English built-in texts.
    LoadShareTexts(nullptr);
    EXPECT_STREQ(g_shareText.back_title, "Welcome back");
}

// ---- The agent ---------------------------------------------------------------
class Sharing : public MainWindowTest {
protected:
    TempDir m_dir{"share"};
    std::unique_ptr<TraceCapture> m_capture;

    void SetUp() override
    {
        MainWindowTest::SetUp();
        m_dir.Write("Setting.ini", kListed);
        UseProgramDir(m_dir.Path());
        LoadShareTexts(nullptr);
        lstrcpynA(g_text.tip1, "Started", sizeof(g_text.tip1));
        AddTrayIcon(m_hWnd);
        m_capture.reset(new TraceCapture);
    }
    void TearDown() override
    {
        m_capture.reset();
        RemoveTrayIcon();
        MainWindowTest::TearDown();
        HoldAgentSlot(0, 0);
    }
    bool Traced(const std::string& text) { return m_capture->Contains(text); }
    // The device as the box reports it, then the notification.
    void Box(int nStatus, const char* pszHolder)
    {
        FakeSetDevice(nStatus, kVid, kPid, 1, kIp, pszHolder);
        OnWUSBNotify(m_hWnd);
    }
    void Attached()
    {
        Box(WUSB_STATUS_IN_USE, "THIS-PC");
        ASSERT_EQ(g_bConnected, 1);
    }
};

TEST_F(Sharing, LockGivesTheDeviceBackAndTheUnlockTakesItAgain)
{
    g_bReleaseOnLock = 1;
    Attached();
    EXPECT_EQ(OnSessionChange(m_hWnd, WTS_SESSION_LOCK), 1);
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
    EXPECT_EQ(g_bWantConnect, 0);
    EXPECT_TRUE(Traced("Share: released at the session's lock\n"));
    Box(WUSB_STATUS_FREE, "");
    EXPECT_EQ(g_bImportPending, 0) << "the wish is cleared";

    EXPECT_EQ(OnSessionChange(m_hWnd, WTS_SESSION_UNLOCK), 1);
    EXPECT_EQ(g_bWantConnect, 1);
    EXPECT_EQ(g_bImportPending, 1);
    Attached();
    EXPECT_TRUE(Traced("Share: notice connected again: " PRODUCT_NAME " is connected again.\n"));
    EXPECT_EQ(g_nShareNotice, NOTICE_BACK_CONNECTED);

    // Without the choice, a lock changes nothing; an unlock without a release neither.
    g_bReleaseOnLock = 0;
    EXPECT_EQ(OnSessionChange(m_hWnd, WTS_SESSION_LOCK), 0);
    EXPECT_EQ(OnSessionChange(m_hWnd, WTS_SESSION_UNLOCK), 0);
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
}

TEST_F(Sharing, NoReleaseOfADeviceElsewhereOrWhileAnotherSessionsAgentRuns)
{
    g_bReleaseOnLock = 1;
    Box(WUSB_STATUS_IN_USE, "OFFICE-PC");
    EXPECT_EQ(OnSessionChange(m_hWnd, WTS_SESSION_LOCK), 0);
    Attached();
    HANDLE hOther = CreateMutexA(nullptr, FALSE, PRODUCT_AGENT_SLOT_PREFIX "9");
    EXPECT_EQ(OnSessionChange(m_hWnd, WTS_SESSION_LOCK), 0);
    // Away: no warning of a release that would be refused, and no release after it.
    g_nReleaseAfterMin = 1;
    CheckAwayAt(m_hWnd, g_nAttachedAt + kMin / 2, 0);
    CheckAwayAt(m_hWnd, g_nAttachedAt + 2 * kMin, 0);
    EXPECT_TRUE(Traced("Share: not released after a time without input: an agent of another session still runs\n"));
    EXPECT_EQ(g_nShareNotice, NOTICE_NONE);
    CloseHandle(hOther);
    EXPECT_TRUE(Traced("Share: not released at the session's lock: an agent of another session still runs\n"));
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 0);
    EXPECT_EQ(g_bWantConnect, 1);
}

// The away rule, at given moments: warning, cancel by input, warning again, release,
// and the return at the next input.
TEST_F(Sharing, AwayWarningCancelReleaseAndReturn)
{
    g_nReleaseAfterMin = 1;
    Attached();
    const ULONGLONG t = g_nAttachedAt;
    CheckAwayAt(m_hWnd, t + kMin / 2 - 1, 0);
    EXPECT_EQ(g_nAwayWarnedAt, 0u);
    CheckAwayAt(m_hWnd, t + kMin / 2, 0);
    EXPECT_TRUE(Traced("Share: away warning\n"));
    EXPECT_EQ(g_nShareNotice, NOTICE_AWAY_WARNING);
    CheckAwayAt(m_hWnd, t + kMin / 2 + 5000, t + kMin / 2 + 1000);
    EXPECT_TRUE(Traced("Share: away release cancelled by input\n"));
    EXPECT_EQ(g_nShareNotice, NOTICE_NONE) << "the warning is taken down";
    const ULONGLONG t2 = t + kMin / 2 + 1000;   // the input
    CheckAwayAt(m_hWnd, t2 + kMin / 2, t2);
    EXPECT_EQ(g_nAwayWarnedAt, t2 + kMin / 2);
    CheckAwayAt(m_hWnd, t2 + kMin, t2);
    EXPECT_TRUE(Traced("Share: released after a time without input\n"));
    EXPECT_EQ(FakeCallCount("WUSBUnimportDevice"), 1);
    EXPECT_EQ(g_nReleased, RELEASE_AWAY);
    EXPECT_EQ(g_bWantConnect, 0);
    // A resume keeps a device given back until the user is here again.
    OnPowerBroadcast(m_hWnd, PBT_APMSUSPEND);
    OnPowerBroadcast(m_hWnd, PBT_APMRESUMEAUTOMATIC);
    EXPECT_EQ(g_bWantConnect, 0);
    Box(WUSB_STATUS_IN_USE, "PC-2");
    CheckAwayAt(m_hWnd, t2 + 2 * kMin, t2);
    EXPECT_EQ(g_bWantConnect, 0) << "no input since";
    CheckAwayAt(m_hWnd, t2 + 3 * kMin, g_nReleasedAt + 1);
    EXPECT_EQ(g_bWantConnect, 1);
    EXPECT_TRUE(Traced("Share: notice in use by another computer: " PRODUCT_NAME " is now in use by PC-2. It connects "
                       "here again when PC-2 releases it.\n"));
}

// A sharing notice holds the icon's periodic re-creation off until Windows reports it gone.
TEST_F(Sharing, ASharingNoticeIsNotCutShortByTheRecreation)
{
    g_bNoticeShown = 1;
    ShowShareNotice(m_hWnd, NOTICE_CONNECTED_AFTER_WAIT, "PC-1");
    g_nid.uFlags = 0;
    OnTimer(m_hWnd, IDT_SERVER_CHECK);
    EXPECT_EQ(g_nid.uFlags, 0u) << "not re-created";
    EXPECT_EQ(g_bNoticeShown, 1);
    EXPECT_STREQ(g_nid.szInfo, "Started") << "g_nid keeps the start-up notice's fields";
    // The start-up notice's end is not ours; the sharing notice's is.
    SendMessageA(m_hWnd, WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONTIMEOUT);
    OnTimer(m_hWnd, IDT_SERVER_CHECK);
    EXPECT_EQ(g_nid.uFlags, 7u);
    EXPECT_EQ(g_bNoticeShown, 0);
    // Word that never comes: the notice counts as gone after the longest showing.
    ShowShareNotice(m_hWnd, NOTICE_AWAY_WARNING, nullptr);
    g_nShareNoticeAt -= SHARE_NOTICE_MAX_MS;
    EXPECT_EQ(ShareNoticeShowing(), 0);
}

// Notices: free after another computer had it (with a click that connects), attached
// after a wait; none of them without the choice.
TEST_F(Sharing, NoticesOfFreeAndAttachedAfterAWait)
{
    struct Case { int bNotices; int bWish; ShareNotice expected; } const kCases[] = {
        {1, 0, NOTICE_FREE}, {1, 1, NOTICE_CONNECTED_AFTER_WAIT}, {0, 0, NOTICE_NONE}, {0, 1, NOTICE_NONE},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "notices " << c.bNotices << " wish " << c.bWish);
        ResetAgentState();
        InstallFakeWusb();
        UseProgramDir(m_dir.Path());
        LoadShareTexts(nullptr);
        AddTrayIcon(m_hWnd);
        g_bShareNotices = c.bNotices;
        g_bWantConnect = c.bWish;
        Box(WUSB_STATUS_IN_USE, "PC-1");
        Box(WUSB_STATUS_FREE, "");
        if (c.bWish)
            Attached();
        EXPECT_EQ(g_nShareNotice, c.expected);
        if (c.expected == NOTICE_FREE) {
            EXPECT_TRUE(Traced("Share: notice free: PC-1 has released the device. Click here to connect it to this "
                               "computer.\n"));
            SendMessageA(m_hWnd, WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK);
            EXPECT_EQ(g_bWantConnect, 1) << "the click connects";
            EXPECT_EQ(g_bImportPending, 1);
        }
        if (c.expected == NOTICE_CONNECTED_AFTER_WAIT) {
            EXPECT_TRUE(Traced("Share: notice connected after a wait: The device is now connected to this "
                               "computer; PC-1 had it before.\n"));
        }
        KillTimer(m_hWnd, IDT_DELAY_IMPORT);
    }
}

// An agent counts for the others only while it wants the device, and with a named
// box only for that box.
TEST_F(Sharing, TheSlotFollowsTheWishAndTheNamedBox)
{
    auto Exists = [](const char* pszName) {
        HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, pszName);
        if (h)
            CloseHandle(h);
        return h != nullptr;
    };
    const char* const kPlain = PRODUCT_AGENT_SLOT_PREFIX "0";
    const char* const kNamed = PRODUCT_AGENT_SLOT_PREFIX "10.0.0.7 0";
    SetWish(1);
    EXPECT_TRUE(Exists(kPlain));
    SetWish(0);
    EXPECT_FALSE(Exists(kPlain));
    m_dir.Write("Setting.ini", std::string(kListed) + "[server]\r\naddress=10.0.0.7\r\n");
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, g_szSettingIni);
    SetWish(1);
    Box(WUSB_STATUS_FREE, "");
    EXPECT_TRUE(Exists(kNamed));
    EXPECT_FALSE(Exists(kPlain));

    // Seen by an agent of that box, and by none of another.
    HANDLE hOther = CreateMutexA(nullptr, FALSE, PRODUCT_AGENT_SLOT_PREFIX "10.0.0.7 5");
    HoldAgentSlot(0, 0);
    EXPECT_EQ(OtherAgentUsing(FakeServerId("10.0.0.7")), 1);
    EXPECT_EQ(OtherAgentUsing(FakeServerId("10.0.0.8")), 0);
    EXPECT_EQ(OtherAgentRunning(), 0);
    CloseHandle(hOther);
}
