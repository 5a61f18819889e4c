// The one shutdown of the agent, whichever way it is asked for.
#include "shutdown.h"
#include "agent_state.h"
#include "connection.h"
#include "device_sharing.h"
#include "server_choice.h"
#include "rules/wusb_record.h"
#include "../settings/language.h"
#include "tray_view.h"

// The detach wait at a logoff, inside the 5 s Windows gives a program to end.
constexpr DWORD ENDSESSION_DETACH_WAIT_MS = 2000;

// The device belongs to the computer, not to this session: an agent that ends gives
// it back only when no agent of another session still runs (unless the whole computer
// is going down, taking those sessions with it), and only when this computer holds it
// (a device that another computer uses is never taken from it).
// 1 when a detach was asked for.
static int ReleaseDeviceForExit(int bComputerEnds)
{
    InterlockedExchange(&g_bWantConnect, 0);
    if (!bComputerEnds && OtherSessionWantsDevice()) {
        Trace("Exit: an agent of another session still runs, the device stays attached\n");
        return 0;
    }
    const _WUSB_SERVER* pServer = ChosenServer();
    char szComputer[COMPUTER_NAME_SIZE];
    lstrcpynA(szComputer, WUSBComputerName(), sizeof(szComputer));
    unsigned int dwServerId = 0;
    if (!pServer || pServer->nDeviceCount <= 0 || !IsHeldBy(pServer, szComputer) || !GetServerId(pServer, &dwServerId))
        return 0;
    WUSBUnimportDevice(dwServerId, pServer->device.dwDeviceId);
    return 1;
}

// Held from the start of the exit sequence to the end of the process: a new start
// sees that this agent is ending, not running, and waits for it.
static HANDLE g_hEndingEvent = nullptr;

static void AnnounceEnding()
{
    if (!g_hEndingEvent)
        g_hEndingEvent = CreateEventA(nullptr, TRUE, TRUE, PRODUCT_ENDING_EVENT);
}

// The About dialog goes before the main window, whose WM_DESTROY ends the loop.
static void DestroyAgentWindows(HWND hWnd)
{
    g_trayView.pfnDestroyAboutDialog();
    DestroyWindow(hWnd);
}

// One order for every way out. The device goes first: it is what other programs
// wait for, and at a logoff Windows may end the process at any moment, while
// taking the icon away can block for seconds in a shell that is itself ending.
static int RunExitSequence(HWND hWnd, int bComputerEnds)
{
    AnnounceEnding();
    KillTimer(hWnd, IDT_SERVER_CHECK);
    int bDetached = ReleaseDeviceForExit(bComputerEnds);
    g_trayView.pfnRemoveIcon();
    FreeLangLists();
    DestroyAgentWindows(hWnd);
    return bDetached;
}

int ExitAgent(HWND hWnd)
{
    RunExitSequence(hWnd, 0);
    return 1;
}

static void CloseClientLibrary()
{
    if (g_bLibraryClosed)
        return;
    g_bLibraryClosed = 1;
    WUSBClose();
}

int EndsWholeComputer(LPARAM nEndFlags)
{
    return (nEndFlags & (LPARAM)(ENDSESSION_LOGOFF | ENDSESSION_CLOSEAPP)) == 0;
}

void OnEndSession(HWND hWnd, WPARAM bEnding, LPARAM nEndFlags)
{
    // A cancelled end changes nothing.
    if (!bEnding)
        return;
    // The Restart Manager's close request (an installer replacing our files) is an
    // Exit like the menu's; a logoff too; a shutdown ends every session at once.
    int bComputerEnds = EndsWholeComputer(nEndFlags);
    if (bComputerEnds)
        Trace("Session end: the computer shuts down, other sessions' agents end too\n");
    else if (nEndFlags & ENDSESSION_CLOSEAPP)
        Trace("Session end: closed for an update\n");
    // Windows may end the process as soon as this returns: the detach gets its
    // time here, well inside the 5 s Windows gives, and the library is closed.
    // The windows go before the close: the About dialog's last activation still
    // asks the library for the server list.
    DWORD dwStart = GetTickCount();
    int bDetached = RunExitSequence(hWnd, bComputerEnds);
    DWORD dwSpent = GetTickCount() - dwStart;
    if (bDetached && dwSpent < ENDSESSION_DETACH_WAIT_MS)
        Sleep(ENDSESSION_DETACH_WAIT_MS - dwSpent);
    CloseClientLibrary();
}

void FinishShutdown()
{
    // The library may still be detaching the device: give it time before closing.
    // A session end has closed it already.
    if (g_bLibraryClosed)
        return;
    Sleep(SHUTDOWN_PAUSE_MS);
    CloseClientLibrary();
}
