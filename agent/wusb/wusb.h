// The agent's view of the client library: a table bound at run time, and
// thin callers that never go through an absent function.
#pragma once
#include "wusb_server.h"

typedef int (*PFN_WUSBOpen)(HWND, unsigned int, int, int);
typedef int (*PFN_WUSBVoid)(void);
typedef int (*PFN_WUSBGetServerList)(_WUSB_SERVER*, int);
typedef int (*PFN_WUSBServerDevice)(unsigned int, unsigned int);
typedef int (*PFN_WUSBServer)(unsigned int);

struct WusbLibrary {
    HMODULE hModule;
    PFN_WUSBOpen pfnOpen;
    PFN_WUSBVoid pfnClose;
    PFN_WUSBVoid pfnManualScan;
    PFN_WUSBGetServerList pfnGetServerList;
    PFN_WUSBServerDevice pfnImportDevice;
    PFN_WUSBServerDevice pfnUnimportDevice;
    PFN_WUSBServerDevice pfnDoPerformanceTest;
    PFN_WUSBServer pfnGetPerformanceResult;
    char* pszComputerName;   // exported data, not a function
};

// How the agent (and the check beside it) opens the library: the notification
// message, then two fixed arguments; and how many records a list call asks for.
constexpr UINT WM_WUSB_NOTIFY = WM_APP + 100;
constexpr int WUSB_OPEN_ARG3 = 3000;
constexpr int WUSB_OPEN_ARG4 = 0;
constexpr int MAX_SERVERS = 8;

// Bound table; all null until BindWusbLibrary succeeds. Tests install fakes here.
extern WusbLibrary g_wusb;

// Value the callers give back when the library is not bound: a failed open.
constexpr int WUSB_NOT_BOUND = -1;

// The library's exports, counted in the order of WusbLibrary (computerName last).
enum WusbExportIndex {
    WUSB_FN_OPEN, WUSB_FN_CLOSE, WUSB_FN_MANUAL_SCAN, WUSB_FN_GET_SERVER_LIST, WUSB_FN_IMPORT_DEVICE,
    WUSB_FN_UNIMPORT_DEVICE, WUSB_FN_DO_PERFORMANCE_TEST, WUSB_FN_GET_PERFORMANCE_RESULT,
    WUSB_DATA_COMPUTER_NAME, WUSB_EXPORT_COUNT
};
constexpr unsigned int WUSB_ALL_EXPORTS = (1u << WUSB_EXPORT_COUNT) - 1;
// Plain name of export nIndex ("WUSBOpen", ..., "computerName"); "" out of range.
const char* GetWusbExportName(int nIndex);

// What one attempt to bind found, for those who must explain a failure.
struct WusbBindInfo {
    char szPath[MAX_PATH];      // the file tried; "" when the folder gave no path that fits
    DWORD dwLoadError;          // GetLastError of the load; 0 when the module loaded
    unsigned int nExportMask;   // bit i set when export i is present
};

// Loads wusb.dll by full path from the given folder and binds every export.
// 1 when all nine were found; 0 otherwise, with the table left all null.
// pInfo, when given, receives what was tried and found.
int BindWusbLibrary(const char* pszFolder, WusbBindInfo* pInfo = nullptr);
// Drops the binding and frees the module.
void UnbindWusbLibrary();

int WUSBOpen(HWND hWnd, unsigned int uMsg, int nArg3, int nArg4);
int WUSBClose();
int WUSBManualScan();
int WUSBGetServerList(_WUSB_SERVER* pServers, int nCapacity);
int WUSBImportDevice(unsigned int dwServerId, unsigned int dwDeviceId);
int WUSBUnimportDevice(unsigned int dwServerId, unsigned int dwDeviceId);
int WUSBDoPerformanceTest(unsigned int dwServerId, unsigned int dwTransferSize);
int WUSBGetPerformanceResult(unsigned int dwServerId);
// This computer's host name as the library knows it; "" when unbound.
const char* WUSBComputerName();
