// The [device] list of Setting.ini against the device record's VID and PID.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "agent/device_filter.h"
#include <memory>

static _WUSB_DEVICE Device(unsigned short wVid, unsigned short wPid)
{
    _WUSB_DEVICE device = {};
    device.wVendorId = wVid;
    device.wProductId = wPid;
    return device;
}

class DeviceFilter : public ::testing::Test {
protected:
    std::unique_ptr<TempDir> m_dir;
    void SetUp() override { ResetAgentState(); }
    // A fresh folder per list: the profile reader may cache a file it has just read.
    void UseList(const std::string& deviceSection)
    {
        m_dir.reset(new TempDir("filter"));
        m_dir->Write("Setting.ini", "[device]\r\n" + deviceSection);
        UseProgramDir(m_dir->Path());
    }
};

TEST_F(DeviceFilter, Cases)
{
    struct Case {
        const char* pszList;
        unsigned short wVid, wPid;
        int nExpected;
    } cases[] = {
        {"", 0x0A5C, 0x21E8, 0},                                              // idnum missing
        {"idnum=0\r\nid0=VID_0A5C&PID_21E8\r\n", 0x0A5C, 0x21E8, 0},
        {"idnum=-2\r\nid0=VID_0A5C&PID_21E8\r\n", 0x0A5C, 0x21E8, 0},
        {"idnum=1\r\nid0=VID_0A5C&PID_21E8\r\n", 0x0A5C, 0x21E8, 1},
        {"idnum=1\r\nid0=vid_0a5c&pid_21e8\r\n", 0x0A5C, 0x21E8, 1},          // lower-case hex
        {"idnum=1\r\nid0=VID_0x0a5C&PID_ 21E8\r\n", 0x0A5C, 0x21E8, 1},       // prefix and blank accepted
        {"idnum=1\r\nid0=VID_0A5C&PID_21E9\r\n", 0x0A5C, 0x21E8, 0},
        {"idnum=1\r\nid0=VID_10A5C&PID_21E8\r\n", 0x0A5C, 0x21E8, 0},         // above 0xFFFF
        {"idnum=1\r\nid0=VID_0A5C&PID_121E8\r\n", 0x0A5C, 0x21E8, 0},
        {"idnum=1\r\nid0=VID_FFFF&PID_FFFF\r\n", 0xFFFF, 0xFFFF, 1},
        {"idnum=1\r\nid0=VID_-1&PID_-1\r\n", 0xFFFF, 0xFFFF, 0},              // negative never widens to 0xFFFF
        {"idnum=5\r\nid0=VID_1111&PID_2222\r\nid1=VID_0A5C&PID_21E8\r\n", 0x0A5C, 0x21E8, 1},  // keys missing
        {"idnum=5\r\nid0=VID_1111&PID_2222\r\n", 0x0A5C, 0x21E8, 0},
        // Malformed values mean nothing, not "0000": a 0/0 record never matches them.
        {"idnum=1\r\nid0=VID\r\n", 0, 0, 0},
        {"idnum=1\r\nid0=VID_\r\n", 0, 0, 0},
        {"idnum=1\r\nid0=VID_&PID_\r\n", 0, 0, 0},
        {"idnum=1\r\nid0=VID_0000\r\n", 0, 0, 0},
        {"idnum=1\r\nid0=VID_0000&PID_\r\n", 0, 0, 0},
        {"idnum=1\r\nid0=VID_0000&PID_zz\r\n", 0, 0, 0},
        {"idnum=1\r\nid0=VID_zz&PID_0000\r\n", 0, 0, 0},
        {"idnum=1\r\nid0=VID_0000&PID_0000\r\n", 0, 0, 1},
    };
    for (const Case& c : cases) {
        UseList(c.pszList);
        _WUSB_DEVICE device = Device(c.wVid, c.wPid);
        EXPECT_EQ(IsSupportedDevice(&device), c.nExpected) << c.pszList;
    }
    EXPECT_EQ(IsSupportedDevice(nullptr), 0);
}

TEST_F(DeviceFilter, TracesAndFirstMatchEndsSearch)
{
    UseList("idnum=3\r\nid0=VID_1234&PID_ABCD\r\nid1=VID_0A5C&PID_21E8\r\nid2=VID_0A5C&PID_21E8\r\n");
    TraceCapture capture;
    _WUSB_DEVICE device = Device(0x0A5C, 0x21E8);
    EXPECT_EQ(IsSupportedDevice(&device), 1);
    std::vector<std::string> expected = {
        ">>> Start read ini!! \n",
        ">>> device id =VID_1234&PID_ABCD\n", ">>> Vid = 0x1234,Pid = 0xabcd\n",
        ">>> device id =VID_0A5C&PID_21E8\n", ">>> Vid = 0xa5c,Pid = 0x21e8\n",
        ">>> Start read ini!! bOk =1 \n",
    };
    EXPECT_EQ(capture.Lines(), expected);
    char szValue[DEVICE_TYPE_SIZE] = "x";
    EXPECT_EQ(FindDeviceType(&device, szValue), 1);   // the first of two matching entries
    EXPECT_STREQ(szValue, "VID_0A5C&PID_21E8");

    capture.Clear();
    device = Device(0x0001, 0x0002);
    EXPECT_EQ(IsSupportedDevice(&device), 0);
    ASSERT_EQ(capture.Lines().size(), 8u);
    EXPECT_EQ(capture.Lines().back(), ">>> Start read ini!! bOk =0 \n");
    EXPECT_EQ(FindDeviceType(&device, szValue), -1);
    EXPECT_STREQ(szValue, "");
}

TEST_F(DeviceFilter, NoCountRejectsAfterOneTrace)
{
    UseList("idnum=0\r\n");
    TraceCapture capture;
    _WUSB_DEVICE device = Device(0x0A5C, 0x21E8);
    EXPECT_EQ(IsSupportedDevice(&device), 0);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{">>> Start read ini!! \n"});
}

TEST_F(DeviceFilter, AttachedDeviceAcceptedWithoutList)
{
    UseList("idnum=1\r\nid0=VID_0A5C&PID_21E8\r\n");
    _WUSB_DEVICE device = Device(0x0A5C, 0x21E8);
    EXPECT_EQ(IsSupportedDevice(&device), 1);
    UseList("");   // its entry removed while attached
    g_bConnected = 1;
    TraceCapture capture;
    EXPECT_EQ(IsSupportedDevice(&device), 1);
    EXPECT_TRUE(capture.Lines().empty());
    g_bConnected = 0;
    EXPECT_EQ(IsSupportedDevice(&device), 0);
}

TEST_F(DeviceFilter, HugeCountIsCapped)
{
    UseList("idnum=2147483647\r\nid0=VID_1111&PID_2222\r\nid7=VID_0A5C&PID_21E8\r\n");
    _WUSB_DEVICE listed = Device(0x0A5C, 0x21E8);
    _WUSB_DEVICE unlisted = Device(0x0A5D, 0x21E8);
    EXPECT_EQ(IsSupportedDevice(&listed), 1);

    TraceCapture capture;
    EXPECT_EQ(IsSupportedDevice(&unlisted), 0);
    size_t nRead = 0;
    for (const std::string& line : capture.Lines())
        nRead += line.rfind(">>> device id =", 0) == 0;
    EXPECT_EQ(nRead, (size_t)MAX_DEVICE_TYPES);
}
