// Run-time binding of wusb.dll, and callers that stand in for an unbound library.
#include "wusb.h"
#include <cstdio>

WusbLibrary g_wusb;

// Decorated and plain names, in the order of the WusbLibrary members they fill.
static const char* const s_apszExports[WUSB_EXPORT_COUNT][2] = {
    {WUSB_EXPORT_OPEN, "WUSBOpen"},
    {WUSB_EXPORT_CLOSE, "WUSBClose"},
    {WUSB_EXPORT_MANUAL_SCAN, "WUSBManualScan"},
    {WUSB_EXPORT_GET_SERVER_LIST, "WUSBGetServerList"},
    {WUSB_EXPORT_IMPORT_DEVICE, "WUSBImportDevice"},
    {WUSB_EXPORT_UNIMPORT_DEVICE, "WUSBUnimportDevice"},
    {WUSB_EXPORT_DO_PERFORMANCE_TEST, "WUSBDoPerformanceTest"},
    {WUSB_EXPORT_GET_PERFORMANCE_RESULT, "WUSBGetPerformanceResult"},
    {WUSB_EXPORT_COMPUTER_NAME, "computerName"},
};

const char* GetWusbExportName(int nIndex)
{
    return nIndex >= 0 && nIndex < WUSB_EXPORT_COUNT ? s_apszExports[nIndex][1] : "";
}

// A vendor library may need DLLs of its own beside it: its folder and System32
// are searched for them, the current directory and PATH never.
static HMODULE LoadLibraryWithCompanions(const char* pszPath)
{
    HMODULE hModule = LoadLibraryExA(pszPath, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems without these flags refuse them as invalid; there the altered
    // search path starts at the library's folder, and the empty DLL directory
    // set at start-up keeps the current directory out.
    if (!hModule && GetLastError() == ERROR_INVALID_PARAMETER)
        hModule = LoadLibraryExA(pszPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return hModule;
}

int BindWusbLibrary(const char* pszFolder, WusbBindInfo* pInfo)
{
    UnbindWusbLibrary();
    WusbBindInfo local;
    WusbBindInfo* p = pInfo ? pInfo : &local;
    *p = WusbBindInfo{};
    // Always by full path: the DLL search path could hand us a planted copy.
    if (!pszFolder || !pszFolder[0])
        return 0;   // "\\wusb.dll" would name the current drive's root
    int nLen = snprintf(p->szPath, sizeof(p->szPath), "%s\\wusb.dll", pszFolder);
    if (nLen < 0 || nLen >= (int)sizeof(p->szPath)) {
        p->szPath[0] = '\0';
        return 0;
    }
    HMODULE hModule = LoadLibraryWithCompanions(p->szPath);
    if (!hModule) {
        p->dwLoadError = GetLastError();
        return 0;
    }

    FARPROC apfn[WUSB_EXPORT_COUNT];
    for (int i = 0; i < WUSB_EXPORT_COUNT; ++i) {
        apfn[i] = GetProcAddress(hModule, s_apszExports[i][0]);
        if (apfn[i])
            p->nExportMask |= 1u << i;
    }
    // A library missing any export is treated as one that failed to open.
    if (p->nExportMask != WUSB_ALL_EXPORTS) {
        FreeLibrary(hModule);
        return 0;
    }
    WusbLibrary lib = {};
    lib.hModule = hModule;
    lib.pfnOpen = (PFN_WUSBOpen)apfn[WUSB_FN_OPEN];
    lib.pfnClose = (PFN_WUSBVoid)apfn[WUSB_FN_CLOSE];
    lib.pfnManualScan = (PFN_WUSBVoid)apfn[WUSB_FN_MANUAL_SCAN];
    lib.pfnGetServerList = (PFN_WUSBGetServerList)apfn[WUSB_FN_GET_SERVER_LIST];
    lib.pfnImportDevice = (PFN_WUSBServerDevice)apfn[WUSB_FN_IMPORT_DEVICE];
    lib.pfnUnimportDevice = (PFN_WUSBServerDevice)apfn[WUSB_FN_UNIMPORT_DEVICE];
    lib.pfnDoPerformanceTest = (PFN_WUSBServerDevice)apfn[WUSB_FN_DO_PERFORMANCE_TEST];
    lib.pfnGetPerformanceResult = (PFN_WUSBServer)apfn[WUSB_FN_GET_PERFORMANCE_RESULT];
    lib.pszComputerName = (char*)apfn[WUSB_DATA_COMPUTER_NAME];
    g_wusb = lib;
    return 1;
}

void UnbindWusbLibrary()
{
    if (g_wusb.hModule)
        FreeLibrary(g_wusb.hModule);
    g_wusb = WusbLibrary{};
}

int WUSBOpen(HWND hWnd, unsigned int uMsg, int nArg3, int nArg4)
{
    return g_wusb.pfnOpen ? g_wusb.pfnOpen(hWnd, uMsg, nArg3, nArg4) : WUSB_NOT_BOUND;
}

int WUSBClose()
{
    return g_wusb.pfnClose ? g_wusb.pfnClose() : WUSB_NOT_BOUND;
}

int WUSBManualScan()
{
    return g_wusb.pfnManualScan ? g_wusb.pfnManualScan() : WUSB_NOT_BOUND;
}

int WUSBGetServerList(_WUSB_SERVER* pServers, int nCapacity)
{
    // Unbound: no servers, which every caller already handles.
    return g_wusb.pfnGetServerList ? g_wusb.pfnGetServerList(pServers, nCapacity) : 0;
}

int WUSBImportDevice(unsigned int dwServerId, unsigned int dwDeviceId)
{
    return g_wusb.pfnImportDevice ? g_wusb.pfnImportDevice(dwServerId, dwDeviceId) : WUSB_NOT_BOUND;
}

int WUSBUnimportDevice(unsigned int dwServerId, unsigned int dwDeviceId)
{
    return g_wusb.pfnUnimportDevice ? g_wusb.pfnUnimportDevice(dwServerId, dwDeviceId) : WUSB_NOT_BOUND;
}

int WUSBDoPerformanceTest(unsigned int dwServerId, unsigned int dwTransferSize)
{
    return g_wusb.pfnDoPerformanceTest ? g_wusb.pfnDoPerformanceTest(dwServerId, dwTransferSize)
                                       : WUSB_NOT_BOUND;
}

int WUSBGetPerformanceResult(unsigned int dwServerId)
{
    return g_wusb.pfnGetPerformanceResult ? g_wusb.pfnGetPerformanceResult(dwServerId) : 0;
}

const char* WUSBComputerName()
{
    return g_wusb.pszComputerName ? g_wusb.pszComputerName : "";
}
