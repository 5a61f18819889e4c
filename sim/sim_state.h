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
constexpr int SIM_ERR_WRITE = 3;         // the scenario file could not be written
constexpr int SIM_ERR_BUSY = 4;          // another process kept the scenario file locked

// Boxes the world can hold: as many as one server list carries.
constexpr int SIM_MAX_SERVERS = 8;

// One box with one device, as one [server] (or [server2] ... [server8]) section describes it.
struct SimServer {
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

// The whole simulated world: the library's behaviour and the boxes on the network.
struct SimWorld {
    int nOpenResult;
    int nCloseLingerMs;                             // work left running after WUSBClose
    char szComputerName[SIM_COMPUTER_NAME_SIZE];   // override; empty: the host name
    SimServer servers[SIM_MAX_SERVERS];             // by section number, 0 for [server]
    int anListed[SIM_MAX_SERVERS];                  // the present servers in list order
    int nListed;
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
extern WUSB_ADDRESS g_simAddresses[SIM_MAX_SERVERS];   // records point here, so they outlive every call
extern HWND g_hSimWnd;              // null while the library is not open
extern unsigned int g_uSimMsg;
extern SimFileStamp g_simStampSeen; // the watcher's view of the scenario file

void SimLock();
void SimUnlock();
// Folder of this DLL plus a file name, into pszOut; 1 when it fits.
int SimPathBesideDll(const char* pszFile, char* pszOut, int cbOut);
// A file in the user's temporary folder, into pszOut; 1 when it fits.
int SimPathInTemp(const char* pszFile, char* pszOut, int cbOut);
// Value of an environment variable if set and it fits, else the file beside the DLL.
int SimPathFromEnv(const char* pszVar, const char* pszDefaultFile, char* pszOut, int cbOut);
