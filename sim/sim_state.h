// Shared state of the stand-in library: the simulated world, the open session
// and the one lock that guards them.
#pragma once
#include "agent/wusb/wusb_server.h"

// Size of the exported computerName array.
constexpr int SIM_COMPUTER_NAME_SIZE = 256;
// Results of the stand-in's calls; the agent only tells 0 from the rest.
constexpr int SIM_OK = 0;
constexpr int SIM_ERR_NO_MATCH = 1;      // no such server or device
constexpr int SIM_ERR_STATE = 2;         // device not free, or not held by this computer

// One server with one device, as the scenario file describes it.
struct SimWorld {
    int nOpenResult;
    int nCloseLingerMs;                             // work left running after WUSBClose
    char szComputerName[SIM_COMPUTER_NAME_SIZE];   // override; empty: the host name
    int bPresent;
    char szFirmware[WUSB_FIRMWARE_SIZE];
    int nDeviceCount;
    unsigned int dwDeviceId;
    unsigned short wVendorId;
    unsigned short wProductId;
    unsigned char abAddress[4];                     // a.b.c.d
    int nStatus;
    char szHolder[WUSB_HOSTNAME_SIZE];
    int nBitrate;
};

// Last-write time and size of the scenario file; all zero while it is missing.
struct SimFileStamp {
    FILETIME ftWrite;
    DWORD dwSizeHigh;
    DWORD dwSizeLow;
    int bExists;
};

extern "C" char g_szSimComputerName[SIM_COMPUTER_NAME_SIZE];   // exported as computerName
extern char g_szSimHostName[SIM_COMPUTER_NAME_SIZE];           // this computer, found at load
extern SimWorld g_simWorld;
extern WUSB_ADDRESS g_simAddress;   // record 0 points here, so it must outlive every call
extern HWND g_hSimWnd;              // null while the library is not open
extern unsigned int g_uSimMsg;
extern SimFileStamp g_simStampSeen; // the watcher's view of the scenario file

void SimLock();
void SimUnlock();
// Folder of this DLL plus a file name, into pszOut; 1 when it fits.
int SimPathBesideDll(const char* pszFile, char* pszOut, int cbOut);
// Value of an environment variable if set and it fits, else the file beside the DLL.
int SimPathFromEnv(const char* pszVar, const char* pszDefaultFile, char* pszOut, int cbOut);
