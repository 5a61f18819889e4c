// The diagnostics command in-process: verdicts and printing of hand-filled
// records (odd ones too), the verdict table, and the bounded wait.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "q5check/check_report.h"
#include "q5check/check_run.h"
#include <cstring>
#include <set>

namespace {

constexpr size_t kReportSize = 64 * 1024;
WUSB_ADDRESS g_address = {2, 0, {192, 168, 1, 10}, {}};

// A library that bound, started and listed one server with a free, accepted device.
void FillGoodFacts(CheckFacts* pFacts)
{
    memset(pFacts, 0, sizeof(*pFacts));
    lstrcpynA(pFacts->szFolder, "C:\\Box", sizeof(pFacts->szFolder));
    lstrcpynA(pFacts->bind.szPath, "C:\\Box\\wusb.dll", sizeof(pFacts->bind.szPath));
    pFacts->bind.nExportMask = WUSB_ALL_EXPORTS;
    pFacts->bLibraryFile = 1;
    pFacts->bOpenCalled = 1;
    lstrcpynA(pFacts->szComputerName, "THIS-PC", sizeof(pFacts->szComputerName));
    pFacts->nServerCount = 1;
    _WUSB_SERVER& server = pFacts->servers[0];
    lstrcpynA(server.szFirmware, "2.1.0.7", sizeof(server.szFirmware));
    server.nDeviceCount = 1;
    server.device.dwDeviceId = 1;
    server.device.wVendorId = 0x3A7C;
    server.device.wProductId = 0x0105;
    server.pAddress = &g_address;
    server.nStatus = WUSB_STATUS_FREE;
    lstrcpynA(pFacts->szSettingIni, "C:\\Box\\Setting.ini", sizeof(pFacts->szSettingIni));
    pFacts->nDeviceTypeCount = 1;
    pFacts->nMatch = 0;
    lstrcpynA(pFacts->szMatchValue, "VID_3A7C&PID_0105", sizeof(pFacts->szMatchValue));
}

std::string Line(const std::string& label, const std::string& text)
{
    return label + std::string(REPORT_LABEL_WIDTH - label.size(), ' ') + text + "\n";
}

}  // namespace

TEST(DiagnosticsReport, OddRecordsAreToldSafely)
{
    const std::string longName(WUSB_HOSTNAME_SIZE, 'A');
    const std::string longFirmware(WUSB_FIRMWARE_SIZE, 'F');
    struct Case {
        const char* pszName;
        void (*change)(CheckFacts*);
        Verdict verdict;
        std::string textLine;   // a line the text must hold
        std::string jsonPart;   // a piece the JSON must hold
    } cases[] = {
        {"null address", [](CheckFacts* p) { p->servers[0].pAddress = nullptr; }, VERDICT_NO_ADDRESS,
         Line("Server 1:", "no address (the agent treats it as no server)"), "{\"address\": null, \"web_page\": null"},
        {"host name without terminator",
         [](CheckFacts* p) {
             p->servers[0].nStatus = WUSB_STATUS_IN_USE;
             memset(p->servers[0].szHostName, 'A', sizeof(p->servers[0].szHostName));
         },
         VERDICT_IN_USE, Line("Verdict:", "in use by " + longName), "\"holder\": \"" + longName + "\", "},
        {"firmware without terminator",
         [](CheckFacts* p) { memset(p->servers[0].szFirmware, 'F', sizeof(p->servers[0].szFirmware)); },
         VERDICT_WOULD_ATTACH, Line("  firmware:", longFirmware), "\"firmware\": \"" + longFirmware + "\", "},
        {"control and code-page bytes in the holder",
         [](CheckFacts* p) {
             p->servers[0].nStatus = WUSB_STATUS_IN_USE;
             lstrcpynA(p->servers[0].szHostName, "BAD\x01\"PC\xE9", sizeof(p->servers[0].szHostName));
         },
         VERDICT_IN_USE, Line("Verdict:", "in use by BAD?\"PC\xE9"), "\"holder\": \"BAD\\u0001\\\"PC\\u00e9\""},
        {"status neither free nor in use", [](CheckFacts* p) { p->servers[0].nStatus = 7; }, VERDICT_UNKNOWN_STATUS,
         Line("  first device:", "id 1, VID_3A7C&PID_0105, status 7 (neither free nor in use)"), "\"status\": \"unknown\""},
        {"more servers than the list holds",
         [](CheckFacts* p) {
             p->nServerCount = 12;
             for (int i = 1; i < MAX_SERVERS; ++i)
                 p->servers[i] = p->servers[0];
         },
         VERDICT_WOULD_ATTACH, Line("Servers:", "12 listed (the first 8 shown); the agent acts on server 1, the first listed"),
         "\"servers_listed\": 12"},
        {"negative server count", [](CheckFacts* p) { p->nServerCount = -3; }, VERDICT_NO_SERVER,
         Line("Servers:", "0 listed"), "\"servers\": [],"},
        {"held here, filter not asked",
         [](CheckFacts* p) {
             p->servers[0].nStatus = WUSB_STATUS_IN_USE;
             lstrcpynA(p->servers[0].szHostName, "this-pc", sizeof(p->servers[0].szHostName));
             p->nMatch = -1;
         },
         VERDICT_ATTACHED_HERE, Line("  first device:", "id 1, VID_3A7C&PID_0105, in use by this-pc (this computer)"),
         "\"this_computer\": true"},
        {"connect on demand: no attach until Connect",
         [](CheckFacts* p) {
             p->bShareRead = 1;
             p->share.autoconnect = {0, SOURCE_SETTING_INI, ""};
         },
         VERDICT_ON_DEMAND,
         Line("Verdict:", "would not attach by itself (autoconnect=0 in Setting.ini): Connect in the tray menu attaches it"),
         "\"autoconnect\": {\"value\": 0, \"source\": \"setting_ini\", \"ignored\": null}"},
        {"the user's autoconnect in force, a malformed release_after ignored",
         [](CheckFacts* p) {
             p->bShareRead = 1;
             p->share.autoconnect = {1, SOURCE_USER, ""};
             p->share.releaseAfter = {0, SOURCE_BUILT_IN, "release_after=abc in Setting.ini"};
         },
         VERDICT_WOULD_ATTACH, Line("  ignored:", "release_after=abc in Setting.ini"),
         "\"release_after\": {\"value\": 0, \"source\": \"built_in\", \"ignored\": \"release_after=abc in Setting.ini\"}"},
    };
    static CheckFacts facts;
    static char szReport[kReportSize];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        FillGoodFacts(&facts);
        c.change(&facts);
        EXPECT_EQ(DecideVerdict(&facts), c.verdict);
        FormatReportText(&facts, szReport, sizeof(szReport));
        std::string text = szReport;
        EXPECT_NE(text.find(c.textLine), std::string::npos) << text;
        FormatReportJson(&facts, szReport, sizeof(szReport));
        std::string json = szReport;
        EXPECT_NE(json.find(c.jsonPart), std::string::npos) << json;
        EXPECT_EQ(json.substr(json.size() - 2), "}\n");
    }
}

TEST(DiagnosticsReport, CutReportStaysTerminated)
{
    static CheckFacts facts;
    FillGoodFacts(&facts);
    char szSmall[40];
    memset(szSmall, 'x', sizeof(szSmall));
    FormatReportText(&facts, szSmall, sizeof(szSmall));
    std::string full = Line("Program folder:", "C:\\Box") + Line("Library:", "C:\\Box\\wusb.dll");
    EXPECT_EQ(std::string(szSmall), full.substr(0, sizeof(szSmall) - 1));
}

TEST(DiagnosticsReport, EachVerdictHasItsOwnExitCodeAndKey)
{
    std::set<int> codes;
    std::set<std::string> keys;
    for (int i = 0; i < VERDICT_COUNT; ++i) {
        const VerdictInfo& info = GetVerdictInfo((Verdict)i);
        EXPECT_NE(info.nExitCode, EXIT_USAGE) << info.pszKey;
        codes.insert(info.nExitCode);
        keys.insert(info.pszKey);
    }
    EXPECT_EQ(codes.size(), (size_t)VERDICT_COUNT);
    EXPECT_EQ(keys.size(), (size_t)VERDICT_COUNT);
    EXPECT_EQ(GetVerdictInfo(VERDICT_WOULD_ATTACH).nExitCode, 0);
}

TEST(DiagnosticsWait, SilentLibraryEndsOnTimeAndANotifiedDeviceEndsAtOnce)
{
    ResetAgentState();
    InstallFakeWusb();   // never posts anything
    HWND hWnd = CreateCheckWindow();
    ASSERT_NE(hWnd, nullptr);
    static CheckFacts facts;
    memset(&facts, 0, sizeof(facts));
    WaitForServer(300, &facts);
    EXPECT_GE(facts.dwWaitedMs, 300u);
    EXPECT_EQ(facts.nNotifications, 0);
    EXPECT_EQ(facts.nServerCount, 0);
    EXPECT_EQ(FakeCallCount("WUSBGetServerList"), 1);

    FakeSetDevice(WUSB_STATUS_FREE, 0x3A7C, 0x0105, 1, "192.168.1.10", "");
    PostMessageA(hWnd, WM_WUSB_NOTIFY, 0, 0);
    WaitForServer(20000, &facts);
    EXPECT_EQ(facts.nNotifications, 1);
    EXPECT_EQ(facts.nServerCount, 1);
    EXPECT_LT(facts.dwWaitedMs, 20000u);
    EXPECT_EQ(FakeCallCount("WUSBGetServerList"), 2);
    EXPECT_EQ(FakeCallCount("WUSBImportDevice") + FakeCallCount("WUSBUnimportDevice"), 0);
}
