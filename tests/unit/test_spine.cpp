// The main window's dispatch, the library binding and the trace buffer.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "agent/main_window.h"
#include "agent/program_path.h"
#include "settings/settings.h"

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

// Program paths in ANSI: faithful ones as they are, others from the folder's short
// path, and none at all rather than one with '?' in it.
TEST(ProgramPath, AnsiPathIsFaithfulOrShortOrNone)
{
    TempDir dir("ansi-path");
    const std::wstring cyrillic = WidePath(dir.Path()) + L"\\\x041F\x0443\x0442\x044C";   // "Путь"
    ASSERT_TRUE(CreateDirectoryW(cyrillic.c_str(), nullptr));
    struct Case {
        const char* pszName;
        std::wstring path;
        int nExpected;
    } cases[] = {
        {"plain", WidePath(dir.Path()) + L"\\" PRODUCT_EXE, 1},
        {"folder outside the code page", cyrillic + L"\\" PRODUCT_EXE, 1},
        {"no short name to be had", cyrillic + L"-gone\\" PRODUCT_EXE, 0},
        {"too long for the buffer", L"C:\\" + std::wstring(APP_PATH_SIZE, L'a') + L"\\x.exe", 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        char szPath[APP_PATH_SIZE];
        memset(szPath, 'x', sizeof(szPath));
        ASSERT_EQ(AnsiPathFromWide(&c.path[0], szPath, sizeof(szPath)), c.nExpected);
        if (!c.nExpected) {
            EXPECT_STREQ(szPath, "");
            continue;
        }
        std::string path = szPath;
        EXPECT_EQ(path.find('?'), std::string::npos) << path;
        EXPECT_EQ(path.substr(path.size() - 15), "\\" PRODUCT_EXE);
        DWORD dwAttr = GetFileAttributesA(path.substr(0, path.size() - 15).c_str());
        EXPECT_TRUE(dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY)) << path;
    }
    RemoveDirectoryW(cyrillic.c_str());
}
