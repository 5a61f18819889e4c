// One computer's bare client of the shared box, for the tests of several computers:
//   box_import <folder of wusb.dll> <go file>
// Binds the library as the agent does, says "ready", waits until the go file exists (so
// that processes of several computers import at the same moment), imports the default
// world's device (192.168.1.10, device 1) and prints "<this computer> <result> <tick>",
// the tick (GetTickCount64, one clock for every prefix) being when it asked.
#include "agent/wusb/wusb.h"
#include <cstdio>

constexpr unsigned int BOX_SERVER_ID = 0x0A01A8C0;   // 192.168.1.10
constexpr unsigned int BOX_DEVICE_ID = 1;
constexpr DWORD GO_POLL_MS = 1;
constexpr DWORD GO_WAIT_MS = 60000;

int main(int argc, char** argv)
{
    if (argc != 3 || !BindWusbLibrary(argv[1])) {
        fprintf(stderr, "usage: box_import <folder of wusb.dll> <go file>\n");
        return 2;
    }
    printf("ready\n");
    fflush(stdout);
    DWORD dwStart = GetTickCount();
    while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - dwStart > GO_WAIT_MS)
            return 1;
        Sleep(GO_POLL_MS);
    }
    unsigned long long nAsked = GetTickCount64();
    int nResult = WUSBImportDevice(BOX_SERVER_ID, BOX_DEVICE_ID);
    printf("%s %d %llu\n", WUSBComputerName(), nResult, nAsked);
    return 0;
}
