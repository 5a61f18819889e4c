// Sharing one device among several computers: the agent's side of the decisions in
// sharing.cpp, over AgentState.
#include "device_sharing.h"
#include "agent_state.h"
#include "../settings/settings.h"
#include "connection.h"
#include "other_agents.h"
#include "server_choice.h"
#include "sharing.h"
#include "rules/wusb_record.h"
#include "../settings/share_settings.h"
#include "tray_view.h"
#include <wtsapi32.h>
#include <cstring>

// wtsapi32 is loaded only where a lock gives the device back: the shipped choices
// load no library the agent did not load before.
typedef BOOL(WINAPI* WTSRegisterFn)(HWND, DWORD);
typedef BOOL(WINAPI* WTSUnRegisterFn)(HWND);
static const char WTS_LIBRARY[] = "wtsapi32.dll";
static int s_bSessionWatched = 0;

static void TraceIgnored(const SettingValue& value)
{
    if (value.szIgnored[0])
        Trace("Share: ignored %s\n", value.szIgnored);
}

int ReadShareChoices(int bStart)
{
    ShareSettings share;
    ReadShareSettings(g_szSettingIni, &share);
    g_bAutoconnect = share.autoconnect.nValue;
    g_nReleaseAfterMin = share.releaseAfter.nValue;
    g_bReleaseOnLock = share.releaseOnLock.nValue;
    g_bShareNotices = share.notices.nValue;
    TraceIgnored(share.autoconnect);
    TraceIgnored(share.releaseAfter);
    TraceIgnored(share.releaseOnLock);
    TraceIgnored(share.notices);
    if (!g_bAutoconnect || g_nReleaseAfterMin || g_bReleaseOnLock || g_bShareNotices ||
        (share.autoconnect.source != SOURCE_SETTING_INI && share.autoconnect.source != SOURCE_BUILT_IN))
        Trace("Share: autoconnect=%d (%s) release_after=%d release_on_lock=%d notices=%d\n", g_bAutoconnect,
              SettingSourceName(share.autoconnect.source), g_nReleaseAfterMin, g_bReleaseOnLock, g_bShareNotices);
    if (bStart) {
        InterlockedExchange(&g_bWantConnect, WishAtStart(g_bAutoconnect));
        g_bWishBeforeSuspend = g_bWantConnect;
    }
    return 1;
}

static HMODULE WtsLibrary()
{
    return LoadLibraryExA(WTS_LIBRARY, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int WatchSessionLock(HWND hWnd)
{
    if (!g_bReleaseOnLock || s_bSessionWatched)
        return s_bSessionWatched;
    HMODULE hWts = WtsLibrary();
    WTSRegisterFn pfnRegister = hWts ? (WTSRegisterFn)GetProcAddress(hWts, "WTSRegisterSessionNotification") : nullptr;
    s_bSessionWatched = pfnRegister && pfnRegister(hWnd, NOTIFY_FOR_THIS_SESSION) ? 1 : 0;
    Trace("Share: session lock %s\n", s_bSessionWatched ? "watched" : "cannot be watched");
    return s_bSessionWatched;
}

void StopWatchingSessionLock(HWND hWnd)
{
    if (!s_bSessionWatched)
        return;
    s_bSessionWatched = 0;
    // Loaded by the registration, so already in the process.
    HMODULE hWts = GetModuleHandleA(WTS_LIBRARY);
    WTSUnRegisterFn pfnUnregister = hWts ? (WTSUnRegisterFn)GetProcAddress(hWts, "WTSUnRegisterSessionNotification") : nullptr;
    if (pfnUnregister)
        pfnUnregister(hWnd);
}

// The box acted on: named in Setting.ini, else the first listed (0: none yet).
static unsigned int ServerIdActedOn()
{
    if (g_serverChoice.bNamed)
        return g_serverChoice.dwServerId;
    unsigned int dwServerId = 0;
    const _WUSB_SERVER* pServer = ChosenServer();
    if (pServer)
        GetServerId(pServer, &dwServerId);
    return dwServerId;
}

void HoldWishSlot()
{
    // A named box has slots of its own; an agent taking the first listed counts for every box.
    HoldAgentSlot(g_bWantConnect ? 1 : 0, g_serverChoice.bNamed ? g_serverChoice.dwServerId : 0);
}

int OtherSessionWantsDevice()
{
    return OtherAgentUsing(ServerIdActedOn());
}

void ForgetRelease()
{
    g_nReleased = RELEASE_NONE;
}

// The device is attached here by this computer, as the last list shows it.
static int HeldHere()
{
    const _WUSB_SERVER* pServer = ChosenServer();
    char szComputer[COMPUTER_NAME_SIZE];
    lstrcpynA(szComputer, WUSBComputerName(), sizeof(szComputer));
    return g_bConnected && pServer && pServer->nDeviceCount > 0 && IsHeldBy(pServer, szComputer);
}

// The Disconnect path, remembered for the return. Only a device this computer holds,
// and only where no agent of another session may still use it (as at Exit). 1 when done.
static int GiveDeviceBack(HWND hWnd, ReleaseKind nKind, ULONGLONG nNow)
{
    const char* pszWhy = nKind == RELEASE_LOCK ? "at the session's lock" : "after a time without input";
    if (!HeldHere())
        return 0;
    if (OtherSessionWantsDevice()) {
        Trace("Share: not released %s: an agent of another session still runs\n", pszWhy);
        return 0;
    }
    g_bWishBeforeRelease = g_bWantConnect;
    g_nReleased = nKind;
    g_nReleasedAt = nNow;
    Trace("Share: released %s\n", pszWhy);
    DisconnectDevice(hWnd);
    return 1;
}

// The user is back: the wish as it was before the release; the notice follows once
// the next notifications tell whether the device came back or another computer has it.
static void ReturnFromRelease(HWND hWnd, const char* pszHow)
{
    int bWish = g_bWishBeforeRelease;
    g_nReleased = RELEASE_NONE;
    Trace("Share: back (%s), the wish is %d again\n", pszHow, bWish);
    if (!bWish)
        return;
    g_bReturnPending = 1;
    WantDevice(hWnd);
}

int OnSessionChange(HWND hWnd, WPARAM nEvent)
{
    if (nEvent == WTS_SESSION_LOCK && g_bReleaseOnLock)
        return GiveDeviceBack(hWnd, RELEASE_LOCK, GetTickCount64());
    if (nEvent == WTS_SESSION_UNLOCK && g_nReleased == RELEASE_LOCK) {
        ReturnFromRelease(hWnd, "unlocked");
        return 1;
    }
    return 0;
}

static ULONGLONG LastInputTick(ULONGLONG nNow)
{
    LASTINPUTINFO lii = {};
    lii.cbSize = sizeof(lii);
    if (!GetLastInputInfo(&lii))
        return 0;
    return InputTick64(nNow, lii.dwTime);
}

static void OnAwayStep(HWND hWnd, AwayStep nStep, ULONGLONG nNow)
{
    switch (nStep) {
    case AWAY_WARN:
        g_nAwayWarnedAt = nNow;
        // No warning of a release that would be refused; once refused, not asked again
        // until input starts a new away period.
        if (OtherSessionWantsDevice()) {
            g_bAwayRefused = 1;
            Trace("Share: not released after a time without input: an agent of another session still runs\n");
            return;
        }
        Trace("Share: away warning\n");
        g_trayView.pfnShowNotice(hWnd, NOTICE_AWAY_WARNING, nullptr);
        return;
    case AWAY_CANCEL:
        g_nAwayWarnedAt = 0;
        g_bAwayRefused = 0;
        Trace("Share: away release cancelled by input\n");
        if (g_nShareNotice == NOTICE_AWAY_WARNING)
            g_trayView.pfnEndNotice(hWnd);
        return;
    case AWAY_RELEASE:
        if (g_bAwayRefused)
            return;
        g_nAwayWarnedAt = 0;
        if (!GiveDeviceBack(hWnd, RELEASE_AWAY, nNow))
            g_bAwayRefused = 1;
        return;
    default:
        return;
    }
}

void CheckAway(HWND hWnd)
{
    // Off (the shipped choice): not even the input time is asked for.
    if (g_nReleaseAfterMin <= 0 && g_nReleased != RELEASE_AWAY && g_nAwayWarnedAt == 0)
        return;
    ULONGLONG nNow = GetTickCount64();
    CheckAwayAt(hWnd, nNow, LastInputTick(nNow));
}

void CheckAwayAt(HWND hWnd, ULONGLONG nNow, ULONGLONG nLastInput)
{
    if (g_nReleased == RELEASE_AWAY) {
        if (IsBackAfterAwayRelease(nLastInput, g_nReleasedAt))
            ReturnFromRelease(hWnd, "input");
        return;
    }
    if (!g_bConnected) {
        g_nAwayWarnedAt = 0;
        g_bAwayRefused = 0;
        return;
    }
    OnAwayStep(hWnd, DecideAwayStep(nNow, nLastInput, g_nAttachedAt, g_nReleaseAfterMin, g_nAwayWarnedAt), nNow);
}

static void OnAttachedHere(HWND hWnd)
{
    g_nAttachedAt = GetTickCount64();
    g_nAwayWarnedAt = 0;
    g_bAwayRefused = 0;
    if (g_bReturnPending) {
        g_bReturnPending = 0;
        g_trayView.pfnShowNotice(hWnd, NOTICE_BACK_CONNECTED, nullptr);
    } else if (g_bShareNotices && g_szWaitedFor[0]) {
        g_trayView.pfnShowNotice(hWnd, NOTICE_CONNECTED_AFTER_WAIT, g_szWaitedFor);
    }
    g_szWaitedFor[0] = '\0';
}

static void OnHeldElsewhere(HWND hWnd, const char* pszHolder)
{
    if (g_bWantConnect)
        lstrcpynA(g_szWaitedFor, pszHolder, sizeof(g_szWaitedFor));
    if (g_bReturnPending) {
        g_bReturnPending = 0;
        g_trayView.pfnShowNotice(hWnd, NOTICE_BACK_IN_USE, pszHolder);
    }
}

void NoteDeviceHolder(HWND hWnd, const _WUSB_SERVER* pServer)
{
    int nSeen = HOLDER_UNKNOWN;
    char szHolder[SHARE_NAME_SIZE] = "";
    if (pServer->nStatus == WUSB_STATUS_FREE) {
        nSeen = HOLDER_NONE;
    } else if (pServer->nStatus == WUSB_STATUS_IN_USE) {
        char szComputer[COMPUTER_NAME_SIZE];
        lstrcpynA(szComputer, WUSBComputerName(), sizeof(szComputer));
        nSeen = IsHeldBy(pServer, szComputer) ? HOLDER_HERE : HOLDER_OTHER;
        CopyRecordText(pServer->szHostName, sizeof(pServer->szHostName), szHolder, sizeof(szHolder));
    }
    int nBefore = g_nHolderSeen;
    if (nSeen == HOLDER_HERE && nBefore != HOLDER_HERE)
        OnAttachedHere(hWnd);
    if (nSeen == HOLDER_OTHER)
        OnHeldElsewhere(hWnd, szHolder);
    // Free after another computer had it: worth a notice where this computer does not
    // take it on its own (it does where it wants it, and says so once attached).
    if (nSeen == HOLDER_NONE && nBefore == HOLDER_OTHER && g_bShareNotices && !g_bWantConnect)
        g_trayView.pfnShowNotice(hWnd, NOTICE_FREE, g_szHolderSeen);
    if (!g_bWantConnect)
        g_szWaitedFor[0] = '\0';
    g_nHolderSeen = nSeen;
    if (nSeen == HOLDER_OTHER)
        lstrcpynA(g_szHolderSeen, szHolder, sizeof(g_szHolderSeen));
}
