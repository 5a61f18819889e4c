// The connection state machine: what the agent believes about the chosen server's
// device, what it presents, and when it asks the library to attach or detach.
#include "connection.h"
#include "agent_state.h"
#include "../settings/settings.h"
#include "device_filter.h"
#include "device_sharing.h"
#include "server_choice.h"
#include "sharing.h"
#include "rules/setting_names.h"
#include "rules/wusb_record.h"
#include "../settings/policy.h"
#include "../settings/share_settings.h"
#include "tray_view.h"
#include <cstdio>
#include <cstring>

int ReadBitRateThreshold(SettingValue* pSource)
{
    SettingValue source;
    SettingValue* pInfo = pSource ? pSource : &source;
    SetBuiltIn(pInfo, DEFAULT_BIT_RATE);
    if (ReadPolicyNumber(PRODUCT_POLICY_BITRATE_VALUE, pInfo))
        return pInfo->nValue;
    char szText[16];
    GetPrivateProfileStringA(INI_SYSTEM_SECTION, INI_BITRATE_KEY, "", szText, sizeof(szText), g_szSettingIni);
    if (szText[0])
        pInfo->source = SOURCE_SETTING_INI;
    return pInfo->nValue = (int)GetPrivateProfileIntA(INI_SYSTEM_SECTION, INI_BITRATE_KEY, DEFAULT_BIT_RATE, g_szSettingIni);
}

int BandwidthTestOn(int nBitRate)
{
    return nBitRate > 0;
}

unsigned int ReadTransferSize()
{
    return GetPrivateProfileIntA(INI_SYSTEM_SECTION, INI_TRANSFER_SIZE_KEY, DEFAULT_TRANSFER_SIZE, g_szSettingIni);
}

void SetWish(LONG bWant)
{
    InterlockedExchange(&g_bWantConnect, bWant ? 1 : 0);
    // The other sessions' agents count this one only while it wants the device.
    HoldWishSlot();
}

// How each decided status is shown, the Connect item that goes with it, and whether
// the device is attached here.
static const struct {
    int nStatus;
    TrayPresentation nLook;
    int nConnectItem;
    LONG bConnected;
} s_shownStatus[] = {
    {STATUS_NO_DEVICE, TP_NO_DEVICE, CONNECT_ITEM_NO_DEVICE, 0},
    {STATUS_DISCONNECTED, TP_DISCONNECTED, CONNECT_ITEM_FREE, 0},
    {STATUS_OCCUPIED, TP_OCCUPIED, CONNECT_ITEM_OCCUPIED, 0},
    {STATUS_CONNECTED, TP_CONNECTED, CONNECT_ITEM_CONNECTED, 1},
};

// The one place a decided status becomes what the tray shows, with its flags.
static void ShowStatus(HWND hWnd, int nStatus, const char* pszHolder)
{
    for (const auto& shown : s_shownStatus) {
        if (shown.nStatus != nStatus)
            continue;
        g_trayView.pfnPresentStatus(hWnd, shown.nLook, pszHolder);
        g_bNoticeShown = 1;
        InterlockedExchange(&g_bConnected, shown.bConnected);
        g_nStatus = nStatus;
        g_nConnectItem = shown.nConnectItem;
    }
}

static void ShowNoDevice(HWND hWnd, int bNeedScan)
{
    g_bDeviceAccepted = 0;
    ShowStatus(hWnd, STATUS_NO_DEVICE, nullptr);
    g_bNeedScan = bNeedScan;
    g_bShowIdle = 1;
}

static void OnDeviceFree(HWND hWnd)
{
    // After a refused import the poor-signal presentation stays until a test passes.
    if (g_bShowIdle) {
        ShowStatus(hWnd, STATUS_DISCONNECTED, nullptr);
        g_bPoorSignalNotice = 1;
    }
    InterlockedExchange(&g_bConnected, 0);
    g_bNeedScan = g_bWantConnect ? 1 : 0;
}

static void OnDeviceInUse(HWND hWnd, const _WUSB_SERVER* pServer)
{
    char szHolder[WUSB_HOSTNAME_SIZE + 1];
    CopyRecordText(pServer->szHostName, sizeof(pServer->szHostName), szHolder, sizeof(szHolder));
    char szComputer[COMPUTER_NAME_SIZE];
    lstrcpynA(szComputer, WUSBComputerName(), sizeof(szComputer));
    Trace("Device hostname = %s\n", szHolder);
    Trace("Computer hostname = %s\n", szComputer);

    if (IsHeldBy(pServer, szComputer))
        ShowStatus(hWnd, STATUS_CONNECTED, nullptr);
    else
        ShowStatus(hWnd, STATUS_OCCUPIED, szHolder);
    g_bNeedScan = 0;
    g_bShowIdle = 1;
    g_bPoorSignalNotice = 1;
}

// Starts the bandwidth test when one is configured; the import follows 3 s later.
static void ArmDelayedImport(HWND hWnd, unsigned int dwServerId)
{
    Trace("Import : start timer IDT_DELAY_IMPORT============\n ");
    g_bImportPending = 1;
    g_bit_rate = ReadBitRateThreshold();
    if (BandwidthTestOn(g_bit_rate))
        WUSBDoPerformanceTest(dwServerId, ReadTransferSize());
    SetTimer(hWnd, IDT_DELAY_IMPORT, DELAY_IMPORT_MS, nullptr);
}

static void OnDeviceAccepted(HWND hWnd, const _WUSB_SERVER* pServer, unsigned int dwServerId)
{
    g_bDeviceAccepted = 1;
    snprintf(g_szDeviceMenu, sizeof(g_szDeviceMenu), "%s", PRODUCT_NAME);
    FormatServerUrl(pServer, g_szDeviceUrl, sizeof(g_szDeviceUrl));
    if (pServer->nStatus == WUSB_STATUS_FREE && g_bWantConnect && !g_bImportPending)
        ArmDelayedImport(hWnd, dwServerId);
}

// Re-derives everything from the fresh list; the caller holds g_csServer.
static void RefreshFromServerList(HWND hWnd)
{
    g_nServerNum = WUSBGetServerList(g_servers, MAX_SERVERS);
    Trace("==== OnWUSBNotify ==== %d\n", g_nServerNum);
    RefreshServerChoice();
    HoldWishSlot();
    const _WUSB_SERVER* pServer = ChosenServer();
    if (!pServer && g_nServerNum > 0)
        Trace("Server %s named in Setting.ini is not listed\n", g_serverChoice.szAddress);
    unsigned int dwServerId = 0;
    // The named box missing from the list is no server at all, until it shows up.
    if (!pServer || !GetServerId(pServer, &dwServerId)) {
        ShowNoDevice(hWnd, 1);
        return;
    }
    Trace("WSB device number = %d", pServer->nDeviceCount);
    if (pServer->nDeviceCount <= 0) {
        ShowNoDevice(hWnd, 0);
        return;
    }

    if (pServer->nStatus == WUSB_STATUS_FREE)
        OnDeviceFree(hWnd);
    else if (pServer->nStatus == WUSB_STATUS_IN_USE && g_bWantConnect)
        OnDeviceInUse(hWnd, pServer);

    // The filter comes last, so a rejected device replaces what was just presented.
    if (IsSupportedDevice(&pServer->device)) {
        NoteDeviceHolder(hWnd, pServer);
        OnDeviceAccepted(hWnd, pServer, dwServerId);
        return;
    }
    ShowNoDevice(hWnd, 0);
}

int OnWUSBNotify(HWND hWnd)
{
    EnterCriticalSection(&g_csServer);
    RefreshFromServerList(hWnd);
    LeaveCriticalSection(&g_csServer);
    return 1;
}

int ConnectDevice(HWND hWnd)
{
    if (g_bConnected)
        return 1;
    // The user's Connect ends a release that waited for the return.
    ForgetRelease();
    return WantDevice(hWnd);
}

int WantDevice(HWND hWnd)
{
    // Only records the wish: the notification arms the import once the device is free.
    SetWish(1);
    OnWUSBNotify(hWnd);
    if (g_nServerNum <= 0)
        WUSBManualScan();
    return 1;
}

int DisconnectDevice(HWND)
{
    if (!g_bConnected)
        return 1;
    SetWish(0);
    const _WUSB_SERVER* pServer = ChosenServer();
    unsigned int dwServerId = 0;
    if (pServer && pServer->nDeviceCount > 0 && pServer->nStatus == WUSB_STATUS_IN_USE &&
        GetServerId(pServer, &dwServerId))
        WUSBUnimportDevice(dwServerId, pServer->device.dwDeviceId);
    // g_bConnected stays: the library's next notification brings the new status.
    return 1;
}

static void OnServerCheck(HWND hWnd)
{
    Trace("Checked g_nServerNum = %d", g_nServerNum);
    if (g_bNeedScan) {
        Trace("Checked g_nServerNum = %d start scan", g_nServerNum);
        WUSBManualScan();
    }
    CheckAway(hWnd);
    // Re-adding the icon is what takes a showing notice away; a sharing notice is
    // left to stand, and the re-creation follows once it has gone.
    if (g_bNoticeShown && !g_trayView.pfnNoticeShowing()) {
        g_bNoticeShown = 0;
        g_trayView.pfnRecreateIcon();
    }
}

static void RefusePoorSignal(HWND hWnd)
{
    g_bShowIdle = 0;
    g_nConnectItem = CONNECT_ITEM_POOR_SIGNAL;
    if (g_bPoorSignalNotice) {
        g_trayView.pfnPresentStatus(hWnd, TP_POOR_SIGNAL, nullptr);
        g_bPoorSignalNotice = 0;
    }
}

// Acts on the freshly fetched chosen device whenever it is free; no filter, no host name.
static void OnDelayImport(HWND hWnd)
{
    KillTimer(hWnd, IDT_DELAY_IMPORT);
    Trace("Into Delay Import ============\n");
    g_nServerNum = WUSBGetServerList(g_servers, MAX_SERVERS);
    // The list may have been reordered since: the choice finds the named box again.
    const _WUSB_SERVER* pServer = ChosenServer();
    unsigned int dwServerId = 0;
    if (pServer && pServer->nDeviceCount > 0 && pServer->nStatus == WUSB_STATUS_FREE && g_bWantConnect &&
        GetServerId(pServer, &dwServerId)) {
        // No result is asked for, and none refuses, where no test was started.
        int nMeasured = BandwidthTestOn(g_bit_rate) ? WUSBGetPerformanceResult(dwServerId) : 0;
        Trace("Start to Delay Import ============ get_bit_rate = %d\n", nMeasured);
        Trace("Start to Delay Import ============ g_bit_rate = %d\n", g_bit_rate);
        if (BandwidthTestOn(g_bit_rate) && nMeasured < g_bit_rate)
            RefusePoorSignal(hWnd);
        else
            WUSBImportDevice(dwServerId, pServer->device.dwDeviceId);
    }
    g_bImportPending = 0;
}

int OnTimer(HWND hWnd, UINT_PTR nTimerId)
{
    switch (nTimerId) {
    case IDT_SERVER_CHECK: OnServerCheck(hWnd); return 1;
    case IDT_DELAY_IMPORT: OnDelayImport(hWnd); return 1;
    default:               return 0;
    }
}

static void OnSuspend(HWND hWnd)
{
    g_bResumed = 0;
    g_bWishBeforeSuspend = g_bWantConnect;
    DisconnectDevice(hWnd);
}

// Windows announces every wake with PBT_APMRESUMEAUTOMATIC and adds PBT_APMRESUMESUSPEND
// once it sees the user; a wake by a timer or the network brings the first alone. Either
// resumes, and the second of one wake changes nothing more.
static void OnResume(HWND hWnd)
{
    if (g_bResumed)
        return;
    g_bResumed = 1;
    InterlockedExchange(&g_bConnected, 0);
    g_nServerNum = 0;
    WUSBManualScan();
    // The wish is set again whatever it was before the suspend; with connect on demand
    // it comes back as it was.
    if (WishAtResume(g_bAutoconnect, g_bWishBeforeSuspend, g_nReleased != RELEASE_NONE))
        ConnectDevice(hWnd);
    else
        OnWUSBNotify(hWnd);
    SetTimer(hWnd, IDT_SERVER_CHECK, SERVER_CHECK_MS, nullptr);
}

int OnPowerBroadcast(HWND hWnd, WPARAM nEvent)
{
    switch (nEvent) {
    case PBT_APMSUSPEND:         OnSuspend(hWnd); return 1;
    case PBT_APMRESUMEAUTOMATIC:
    case PBT_APMRESUMESUSPEND:   OnResume(hWnd); return 1;
    default:                   return 0;
    }
}

int ApplyAutoconnect(HWND hWnd)
{
    ReadShareChoices(0);
    WatchSessionLock(hWnd);
    if (g_bAutoconnect)
        return ConnectDevice(hWnd);
    if (!g_bConnected)
        SetWish(0);
    return 1;
}
