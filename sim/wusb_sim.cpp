// Stand-in client library: the vendor library's nine exports over a simulated
// device server whose world lives in a scenario file.
#include "sim_journal.h"
#include "sim_scenario.h"
#include "sim_state.h"
#include "sim_watcher.h"
#include "sim_world_lock.h"
#include <cstring>
#ifdef SIM_WITH_COMPANION
#include "sim_companion.h"
#endif

// Last bandwidth test asked for; the simulated server answers with the scenario's bit rate.
static unsigned int g_dwSimPerfServer = 0;
static unsigned int g_dwSimPerfSize = 0;

// Only the host name here: no threads, files or waits under the loader lock.
static void FillHostName()
{
    DWORD nSize = sizeof(g_szSimHostName);
    if (!GetComputerNameExA(ComputerNameDnsHostname, g_szSimHostName, &nSize)) {
        nSize = sizeof(g_szSimHostName);
        if (!GetComputerNameA(g_szSimHostName, &nSize))
            g_szSimHostName[0] = '\0';
    }
    g_szSimHostName[sizeof(g_szSimHostName) - 1] = '\0';
    lstrcpynA(g_szSimComputerName, g_szSimHostName, sizeof(g_szSimComputerName));
}

// A vendor library may go on working for a moment after WUSBClose returns;
// the scenario's close_linger_ms plays that with a thread that holds no
// reference on this DLL, so an unload under it runs it into unmapped code.
static volatile LONG g_bSimLingering = 0;

static DWORD WINAPI SimLingerProc(LPVOID pMs)
{
    DWORD dwEnd = GetTickCount() + (DWORD)(UINT_PTR)pMs;
    while ((LONG)(GetTickCount() - dwEnd) < 0)
        SwitchToThread();
    InterlockedExchange(&g_bSimLingering, 0);
    return 0;
}

static void StartSimLinger(int nMs)
{
    if (nMs <= 0)
        return;
    InterlockedExchange(&g_bSimLingering, 1);
    HANDLE hThread = CreateThread(nullptr, 0, SimLingerProc, (LPVOID)(UINT_PTR)nMs, 0, nullptr);
    if (hThread)
        CloseHandle(hThread);
    else
        InterlockedExchange(&g_bSimLingering, 0);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(hInstance);
        FillHostName();
    }
    // Unloaded by FreeLibrary (not by process end) while still at work: say so.
    if (dwReason == DLL_PROCESS_DETACH && !pReserved && g_bSimLingering) {
        SimLock();
        SimJournal(SIM_UNLOADED_AT_WORK);
        SimUnlock();
    }
    return TRUE;
}

// The listed server whose device the ids name, or -1.
static int MatchSimDevice(unsigned int dwServerId, unsigned int dwDeviceId)
{
    int i = FindSimServer(dwServerId);
    if (i < 0 || g_simWorld.servers[i].nDeviceCount <= 0 || g_simWorld.servers[i].dwDeviceId != dwDeviceId)
        return -1;
    return i;
}

// Puts a new status and holder into one server and the file, undoing it if the file
// refuses. A scenario beside the DLL that cannot be written (a program folder under
// Program Files, for a standard user) moves to the user's temporary folder first.
static int ChangeSimDevice(int nServer, int nStatus, const char* pszHolder)
{
    SimServer before = g_simWorld.servers[nServer];
    SimServer* pServer = &g_simWorld.servers[nServer];
    pServer->nStatus = nStatus;
    lstrcpynA(pServer->szHolder, pszHolder, sizeof(pServer->szHolder));
    if (!SaveSimDeviceState(nServer) && !(MoveSimScenarioToTemp() && SaveSimDeviceState(nServer))) {
        *pServer = before;
        return SIM_ERR_WRITE;
    }
    SettleSimWorldWrite();
    // Our own write is not an outside change for the watcher.
    g_simStampSeen = GetSimScenarioStamp();
    return SIM_OK;
}

// One record of the list, laid out as the vendor's library lays it.
static void FillSimRecord(int nServer, _WUSB_SERVER* p)
{
    const SimServer* pServer = &g_simWorld.servers[nServer];
    memset(p, 0, sizeof(*p));
    lstrcpynA(p->szFirmware, pServer->szFirmware, sizeof(p->szFirmware));
    p->nDeviceCount = pServer->nDeviceCount;
    if (pServer->nDeviceCount > 0) {
        p->device.dwDeviceId = pServer->dwDeviceId;
        p->device.wVendorId = pServer->wVendorId;
        p->device.wProductId = pServer->wProductId;
    }
    p->pAddress = &g_simAddresses[nServer];
    p->nStatus = pServer->nStatus;
    lstrcpynA(p->szHostName, pServer->szHolder, sizeof(p->szHostName));
}

// Attaches the device here (bImport) or gives it back, and journals the call. The world
// is read, checked and written as one step among every process sharing it: of two
// computers importing at the same moment, the second finds the device in use. Only the
// computer holding the device may give it back.
static int MoveSimDevice(const char* pszCall, unsigned int dwServerId, unsigned int dwDeviceId, int bImport)
{
    SimLock();
    int nResult = SIM_ERR_BUSY;
    if (LockSimWorld(1)) {
        LoadSimWorld();
        nResult = SIM_ERR_NO_MATCH;
        int nServer = MatchSimDevice(dwServerId, dwDeviceId);
        if (nServer >= 0) {
            const SimServer* pServer = &g_simWorld.servers[nServer];
            int bHeldHere = pServer->nStatus == WUSB_STATUS_IN_USE &&
                            lstrcmpiA(pServer->szHolder, g_szSimComputerName) == 0;
            if (bImport)
                nResult = pServer->nStatus == WUSB_STATUS_FREE
                              ? ChangeSimDevice(nServer, WUSB_STATUS_IN_USE, g_szSimComputerName)
                              : SIM_ERR_STATE;
            else
                nResult = bHeldHere ? ChangeSimDevice(nServer, WUSB_STATUS_FREE, "") : SIM_ERR_STATE;
        }
        UnlockSimWorld();
    }
    SimJournal("%s(%u,%u) = %d", pszCall, dwServerId, dwDeviceId, nResult);
    if (nResult == SIM_OK)
        SimNotify();
    SimUnlock();
    return nResult;
}

extern "C" {

int SimOpen(HWND hWnd, unsigned int uMsg, int nArg3, int nArg4)
{
    SimLock();
    LoadSharedSimWorld();
    int nResult = g_simWorld.nOpenResult;
    // A library that failed to start delivers nothing.
#ifdef SIM_WITH_COMPANION
    // This build needs its companion DLL, as vendor libraries often do.
    if (nResult == SIM_OK && !SimCompanionReady())
        nResult = SIM_ERR_STATE;
#endif
    if (nResult == SIM_OK) {
        g_hSimWnd = hWnd;
        g_uSimMsg = uMsg;
        if (!StartSimWatcher())
            g_hSimWnd = nullptr;
    }
    SimJournal("WUSBOpen(%u,%d,%d) = %d", uMsg, nArg3, nArg4, nResult);
    SimUnlock();
    return nResult;
}

int SimClose()
{
    StopSimWatcher();
    SimLock();
    g_hSimWnd = nullptr;
    g_uSimMsg = 0;
    SimJournal("WUSBClose() = %d", SIM_OK);
    StartSimLinger(g_simWorld.nCloseLingerMs);
    SimUnlock();
    return SIM_OK;
}

int SimManualScan()
{
    SimLock();
    SimJournal("WUSBManualScan() = %d", SIM_OK);
    SimNotify();
    SimUnlock();
    return SIM_OK;
}

int SimGetServerList(_WUSB_SERVER* pServers, int nCapacity)
{
    SimLock();
    int nResult = 0;
    if (pServers && nCapacity > 0) {
        LoadSharedSimWorld();
        for (; nResult < g_simWorld.nListed && nResult < nCapacity; ++nResult)
            FillSimRecord(g_simWorld.anListed[nResult], &pServers[nResult]);
    }
    SimJournal("WUSBGetServerList(%d) = %d", nCapacity, nResult);
    SimUnlock();
    return nResult;
}

int SimImportDevice(unsigned int dwServerId, unsigned int dwDeviceId)
{
    return MoveSimDevice("WUSBImportDevice", dwServerId, dwDeviceId, 1);
}

int SimUnimportDevice(unsigned int dwServerId, unsigned int dwDeviceId)
{
    return MoveSimDevice("WUSBUnimportDevice", dwServerId, dwDeviceId, 0);
}

int SimDoPerformanceTest(unsigned int dwServerId, unsigned int dwTransferSize)
{
    SimLock();
    g_dwSimPerfServer = dwServerId;
    g_dwSimPerfSize = dwTransferSize;
    SimJournal("WUSBDoPerformanceTest(%u,%u) = %d", dwServerId, dwTransferSize, SIM_OK);
    SimUnlock();
    return SIM_OK;
}

int SimGetPerformanceResult(unsigned int dwServerId)
{
    SimLock();
    LoadSharedSimWorld();
    // The rate to the server asked about; a server not on the network measures nothing.
    int nServer = FindSimServer(dwServerId);
    int nResult = nServer >= 0 ? g_simWorld.servers[nServer].nBitrate : 0;
    SimJournal("WUSBGetPerformanceResult(%u) = %d", dwServerId, nResult);
    SimUnlock();
    return nResult;
}

}
