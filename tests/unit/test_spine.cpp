// The main window's dispatch, the library binding and the trace buffer.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "agent/main_window.h"

TEST(Trace, CutsAtBufferAndTerminates)
{
    TraceCapture capture;
    std::string longText(5000, 'x');
    Trace("%s", longText.c_str());
    EXPECT_EQ(strlen(g_szTrace), (size_t)TRACE_SIZE - 1);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], std::string(TRACE_SIZE - 1, 'x'));
}

TEST(Binding, MissingLibraryLeavesEveryCallSafe)
{
    TempDir dir("nolib");
    EXPECT_EQ(BindWusbLibrary(dir.Path().c_str()), 0);
    EXPECT_EQ(g_wusb.pfnOpen, nullptr);
    EXPECT_NE(WUSBOpen(nullptr, WM_WUSB_NOTIFY, 3000, 0), 0);
    EXPECT_EQ(WUSBGetServerList(g_servers, MAX_SERVERS), 0);
    EXPECT_STREQ(WUSBComputerName(), "");
    WUSBClose();
    WUSBManualScan();
    WUSBImportDevice(1, 2);
}
