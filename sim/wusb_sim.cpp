// Stand-in client library (to be completed).
#include "agent/wusb/wusb_server.h"

extern "C" {
char g_szSimComputerName[256] = "localhost";
int SimOpen(HWND, unsigned int, int, int) { return 0; }
int SimClose() { return 0; }
int SimManualScan() { return 0; }
int SimGetServerList(_WUSB_SERVER*, int) { return 0; }
int SimImportDevice(unsigned int, unsigned int) { return 0; }
int SimUnimportDevice(unsigned int, unsigned int) { return 0; }
int SimDoPerformanceTest(unsigned int, unsigned int) { return 0; }
int SimGetPerformanceResult(unsigned int) { return 0; }
}
