// The stand-in wusb.dll: exports, the server record it fills from a scenario,
// attaching and detaching, write-back and the journal.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "support/test_support.h"
#include "agent/wusb/wusb.h"
#include "sim/sim_state.h"
#include "sim/sim_world_lock.h"
#include "product.h"

namespace {

// The built DLL, as a Windows path (the tests run under Wine).
std::string SimDllPath()
{
    return DistDir() + "\\wusb.dll";
}

const unsigned int SERVER_ID_192_168_1_10 = 0x0A01A8C0;   // 167880896
// Two writes closer than this may carry the same last-write time.
const DWORD SAME_STAMP_GAP_MS = 30;

// Loads a fresh copy of the DLL for every test, with its scenario and journal in a
// temporary folder of the test's own.
class SimTest : public ::testing::Test {
public:   // the worker threads of a test call through the bound pointers
    void SetUp() override
    {
        m_scenario = m_dir.Path() + "\\scenario.ini";
        m_journal = m_dir.Path() + "\\journal.log";
        SetEnvironmentVariableA("WUSB_SIM_SCENARIO", m_scenario.c_str());
        SetEnvironmentVariableA("WUSB_SIM_JOURNAL", m_journal.c_str());
        ASSERT_TRUE(Bind(SimDllPath()));
    }

    bool Bind(const std::string& dllPath)
    {
        m_hModule = LoadLibraryA(dllPath.c_str());
        EXPECT_NE(m_hModule, nullptr) << dllPath;
        if (!m_hModule)
            return false;
        pfnOpen = (PFN_WUSBOpen)GetProcAddress(m_hModule, WUSB_EXPORT_OPEN);
        pfnClose = (PFN_WUSBVoid)GetProcAddress(m_hModule, WUSB_EXPORT_CLOSE);
        pfnManualScan = (PFN_WUSBVoid)GetProcAddress(m_hModule, WUSB_EXPORT_MANUAL_SCAN);
        pfnGetServerList = (PFN_WUSBGetServerList)GetProcAddress(m_hModule, WUSB_EXPORT_GET_SERVER_LIST);
        pfnImport = (PFN_WUSBServerDevice)GetProcAddress(m_hModule, WUSB_EXPORT_IMPORT_DEVICE);
        pfnUnimport = (PFN_WUSBServerDevice)GetProcAddress(m_hModule, WUSB_EXPORT_UNIMPORT_DEVICE);
        pfnDoPerformanceTest = (PFN_WUSBServerDevice)GetProcAddress(m_hModule, WUSB_EXPORT_DO_PERFORMANCE_TEST);
        pfnGetPerformanceResult = (PFN_WUSBServer)GetProcAddress(m_hModule, WUSB_EXPORT_GET_PERFORMANCE_RESULT);
        pszComputerName = (char*)GetProcAddress(m_hModule, WUSB_EXPORT_COMPUTER_NAME);
        return pfnOpen && pfnClose && pfnManualScan && pfnGetServerList && pfnImport && pfnUnimport &&
               pfnDoPerformanceTest && pfnGetPerformanceResult && pszComputerName;
    }

    void Unbind()
    {
        if (m_hModule) {
            pfnClose();
            FreeLibrary(m_hModule);
            m_hModule = nullptr;
        }
    }

    void TearDown() override
    {
        Unbind();
        SetEnvironmentVariableA("WUSB_SIM_SCENARIO", nullptr);
        SetEnvironmentVariableA("WUSB_SIM_JOURNAL", nullptr);
        SetEnvironmentVariableA(PRODUCT_SIM_COMPUTER_NAME_ENV, nullptr);
    }

    // Each scenario goes to a fresh file: the profile API may keep a file it read
    // within the file system's time-stamp granularity.
    void WriteScenario(const std::string& text)
    {
        std::string name = "scenario" + std::to_string(++m_nScenario) + ".ini";
        m_dir.Write(name, text);
        UseScenario(m_dir.Path() + "\\" + name);
    }

    void UseScenario(const std::string& path)
    {
        m_scenario = path;
        SetEnvironmentVariableA("WUSB_SIM_SCENARIO", m_scenario.c_str());
    }

    // Rewrites the scenario in place, as someone editing it would.
    void EditScenario(const std::string& text) const
    {
        Sleep(SAME_STAMP_GAP_MS);
        HANDLE h = CreateFileA(m_scenario.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD nWritten = 0;
        WriteFile(h, text.data(), (DWORD)text.size(), &nWritten, nullptr);
        CloseHandle(h);
    }

    std::string ScenarioValue(const char* pszSection, const char* pszKey) const
    {
        char buf[1024];
        GetPrivateProfileStringA(pszSection, pszKey, "<missing>", buf, sizeof(buf), m_scenario.c_str());
        return buf;
    }

    // Journal lines without their time stamps; a line without one is kept whole to fail loudly.
    std::vector<std::string> JournalCalls() const
    {
        std::vector<std::string> calls;
        std::string text = ReadFileText(m_journal);
        size_t nStart = 0;
        for (size_t nEnd; (nEnd = text.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2) {
            std::string line = text.substr(nStart, nEnd - nStart);
            size_t nSpace = line.find(' ');
            bool bStamped = nSpace != std::string::npos && nSpace > 0 &&
                            line.find_first_not_of("0123456789") == nSpace;
            calls.push_back(bStamped ? line.substr(nSpace + 1) : line);
        }
        if (nStart != text.size())
            calls.push_back("<unterminated>" + text.substr(nStart));
        return calls;
    }

    _WUSB_SERVER* ListedServer()
    {
        memset(m_servers, 0xCD, sizeof(m_servers));
        m_nListed = pfnGetServerList(m_servers, MAX_SERVERS);
        return &m_servers[0];
    }

    TempDir m_dir{"sim"};
    int m_nScenario = 0;
    std::string m_scenario, m_journal;
    HMODULE m_hModule = nullptr;
    _WUSB_SERVER m_servers[MAX_SERVERS];
    int m_nListed = -1;

    PFN_WUSBOpen pfnOpen = nullptr;
    PFN_WUSBVoid pfnClose = nullptr;
    PFN_WUSBVoid pfnManualScan = nullptr;
    PFN_WUSBGetServerList pfnGetServerList = nullptr;
    PFN_WUSBServerDevice pfnImport = nullptr;
    PFN_WUSBServerDevice pfnUnimport = nullptr;
    PFN_WUSBServerDevice pfnDoPerformanceTest = nullptr;
    PFN_WUSBServer pfnGetPerformanceResult = nullptr;
    char* pszComputerName = nullptr;
};

std::string HostName()
{
    char sz[256] = {};
    DWORD n = sizeof(sz);
    if (!GetComputerNameExA(ComputerNameDnsHostname, sz, &n)) {
        n = sizeof(sz);
        GetComputerNameA(sz, &n);
    }
    return sz;
}

bool AllBytes(const void* p, size_t n, unsigned char b)
{
    for (size_t i = 0; i < n; ++i)
        if (((const unsigned char*)p)[i] != b)
            return false;
    return true;
}

} // namespace

TEST_F(SimTest, ExportsTheNineDecoratedNamesAndTheHostName)
{
    // SetUp bound all nine; the name is this computer's until a scenario overrides it.
    EXPECT_FALSE(HostName().empty());
    EXPECT_EQ(std::string(pszComputerName), HostName());
    ListedServer();
    EXPECT_EQ(std::string(pszComputerName), HostName());
    WriteScenario("[library]\r\ncomputer_name=DEMO-PC\r\n");
    ListedServer();
    EXPECT_STREQ(pszComputerName, "DEMO-PC");
    WriteScenario("[library]\r\ncomputer_name=\r\n");
    ListedServer();
    EXPECT_EQ(std::string(pszComputerName), HostName());
}

namespace {
struct RecordCase {
    const char* pszName;
    const char* pszScenario;
    int nListed;
    const char* pszFirmware;
    int nDeviceCount;
    unsigned int dwDeviceId;
    unsigned short wVid, wPid;
    unsigned int dwServerId;
    int nStatus;
    const char* pszHolder;
    int nBitrate;
};

// The default world's record: what a scenario that sets nothing sound gives.
RecordCase DefaultWorld(const char* pszName, const char* pszScenario)
{
    return {pszName, pszScenario, 1, "2.1.0.7", 1, 1, 0x3A7C, 0x0105, SERVER_ID_192_168_1_10, 1, "", 1000};
}

const RecordCase kRecordCases[] = {
    DefaultWorld("missing file", nullptr),
    DefaultWorld("empty file", ""),
    DefaultWorld("malformed numbers", "[library]\r\nopen_result=x\r\n[server]\r\npresent=yes\r\ndevice_count=abc\r\n"
                                      "device_id=-1\r\nvid=zz\r\npid=0x10000\r\nstatus=1x\r\nbitrate=1e3\r\n"),
    DefaultWorld("numbers beyond 32 bits",
                 "[server]\r\ndevice_count=99999999999\r\ndevice_id=4294967296\r\nstatus=-2147483649\r\n"
                 "bitrate=00000000000000000000000000000000000000000000000000000000000000000000007\r\n"),
    DefaultWorld("address octet above 255", "[server]\r\naddress=300.1.1.1\r\n"),
    DefaultWorld("address with three parts", "[server]\r\naddress=10.1.2\r\n"),
    DefaultWorld("address with five parts", "[server]\r\naddress=10.1.2.3.4\r\n"),
    DefaultWorld("address with an empty part", "[server]\r\naddress=10..2.3\r\n"),
    DefaultWorld("address as a name", "[server]\r\naddress=server.local\r\n"),
    DefaultWorld("address with a long octet", "[server]\r\naddress=0010.1.2.3\r\n"),
    {"every key set",
     "[server]\r\npresent=1\r\nfirmware=3.0.1.2\r\ndevice_count=2\r\ndevice_id=77\r\nvid=0x1234\r\npid=0xABCD\r\n"
     "address=10.0.0.5\r\nstatus=1\r\nholder=\r\nbitrate=250\r\n",
     1, "3.0.1.2", 2, 77, 0x1234, 0xABCD, 0x0500000A, 1, "", 250},
    {"in use by a named holder", "[server]\r\nstatus=3\r\nholder=OTHER-PC\r\n", 1, "2.1.0.7", 1, 1, 0x3A7C, 0x0105,
     SERVER_ID_192_168_1_10, 3, "OTHER-PC", 1000},
    {"no device leaves the device record zero", "[server]\r\ndevice_count=0\r\ndevice_id=5\r\n", 1, "2.1.0.7", 0, 0,
     0, 0, SERVER_ID_192_168_1_10, 1, "", 1000},
    {"negative device count is passed on", "[server]\r\ndevice_count=-2\r\n", 1, "2.1.0.7", -2, 0, 0, 0,
     SERVER_ID_192_168_1_10, 1, "", 1000},
    {"hex ids without 0x, odd status passed through",
     "[server]\r\nvid=3a7d\r\npid=0X0001\r\nstatus=7\r\ndevice_id=4294967295\r\nbitrate=-5\r\n", 1, "2.1.0.7", 1,
     4294967295u, 0x3A7D, 0x0001, SERVER_ID_192_168_1_10, 7, "", -5},
    {"blanks around numbers and address",
     "[server]\r\ndevice_id=  12  \r\naddress= 172.16.0.1 \r\nstatus= 3\r\n", 1, "2.1.0.7", 1, 12, 0x3A7C, 0x0105,
     0x010010AC, 3, "", 1000},
    {"empty firmware stays empty", "[server]\r\nfirmware=\r\n", 1, "", 1, 1, 0x3A7C, 0x0105, SERVER_ID_192_168_1_10, 1,
     "", 1000},
};
} // namespace

TEST_F(SimTest, FillsRecordZeroAtItsOffsets)
{
    for (const RecordCase& c : kRecordCases) {
        SCOPED_TRACE(c.pszName);
        if (c.pszScenario)
            WriteScenario(c.pszScenario);
        else
            UseScenario(m_dir.Path() + "\\missing.ini");
        const _WUSB_SERVER* s = ListedServer();
        const unsigned char* pb = (const unsigned char*)s;
        ASSERT_EQ(m_nListed, c.nListed);
        EXPECT_STREQ((const char*)pb + 180, c.pszFirmware);
        EXPECT_EQ(*(const int*)(pb + 308), c.nDeviceCount);
        EXPECT_EQ(*(const unsigned int*)(pb + 316), c.dwDeviceId);
        EXPECT_EQ(*(const unsigned short*)(pb + 328), c.wVid);
        EXPECT_EQ(*(const unsigned short*)(pb + 330), c.wPid);
        const unsigned char* pAddress = *(const unsigned char* const*)(pb + 472);
        ASSERT_NE(pAddress, nullptr);
        EXPECT_EQ(*(const unsigned int*)(pAddress + 4), c.dwServerId);
        EXPECT_EQ(*(const short*)pAddress, 2);   // AF_INET, as a sockaddr_in
        EXPECT_EQ(*(const int*)(pb + 480), c.nStatus);
        EXPECT_STREQ((const char*)pb + 484, c.pszHolder);
        // Everything else of record 0 was zeroed; the other records were not touched.
        EXPECT_TRUE(AllBytes(pb, 180, 0));
        EXPECT_TRUE(AllBytes(pb + 180 + strlen(c.pszFirmware), 128 - strlen(c.pszFirmware), 0));
        EXPECT_TRUE(AllBytes(pb + 332, 140, 0));
        EXPECT_TRUE(AllBytes(pb + 484 + strlen(c.pszHolder), 540 - strlen(c.pszHolder), 0));
        EXPECT_TRUE(AllBytes(&m_servers[1], sizeof(_WUSB_SERVER) * (MAX_SERVERS - 1), 0xCD));
        EXPECT_EQ(pfnGetPerformanceResult(c.dwServerId), c.nBitrate);
    }
}

TEST_F(SimTest, ServerIdOfTheDefaultAddressIsItsFourBytes)
{
    const _WUSB_SERVER* s = ListedServer();
    ASSERT_EQ(m_nListed, 1);
    const WUSB_ADDRESS* pAddress = s->pAddress;
    EXPECT_EQ(pAddress->abAddr[0], 192);
    EXPECT_EQ(pAddress->abAddr[1], 168);
    EXPECT_EQ(pAddress->abAddr[2], 1);
    EXPECT_EQ(pAddress->abAddr[3], 10);
    EXPECT_EQ(*(const unsigned int*)pAddress->abAddr, 0x0A01A8C0u);
    // The record lives in the library: it is the same one at every call.
    ListedServer();
    EXPECT_EQ(m_servers[0].pAddress, pAddress);
}

TEST_F(SimTest, OverlongTextsAreCutToTheirFields)
{
    std::string firmware(300, 'f'), holder(1000, 'h'), name(400, 'n');
    WriteScenario("[library]\r\ncomputer_name=" + name + "\r\n[server]\r\nfirmware=" + firmware +
                  "\r\nstatus=3\r\nholder=" + holder + "\r\n");
    const _WUSB_SERVER* s = ListedServer();
    ASSERT_EQ(m_nListed, 1);
    EXPECT_EQ(std::string(s->szFirmware), std::string(WUSB_FIRMWARE_SIZE - 1, 'f'));
    EXPECT_EQ(std::string(s->szHostName), std::string(WUSB_HOSTNAME_SIZE - 1, 'h'));
    EXPECT_EQ(std::string(pszComputerName), std::string(255, 'n'));
    EXPECT_EQ(s->nStatus, WUSB_STATUS_IN_USE);
}

TEST_F(SimTest, AbsentServerOrNoRoomWritesNothing)
{
    WriteScenario("[server]\r\npresent=0\r\n");
    ListedServer();
    EXPECT_EQ(m_nListed, 0);
    EXPECT_TRUE(AllBytes(m_servers, sizeof(m_servers), 0xCD));

    WriteScenario("[server]\r\npresent=1\r\n");
    for (int nCapacity : {0, -1, INT_MIN}) {
        memset(m_servers, 0xCD, sizeof(m_servers));
        EXPECT_EQ(pfnGetServerList(m_servers, nCapacity), 0) << nCapacity;
        EXPECT_TRUE(AllBytes(m_servers, sizeof(m_servers), 0xCD)) << nCapacity;
    }
    EXPECT_EQ(pfnGetServerList(nullptr, MAX_SERVERS), 0);
}

namespace {
enum SimCall { CALL_IMPORT, CALL_UNIMPORT };
struct DeviceChangeCase {
    const char* pszName;
    const char* pszServer;   // [server] keys before the call
    SimCall call;
    unsigned int dwServerId, dwDeviceId;
    bool bDone;
    const char* pszStatus;   // the file's status and holder after the call
    const char* pszHolder;
};

// computer_name is SIM-HOST in every case.
const DeviceChangeCase kDeviceChangeCases[] = {
    {"import a free device", "status=1\r\nholder=\r\n", CALL_IMPORT, SERVER_ID_192_168_1_10, 1, true, "3", "SIM-HOST"},
    {"import with another server id", "status=1\r\nholder=\r\n", CALL_IMPORT, 0x0B01A8C0, 1, false, "1", ""},
    {"import with another device id", "status=1\r\nholder=\r\n", CALL_IMPORT, SERVER_ID_192_168_1_10, 2, false, "1",
     ""},
    {"import a device held by another host", "status=3\r\nholder=OTHER-PC\r\n", CALL_IMPORT, SERVER_ID_192_168_1_10, 1,
     false, "3", "OTHER-PC"},
    {"import a device already held here", "status=3\r\nholder=SIM-HOST\r\n", CALL_IMPORT, SERVER_ID_192_168_1_10, 1,
     false, "3", "SIM-HOST"},
    {"import a device of odd status", "status=7\r\nholder=\r\n", CALL_IMPORT, SERVER_ID_192_168_1_10, 1, false, "7",
     ""},
    {"import from an absent server", "present=0\r\nstatus=1\r\nholder=\r\n", CALL_IMPORT, SERVER_ID_192_168_1_10, 1,
     false, "1", ""},
    {"import from a server without devices", "device_count=0\r\nstatus=1\r\nholder=\r\n", CALL_IMPORT,
     SERVER_ID_192_168_1_10, 1, false, "1", ""},
    {"unimport a device held here", "status=3\r\nholder=SIM-HOST\r\n", CALL_UNIMPORT, SERVER_ID_192_168_1_10, 1, true,
     "1", ""},
    {"unimport ignores the case of the holder", "status=3\r\nholder=sim-host\r\n", CALL_UNIMPORT,
     SERVER_ID_192_168_1_10, 1, true, "1", ""},
    {"unimport a device held by another host", "status=3\r\nholder=OTHER-PC\r\n", CALL_UNIMPORT,
     SERVER_ID_192_168_1_10, 1, false, "3", "OTHER-PC"},
    {"unimport a free device", "status=1\r\nholder=\r\n", CALL_UNIMPORT, SERVER_ID_192_168_1_10, 1, false, "1", ""},
    {"unimport with another server id", "status=3\r\nholder=SIM-HOST\r\n", CALL_UNIMPORT, 1, 1, false, "3",
     "SIM-HOST"},
    {"unimport with another device id", "status=3\r\nholder=SIM-HOST\r\n", CALL_UNIMPORT, SERVER_ID_192_168_1_10, 0,
     false, "3", "SIM-HOST"},
};
} // namespace

TEST_F(SimTest, ImportAndUnimportFollowIdsStatusAndHolder)
{
    for (const DeviceChangeCase& c : kDeviceChangeCases) {
        SCOPED_TRACE(c.pszName);
        WriteScenario(std::string("[library]\r\ncomputer_name=SIM-HOST\r\n[server]\r\nfirmware=9.9\r\n") + c.pszServer +
                      "bitrate=77\r\n");
        int nResult = c.call == CALL_IMPORT ? pfnImport(c.dwServerId, c.dwDeviceId)
                                            : pfnUnimport(c.dwServerId, c.dwDeviceId);
        EXPECT_EQ(nResult == 0, c.bDone) << nResult;
        EXPECT_EQ(ScenarioValue("server", "status"), c.pszStatus);
        EXPECT_EQ(ScenarioValue("server", "holder"), c.pszHolder);
        // The write-back keeps every other key.
        EXPECT_EQ(ScenarioValue("library", "computer_name"), "SIM-HOST");
        EXPECT_EQ(ScenarioValue("server", "firmware"), "9.9");
        EXPECT_EQ(ScenarioValue("server", "bitrate"), "77");
        // And the next list shows the new state.
        const _WUSB_SERVER* s = ListedServer();
        if (m_nListed == 1) {
            EXPECT_EQ(std::to_string(s->nStatus), c.pszStatus);
            EXPECT_STREQ(s->szHostName, c.pszHolder);
        }
    }
}

TEST_F(SimTest, ImportWithoutAScenarioFileCreatesIt)
{
    UseScenario(m_dir.Path() + "\\created.ini");
    EXPECT_EQ(pfnImport(SERVER_ID_192_168_1_10, 1), 0);
    EXPECT_EQ(ScenarioValue("server", "status"), "3");
    EXPECT_EQ(ScenarioValue("server", "holder"), HostName());
    const _WUSB_SERVER* s = ListedServer();
    EXPECT_EQ(s->nStatus, WUSB_STATUS_IN_USE);
    EXPECT_EQ(std::string(s->szHostName), HostName());
    EXPECT_EQ(pfnUnimport(SERVER_ID_192_168_1_10, 1), 0);
    EXPECT_EQ(ScenarioValue("server", "status"), "1");
    EXPECT_EQ(ScenarioValue("server", "holder"), "");
}

TEST_F(SimTest, JournalHasOneExactLinePerCall)
{
    WriteScenario("[server]\r\nbitrate=1000\r\n");
    EXPECT_EQ(pfnOpen(nullptr, WM_WUSB_NOTIFY, 3000, 0), 0);
    EXPECT_EQ(pfnGetServerList(m_servers, MAX_SERVERS), 1);
    EXPECT_EQ(pfnDoPerformanceTest(SERVER_ID_192_168_1_10, 1024), 0);
    EXPECT_EQ(pfnGetPerformanceResult(SERVER_ID_192_168_1_10), 1000);
    EXPECT_EQ(pfnImport(SERVER_ID_192_168_1_10, 1), 0);
    EXPECT_NE(pfnImport(SERVER_ID_192_168_1_10, 1), 0);
    EXPECT_EQ(pfnManualScan(), 0);
    EXPECT_EQ(pfnUnimport(SERVER_ID_192_168_1_10, 1), 0);
    EXPECT_EQ(pfnGetServerList(m_servers, 0), 0);
    EXPECT_EQ(pfnClose(), 0);
    const std::vector<std::string> expected = {
        "WUSBOpen(32868,3000,0) = 0",
        "WUSBGetServerList(8) = 1",
        "WUSBDoPerformanceTest(167880896,1024) = 0",
        "WUSBGetPerformanceResult(167880896) = 1000",
        "WUSBImportDevice(167880896,1) = 0",
        "WUSBImportDevice(167880896,1) = " + std::to_string(SIM_ERR_STATE),
        "WUSBManualScan() = 0",
        "WUSBUnimportDevice(167880896,1) = 0",
        "WUSBGetServerList(0) = 0",
        "WUSBClose() = 0",
    };
    EXPECT_EQ(JournalCalls(), expected);

    // Stamps are GetTickCount64 milliseconds, in order.
    std::string text = ReadFileText(m_journal);
    unsigned long long nPrev = 0;
    for (size_t nPos = 0; nPos < text.size(); nPos = text.find("\r\n", nPos) + 2) {
        unsigned long long nStamp = strtoull(text.c_str() + nPos, nullptr, 10);
        EXPECT_GE(nStamp, nPrev);
        EXPECT_LE(nStamp, GetTickCount64());
        nPrev = nStamp;
    }
}

TEST_F(SimTest, UnsignedIdsAreJournalledUnsigned)
{
    pfnImport(0xFFFFFFFFu, 0x80000000u);
    pfnDoPerformanceTest(0xFFFFFFFFu, 0);
    const std::vector<std::string> expected = {
        "WUSBImportDevice(4294967295,2147483648) = " + std::to_string(SIM_ERR_NO_MATCH),
        "WUSBDoPerformanceTest(4294967295,0) = 0",
    };
    EXPECT_EQ(JournalCalls(), expected);
}

TEST_F(SimTest, ScenarioAndJournalDefaultToFilesBesideTheDll)
{
    // A copy of the DLL in a folder of its own, with its own scenario there.
    Unbind();
    DeleteFileA(m_journal.c_str());
    m_dir.Write("prog\\wusb_sim.ini", "[server]\r\nbitrate=4321\r\n");
    std::string folder = m_dir.Path() + "\\prog";
    ASSERT_TRUE(CopyFileA(SimDllPath().c_str(), (folder + "\\wusb.dll").c_str(), FALSE));
    SetEnvironmentVariableA("WUSB_SIM_SCENARIO", nullptr);
    SetEnvironmentVariableA("WUSB_SIM_JOURNAL", nullptr);
    ASSERT_TRUE(Bind(folder + "\\wusb.dll"));
    EXPECT_EQ(pfnGetPerformanceResult(SERVER_ID_192_168_1_10), 4321);
    Unbind();
    std::string text = ReadFileText(folder + "\\" PRODUCT_SIM_JOURNAL);
    EXPECT_NE(text.find(" WUSBGetPerformanceResult(167880896) = 4321\r\n"), std::string::npos) << text;
    EXPECT_EQ(ReadFileText(m_journal), "");
}

// Points TMP and TEMP at a folder of the test while it lives.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::string& folder)
    {
        GetEnvironmentVariableA("TMP", m_szTmp, sizeof(m_szTmp));
        GetEnvironmentVariableA("TEMP", m_szTemp, sizeof(m_szTemp));
        CreateDirectoryA(folder.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", folder.c_str());
        SetEnvironmentVariableA("TEMP", folder.c_str());
    }
    ~TempFolderOverride()
    {
        SetEnvironmentVariableA("TMP", m_szTmp[0] ? m_szTmp : nullptr);
        SetEnvironmentVariableA("TEMP", m_szTemp[0] ? m_szTemp : nullptr);
    }
private:
    char m_szTmp[MAX_PATH] = {}, m_szTemp[MAX_PATH] = {};
};

// A program folder the user cannot write (Program Files): the journal goes to the
// user's temporary folder instead. A folder named like the journal stands for it.
TEST_F(SimTest, JournalGoesToTheTemporaryFolderWhereTheDllsFolderCannotBeWritten)
{
    Unbind();
    m_dir.Write("prog\\wusb_sim.ini", "[server]\r\nbitrate=4321\r\n");
    const std::string folder = m_dir.Path() + "\\prog";
    ASSERT_TRUE(CreateDirectoryA((folder + "\\" PRODUCT_SIM_JOURNAL).c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(SimDllPath().c_str(), (folder + "\\wusb.dll").c_str(), FALSE));
    const std::string temp = m_dir.Path() + "\\temp";
    {
        TempFolderOverride tempFolder(temp);
        SetEnvironmentVariableA("WUSB_SIM_SCENARIO", nullptr);
        SetEnvironmentVariableA("WUSB_SIM_JOURNAL", nullptr);
        if (Bind(folder + "\\wusb.dll")) {
            EXPECT_EQ(pfnGetPerformanceResult(SERVER_ID_192_168_1_10), 4321);
        }
        Unbind();
    }
    std::string text = ReadFileText(temp + "\\" PRODUCT_SIM_JOURNAL);
    EXPECT_NE(text.find(" WUSBGetPerformanceResult(167880896) = 4321\r\n"), std::string::npos) << text;
    RemoveDirectoryA((folder + "\\" PRODUCT_SIM_JOURNAL).c_str());
}

// A scenario that cannot be written moves to the temporary folder at the first attach,
// which then succeeds and is remembered there.
TEST_F(SimTest, AnUnwritableScenarioMovesToTheTemporaryFolder)
{
    const std::string temp = m_dir.Path() + "\\temp2";
    TempFolderOverride tempFolder(temp);
    UseScenario(m_dir.Path() + "\\no such folder\\scenario.ini");
    EXPECT_EQ(pfnImport(SERVER_ID_192_168_1_10, 1), 0);
    char szStatus[16] = "";
    GetPrivateProfileStringA("server", "status", "", szStatus, sizeof(szStatus), (temp + "\\wusb_sim.ini").c_str());
    EXPECT_STREQ(szStatus, "3");
    EXPECT_EQ(ListedServer()->nStatus, WUSB_STATUS_IN_USE);
    // Another process of the user (q5check beside the agent) loads the library afresh
    // and reads the same world: the moved copy.
    Unbind();
    ASSERT_EQ(GetModuleHandleA(SimDllPath().c_str()), nullptr) << "loaded afresh, with nothing remembered";
    ASSERT_TRUE(Bind(SimDllPath()));
    EXPECT_EQ(ListedServer()->nStatus, WUSB_STATUS_IN_USE);
}

// Several boxes: listed in the order the scenario gives, each attached by its own id.
TEST_F(SimTest, SeveralServersAreListedInTheScenariosOrder)
{
    const unsigned int kSecondId = 0x1401A8C0;   // 192.168.1.20
    WriteScenario("[library]\r\norder=2,1\r\n[server2]\r\naddress=192.168.1.20\r\ndevice_id=2\r\nbitrate=77\r\n");
    ListedServer();
    ASSERT_EQ(m_nListed, 2);
    EXPECT_EQ(*(const unsigned int*)m_servers[0].pAddress->abAddr, kSecondId);
    EXPECT_EQ(*(const unsigned int*)m_servers[1].pAddress->abAddr, (unsigned int)SERVER_ID_192_168_1_10);
    EXPECT_EQ(pfnGetPerformanceResult(kSecondId), 77);
    EXPECT_NE(pfnImport(kSecondId, 1), 0) << "device 1 is the other box's";
    EXPECT_EQ(pfnImport(kSecondId, 2), 0);
    EXPECT_EQ(ScenarioValue("server2", "status"), "3");
    EXPECT_EQ(ScenarioValue("server", "status"), "<missing>");
    EditScenario("[library]\r\norder=1\r\n[server2]\r\npresent=0\r\n");
    ListedServer();
    EXPECT_EQ(m_nListed, 1);
}

TEST_F(SimTest, CallsFromTwoThreadsGiveWholeLines)
{
    const int kCallsPerThread = 40;
    struct Worker {
        static DWORD WINAPI Run(LPVOID p)
        {
            SimTest* self = (SimTest*)p;
            _WUSB_SERVER servers[MAX_SERVERS];
            for (int i = 0; i < kCallsPerThread; ++i) {
                self->pfnGetServerList(servers, MAX_SERVERS);
                if (servers[0].pAddress == nullptr)
                    return 1;
            }
            return 0;
        }
    };
    HANDLE ahThreads[2];
    for (HANDLE& h : ahThreads)
        h = CreateThread(nullptr, 0, Worker::Run, this, 0, nullptr);
    for (int i = 0; i < kCallsPerThread; ++i) {
        pfnImport(SERVER_ID_192_168_1_10, 1);
        pfnUnimport(SERVER_ID_192_168_1_10, 1);
    }
    WaitForMultipleObjects(2, ahThreads, TRUE, INFINITE);
    for (HANDLE h : ahThreads) {
        DWORD dwExit = 99;
        GetExitCodeThread(h, &dwExit);
        EXPECT_EQ(dwExit, 0u);
        CloseHandle(h);
    }
    std::vector<std::string> calls = JournalCalls();
    ASSERT_EQ(calls.size(), (size_t)(4 * kCallsPerThread));
    int nList = 0, nImport = 0, nUnimport = 0;
    for (const std::string& call : calls) {
        nList += call == "WUSBGetServerList(8) = 1";
        nImport += call == "WUSBImportDevice(167880896,1) = 0";
        nUnimport += call == "WUSBUnimportDevice(167880896,1) = 0";
    }
    // Each import found the device free and each unimport found it held here.
    EXPECT_EQ(nList, 2 * kCallsPerThread);
    EXPECT_EQ(nImport, kCallsPerThread);
    EXPECT_EQ(nUnimport, kCallsPerThread);
}

// ---- Several computers sharing one world ---------------------------------------
TEST_F(SimTest, EachProcessMayNameItsOwnComputer)
{
    const std::string overlong(SIM_COMPUTER_NAME_SIZE + 10, 'N');
    const struct {
        const char* pszName;
        const char* pszOwn;     // this process's variable; null: unset
        const char* pszWorld;   // [library] computer_name
        std::string expected;
    } kCases[] = {
        {"own name over the world's", "PC-2", "OFFICE-PC", "PC-2"},
        {"own name, world names none", "PC-3", "", "PC-3"},
        {"empty own name: the world's", "", "OFFICE-PC", "OFFICE-PC"},
        {"overlong own name is ignored, not cut", overlong.c_str(), "OFFICE-PC", "OFFICE-PC"},
        {"unset: the host name", nullptr, "", HostName()},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        SetEnvironmentVariableA(PRODUCT_SIM_COMPUTER_NAME_ENV, c.pszOwn);
        WriteScenario(std::string("[library]\r\ncomputer_name=") + c.pszWorld + "\r\n");
        ListedServer();
        EXPECT_EQ(std::string(pszComputerName), c.expected);
        // The box records the device's holder by that name.
        EXPECT_EQ(pfnImport(SERVER_ID_192_168_1_10, 1), 0);
        EXPECT_EQ(ScenarioValue("server", "holder"), c.expected);
    }
}

namespace {
// Another computer's step on the shared world: it holds the world's lock, may take the
// device meanwhile, then lets go.
struct OtherComputer {
    const char* pszName;
    DWORD dwHoldMs;
    bool bTakesDevice;
    int nImportResult;         // what this computer's import, waiting meanwhile, returns
    const char* pszHolder;     // the holder the world then names
};

struct ImportThread {
    SimTest* pTest;
    int nResult;
    static DWORD WINAPI Run(LPVOID p)
    {
        ImportThread* self = (ImportThread*)p;
        self->nResult = self->pTest->pfnImport(SERVER_ID_192_168_1_10, 1);
        return 0;
    }
};
}  // namespace

TEST_F(SimTest, AnImportWaitsForAnotherComputersStepOnTheWorld)
{
    const OtherComputer kCases[] = {
        {"the other takes the device meanwhile", 300, true, SIM_ERR_STATE, "OTHER-PC"},
        {"the other leaves it free", 300, false, SIM_OK, "THIS-PC"},
        {"the other holds on past the wait", SIM_WORLD_LOCK_WAIT_MS + 2000, false, SIM_ERR_BUSY, ""},
    };
    SetEnvironmentVariableA(PRODUCT_SIM_COMPUTER_NAME_ENV, "THIS-PC");
    for (const OtherComputer& c : kCases) {
        SCOPED_TRACE(c.pszName);
        WriteScenario("[server]\r\nstatus=1\r\nholder=\r\n");
        // A handle of its own on the world file, as another process's would be.
        HANDLE hWorld = CreateFileA(m_scenario.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(hWorld, INVALID_HANDLE_VALUE);
        OVERLAPPED ov = {};
        ov.Offset = SIM_WORLD_LOCK_OFFSET;
        ASSERT_TRUE(LockFileEx(hWorld, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov));
        ImportThread import = {this, -1};
        HANDLE hThread = CreateThread(nullptr, 0, ImportThread::Run, &import, 0, nullptr);
        Sleep(c.dwHoldMs);
        if (c.bTakesDevice) {
            WritePrivateProfileStringA("server", "status", "3", m_scenario.c_str());
            WritePrivateProfileStringA("server", "holder", "OTHER-PC", m_scenario.c_str());
        }
        UnlockFileEx(hWorld, 0, 1, 0, &ov);
        CloseHandle(hWorld);
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
        EXPECT_EQ(import.nResult, c.nImportResult);
        EXPECT_EQ(ScenarioValue("server", "holder"), c.pszHolder);
    }
}

// ---- Notifications -----------------------------------------------------------
namespace {
int g_nNotifications = 0;

LRESULT CALLBACK SinkWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_WUSB_NOTIFY) {
        ++g_nNotifications;
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// A message-only window standing in for the agent's main window.
HWND CreateSinkWindow()
{
    static const char kClass[] = "SimNotifySink";
    static bool bRegistered = false;
    if (!bRegistered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = SinkWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClass;
        RegisterClassA(&wc);
        bRegistered = true;
    }
    g_nNotifications = 0;
    return CreateWindowExA(0, kClass, kClass, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Pumps until nWant notifications have come or nMaxMs has passed; the count so far.
int WaitForNotifications(int nWant, DWORD nMaxMs)
{
    for (DWORD nWaited = 0; g_nNotifications < nWant && nWaited < nMaxMs; nWaited += 20)
        PumpMessages(20);
    return g_nNotifications;
}

// Long enough for several polls of the watcher.
const DWORD QUIET_MS = 400;
// Far beyond any poll; only ever waited out when a test is failing.
const DWORD NOTIFY_BOUND_MS = 5000;

class SimNotifyTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        m_hSink = CreateSinkWindow();
        ASSERT_NE(m_hSink, nullptr);
    }
    void TearDown() override
    {
        SimTest::TearDown();
        DestroyWindow(m_hSink);
    }
    int JournalCount(const std::string& call) const
    {
        int n = 0;
        for (const std::string& c : JournalCalls())
            n += c == call;
        return n;
    }
    HWND m_hSink = nullptr;
};
} // namespace

TEST_F(SimNotifyTest, ManualScanAndOutsideChangesNotify)
{
    WriteScenario("[server]\r\nstatus=1\r\n");
    ASSERT_EQ(pfnOpen(m_hSink, WM_WUSB_NOTIFY, 3000, 0), 0);
    PumpMessages(QUIET_MS);
    EXPECT_EQ(g_nNotifications, 0);   // an unchanged file is no news

    EXPECT_EQ(pfnManualScan(), 0);
    EXPECT_EQ(WaitForNotifications(1, NOTIFY_BOUND_MS), 1);
    PumpMessages(QUIET_MS);
    EXPECT_EQ(g_nNotifications, 1);

    // The watcher reloads by itself: the exported name changes without a list call.
    EditScenario("[library]\r\ncomputer_name=WATCHED-PC\r\n[server]\r\nstatus=3\r\nholder=WATCHED-PC\r\n");
    EXPECT_GE(WaitForNotifications(2, NOTIFY_BOUND_MS), 2);
    EXPECT_STREQ(pszComputerName, "WATCHED-PC");
    PumpMessages(QUIET_MS);
    EXPECT_EQ(JournalCount("notify"), g_nNotifications);

    // Removing the file is a change too.
    int nBefore = g_nNotifications;
    DeleteFileA(m_scenario.c_str());
    EXPECT_GT(WaitForNotifications(nBefore + 1, NOTIFY_BOUND_MS), nBefore);
}

TEST_F(SimNotifyTest, OwnWriteBackNotifiesOnce)
{
    WriteScenario("[library]\r\ncomputer_name=SIM-HOST\r\n");
    ASSERT_EQ(pfnOpen(m_hSink, WM_WUSB_NOTIFY, 3000, 0), 0);
    EXPECT_EQ(pfnImport(SERVER_ID_192_168_1_10, 1), 0);
    EXPECT_EQ(WaitForNotifications(1, NOTIFY_BOUND_MS), 1);
    PumpMessages(QUIET_MS);
    EXPECT_EQ(g_nNotifications, 1);   // the watcher did not count the write-back
    EXPECT_NE(pfnImport(SERVER_ID_192_168_1_10, 1), 0);
    EXPECT_EQ(pfnUnimport(SERVER_ID_192_168_1_10, 1), 0);
    EXPECT_EQ(WaitForNotifications(2, NOTIFY_BOUND_MS), 2);
    PumpMessages(QUIET_MS);
    EXPECT_EQ(g_nNotifications, 2);   // a refused call tells nothing
    const std::vector<std::string> expected = {
        "WUSBOpen(32868,3000,0) = 0",
        "WUSBImportDevice(167880896,1) = 0",
        "notify",
        "WUSBImportDevice(167880896,1) = " + std::to_string(SIM_ERR_STATE),
        "WUSBUnimportDevice(167880896,1) = 0",
        "notify",
    };
    EXPECT_EQ(JournalCalls(), expected);
}

TEST_F(SimNotifyTest, FailedOpenStartsNothing)
{
    WriteScenario("[library]\r\nopen_result=7\r\n");
    EXPECT_EQ(pfnOpen(m_hSink, WM_WUSB_NOTIFY, 3000, 0), 7);
    pfnManualScan();
    EditScenario("[library]\r\nopen_result=7\r\n[server]\r\nstatus=3\r\n");
    PumpMessages(QUIET_MS);
    EXPECT_EQ(g_nNotifications, 0);
    const std::vector<std::string> expected = {"WUSBOpen(32868,3000,0) = 7", "WUSBManualScan() = 0"};
    EXPECT_EQ(JournalCalls(), expected);
}

TEST_F(SimNotifyTest, CloseStopsTheWatcherAndIsSafeTwice)
{
    WriteScenario("[server]\r\nstatus=1\r\n");
    EXPECT_EQ(pfnClose(), 0);   // never opened
    ASSERT_EQ(pfnOpen(m_hSink, WM_WUSB_NOTIFY, 3000, 0), 0);
    EXPECT_EQ(pfnClose(), 0);
    EXPECT_EQ(pfnClose(), 0);
    EditScenario("[server]\r\nstatus=3\r\nholder=LATE\r\n");
    pfnManualScan();
    PumpMessages(QUIET_MS);
    EXPECT_EQ(g_nNotifications, 0);
    const std::vector<std::string> expected = {"WUSBClose() = 0", "WUSBOpen(32868,3000,0) = 0", "WUSBClose() = 0",
                                               "WUSBClose() = 0", "WUSBManualScan() = 0"};
    EXPECT_EQ(JournalCalls(), expected);

    // Open again after a close: watching resumes.
    ASSERT_EQ(pfnOpen(m_hSink, WM_WUSB_NOTIFY, 3000, 0), 0);
    EditScenario("[server]\r\nstatus=1\r\n");
    EXPECT_GE(WaitForNotifications(1, NOTIFY_BOUND_MS), 1);
}

TEST_F(SimNotifyTest, UnloadWithoutCloseKeepsTheWatcherSafe)
{
    WriteScenario("[server]\r\nstatus=1\r\n");
    ASSERT_EQ(pfnOpen(m_hSink, WM_WUSB_NOTIFY, 3000, 0), 0);
    HMODULE hLoaded = m_hModule;
    FreeLibrary(m_hModule);
    m_hModule = nullptr;
    // The watcher's own reference keeps the code mapped, and it goes on working.
    EXPECT_EQ(GetModuleHandleA(SimDllPath().c_str()), hLoaded);
    EditScenario("[server]\r\nstatus=3\r\nholder=ELSEWHERE\r\n");
    EXPECT_GE(WaitForNotifications(1, NOTIFY_BOUND_MS), 1);
    // Closing through a new binding ends the watcher and with it the last reference.
    ASSERT_TRUE(Bind(SimDllPath()));
    EXPECT_EQ(m_hModule, hLoaded);
    Unbind();
    EXPECT_EQ(GetModuleHandleA(SimDllPath().c_str()), nullptr);
}
