// Requests from q5ctl, the command line that drives this agent from scripts. The
// sender is another program of the session and is trusted in nothing: a request of
// the wrong size, magic, version, verb or argument, or one whose answer window is not
// q5ctl's, is refused before the agent acts. Connect and Disconnect are the menu's own.
#include "control.h"
#include "control_channel.h"
#include "agent_state.h"
#include "../settings/settings.h"
#include "connection.h"
#include "device_filter.h"
#include "server_choice.h"
#include "rules/wusb_record.h"
#include "../settings/share_settings.h"
#include <cstring>

// The processes of q5ctl that hold the device for a program, and what the device was
// before the first of them came: the last to end gives back only what the runs took.
static HANDLE s_ahRuns[MAX_CONTROL_RUNS];
static DWORD s_adwRunPids[MAX_CONTROL_RUNS];
static int s_bConnectedBeforeRuns;
static int s_bWishBeforeRuns;

static const char* VerbName(DWORD dwVerb)
{
    switch (dwVerb) {
    case CONTROL_STATUS:      return "status";
    case CONTROL_CONNECT:     return "connect";
    case CONTROL_DISCONNECT:  return "disconnect";
    case CONTROL_WITHDRAW:    return "withdraw";
    case CONTROL_RUN_BEGIN:   return "run begin";
    case CONTROL_RUN_END:     return "run end";
    case CONTROL_AUTOCONNECT: return "autoconnect";
    default:                  return "?";
    }
}

static void ForgetRun(int i)
{
    CloseHandle(s_ahRuns[i]);
    s_ahRuns[i] = nullptr;
    s_adwRunPids[i] = 0;
}

// A q5ctl that was killed never says its run ended: its slot goes when its process has.
static void ForgetEndedRuns()
{
    for (int i = 0; i < MAX_CONTROL_RUNS; ++i)
        if (s_ahRuns[i] && WaitForSingleObject(s_ahRuns[i], 0) != WAIT_TIMEOUT)
            ForgetRun(i);
}

int CountControlRuns()
{
    ForgetEndedRuns();
    int n = 0;
    for (int i = 0; i < MAX_CONTROL_RUNS; ++i)
        n += s_ahRuns[i] != nullptr;
    return n;
}

void ResetControlRuns()
{
    for (int i = 0; i < MAX_CONTROL_RUNS; ++i)
        if (s_ahRuns[i])
            ForgetRun(i);
    s_bConnectedBeforeRuns = 0;
    s_bWishBeforeRuns = 0;
}

static int FindRun(DWORD dwPid)
{
    for (int i = 0; i < MAX_CONTROL_RUNS; ++i)
        if (s_ahRuns[i] && s_adwRunPids[i] == dwPid)
            return i;
    return -1;
}

static int FindFreeRunSlot()
{
    for (int i = 0; i < MAX_CONTROL_RUNS; ++i)
        if (!s_ahRuns[i])
            return i;
    return -1;
}

// 1 when the argument is what the verb takes.
static int ValidArgument(const ControlRequest* pRequest)
{
    if (pRequest->dwVerb == CONTROL_AUTOCONNECT)
        return pRequest->dwArg <= 1;
    return pRequest->dwArg == 0;
}

// The record of the request, copied out; 0 (and the reason) when it is not one.
static int ReadRequest(LPARAM lParam, ControlRequest* pRequest, const char** ppszWhy)
{
    const COPYDATASTRUCT* pCopy = (const COPYDATASTRUCT*)lParam;
    if (!pCopy || pCopy->dwData != CONTROL_MAGIC || pCopy->cbData != sizeof(ControlRequest) || !pCopy->lpData) {
        *ppszWhy = "not a request record";
        return 0;
    }
    memcpy(pRequest, pCopy->lpData, sizeof(*pRequest));
    if (pRequest->dwMagic != CONTROL_MAGIC || pRequest->dwVersion != CONTROL_VERSION) {
        *ppszWhy = "wrong magic or version";
        return 0;
    }
    if (pRequest->dwVerb < CONTROL_STATUS || pRequest->dwVerb >= CONTROL_VERB_END) {
        *ppszWhy = "unknown verb";
        return 0;
    }
    if (!ValidArgument(pRequest)) {
        *ppszWhy = "bad argument";
        return 0;
    }
    return 1;
}

// The answer goes only to a window of q5ctl's class; its process is the sender.
static int ReadSender(WPARAM wParam, HWND* phReply, DWORD* pdwPid)
{
    HWND hReply = (HWND)wParam;
    char szClass[64];
    if (!hReply || !IsWindow(hReply) || !GetClassNameA(hReply, szClass, sizeof(szClass)) ||
        lstrcmpiA(szClass, PRODUCT_CTL_REPLY_CLASS) != 0)
        return 0;
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hReply, &dwPid);
    if (!dwPid)
        return 0;
    *phReply = hReply;
    *pdwPid = dwPid;
    return 1;
}

// What the chosen server's record says of its device.
static void DescribeDevice(ControlReply* pReply)
{
    const _WUSB_SERVER* pServer = g_bLibraryClosed ? nullptr : ChosenServer();
    if (!pServer)
        return;
    FormatServerAddress(pServer, pReply->szAddress, sizeof(pReply->szAddress));
    CopyRecordText(pServer->szFirmware, sizeof(pServer->szFirmware), pReply->szFirmware, sizeof(pReply->szFirmware));
    if (pServer->nDeviceCount <= 0)
        return;
    pReply->nVendorId = pServer->device.wVendorId;
    pReply->nProductId = pServer->device.wProductId;
    if (!IsSupportedDevice(&pServer->device)) {
        pReply->nDevice = CONTROL_DEVICE_REFUSED;
    } else if (pServer->nStatus == WUSB_STATUS_FREE) {
        pReply->nDevice = CONTROL_DEVICE_FREE;
    } else if (pServer->nStatus == WUSB_STATUS_IN_USE) {
        char szComputer[COMPUTER_NAME_SIZE];
        lstrcpynA(szComputer, WUSBComputerName(), sizeof(szComputer));
        pReply->nDevice = IsHeldBy(pServer, szComputer) ? CONTROL_DEVICE_HERE : CONTROL_DEVICE_ELSEWHERE;
        if (pReply->nDevice == CONTROL_DEVICE_ELSEWHERE)
            CopyRecordText(pServer->szHostName, sizeof(pServer->szHostName), pReply->szHolder,
                           sizeof(pReply->szHolder));
    } else {
        pReply->nDevice = CONTROL_DEVICE_OTHER;
    }
}

static void DescribeState(ControlReply* pReply)
{
    pReply->nStatus = g_nStatus;
    pReply->nConnectItem = g_nConnectItem;
    pReply->bConnected = g_bConnected;
    pReply->bWantConnect = g_bWantConnect;
    pReply->bDeviceAccepted = g_bDeviceAccepted;
    pReply->bImportPending = g_bImportPending;
    ShareSettings share;
    ReadShareSettings(g_szSettingIni, &share);
    pReply->nAutoconnect = share.autoconnect.nValue;
    pReply->nAutoconnectSource = share.autoconnect.source;
    pReply->nRuns = CountControlRuns();
    DescribeDevice(pReply);
}

// Takes back what was asked: the device if it came, else the wish. 1.
static int GiveBack(HWND hWnd)
{
    if (g_bConnected)
        DisconnectDevice(hWnd);
    else
        InterlockedExchange(&g_bWantConnect, 0);
    return 1;
}

static void OnDisconnectRequest(HWND hWnd)
{
    // The menu offers Disconnect only while connected; from a script it also stops an
    // attach that is still on its way, so "disconnect" never ends with the device here.
    GiveBack(hWnd);
}

static void OnWithdrawRequest(HWND hWnd, ControlReply* pReply)
{
    // A run of this session needs the device: the cancelled connect was not what brought it.
    if (CountControlRuns() == 0)
        pReply->bReleased = GiveBack(hWnd);
}

static void OnRunBegin(HWND hWnd, DWORD dwPid, ControlReply* pReply)
{
    ForgetEndedRuns();
    if (FindRun(dwPid) >= 0) {
        pReply->dwResult = CONTROL_NOT_A_RUN;
        return;
    }
    int iFree = FindFreeRunSlot();
    HANDLE hProcess = iFree >= 0 ? OpenProcess(SYNCHRONIZE, FALSE, dwPid) : nullptr;
    if (!hProcess) {
        pReply->dwResult = CONTROL_RUNS_FULL;
        return;
    }
    if (CountControlRuns() == 0) {
        s_bConnectedBeforeRuns = g_bConnected ? 1 : 0;
        s_bWishBeforeRuns = g_bWantConnect ? 1 : 0;
    }
    s_ahRuns[iFree] = hProcess;
    s_adwRunPids[iFree] = dwPid;
    ConnectDevice(hWnd);
}

static void OnRunEnd(HWND hWnd, DWORD dwPid, ControlReply* pReply)
{
    int i = FindRun(dwPid);
    if (i < 0) {
        pReply->dwResult = CONTROL_NOT_A_RUN;
        return;
    }
    ForgetRun(i);
    // The last run gives back only what the runs took: a device connected before the
    // first began stays, and so does a wish the user had before.
    if (CountControlRuns() == 0 && !s_bConnectedBeforeRuns && (g_bConnected || !s_bWishBeforeRuns))
        pReply->bReleased = GiveBack(hWnd);
}

// Carries out a checked request; the state it leaves goes into the answer.
static void CarryOut(HWND hWnd, const ControlRequest* pRequest, DWORD dwPid, ControlReply* pReply)
{
    pReply->dwResult = CONTROL_DONE;
    pReply->bConnectedBefore = g_bConnected;
    pReply->bWishBefore = g_bWantConnect;
    if (g_bLibraryClosed && pRequest->dwVerb != CONTROL_STATUS) {
        pReply->dwResult = CONTROL_CLOSING;
        return;
    }
    if (pRequest->dwVerb != CONTROL_STATUS)
        Trace("q5ctl: %s\n", VerbName(pRequest->dwVerb));
    switch (pRequest->dwVerb) {
    case CONTROL_CONNECT:     ConnectDevice(hWnd); break;
    case CONTROL_DISCONNECT:  OnDisconnectRequest(hWnd); break;
    case CONTROL_WITHDRAW:    OnWithdrawRequest(hWnd, pReply); break;
    case CONTROL_RUN_BEGIN:   OnRunBegin(hWnd, dwPid, pReply); break;
    case CONTROL_RUN_END:     OnRunEnd(hWnd, dwPid, pReply); break;
    case CONTROL_AUTOCONNECT: ApplyAutoconnect(hWnd); break;
    default:                  break;
    }
}

// Set once the start-up is done. An agent's window exists, and may be sent to while it
// waits in the shell during start-up, before it has read the server list.
static int s_bChannelOpen = 0;

void OpenControlChannel()
{
    s_bChannelOpen = 1;
}

LRESULT OnCopyData(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
    if (!s_bChannelOpen) {
        Trace("q5ctl request put off: the agent is still starting\n");
        return CONTROL_NOT_YET;
    }
    ControlRequest request;
    const char* pszWhy = "";
    HWND hReply = nullptr;
    DWORD dwPid = 0;
    if (!ReadRequest(lParam, &request, &pszWhy)) {
        Trace("q5ctl request refused: %s\n", pszWhy);
        return FALSE;
    }
    if (!ReadSender(wParam, &hReply, &dwPid)) {
        Trace("q5ctl request refused: no answer window\n");
        return FALSE;
    }
    ControlReply reply = {};
    reply.dwMagic = CONTROL_MAGIC;
    reply.dwVersion = CONTROL_VERSION;
    reply.dwVerb = request.dwVerb;
    CarryOut(hWnd, &request, dwPid, &reply);
    DescribeState(&reply);
    COPYDATASTRUCT copy = {CONTROL_MAGIC, sizeof(reply), &reply};
    DWORD_PTR dwIgnored = 0;
    SendMessageTimeoutA(hReply, WM_COPYDATA, (WPARAM)hWnd, (LPARAM)&copy, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                        CONTROL_REPLY_TIMEOUT_MS, &dwIgnored);
    return TRUE;
}
