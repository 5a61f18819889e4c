// The hidden main window: every event of the agent arrives here and is handed on.
#include "main_window.h"
#include "agent_state.h"
#include "shutdown.h"
#include "connection.h"
#include "device_sharing.h"
#include "control.h"
#include "tray_view.h"
#include "../res/resource.h"
#include <shellapi.h>

ATOM RegisterMainWindowClass(HINSTANCE hInstance, const char* pszClass)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_APP));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));   // IDC_ARROW
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = pszClass;
    return RegisterClassExA(&wc);
}

static LRESULT OnDestroy(HWND hWnd)
{
    StopWatchingSessionLock(hWnd);
    PostQuitMessage(0);
    return 0;
}

// The icon opens the menu on the press of either button, and on the menu key or
// Shift+F10, which a shell sends as WM_CONTEXTMENU.
static LRESULT OnTrayNotify(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (lParam) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_CONTEXTMENU:
        g_trayView.pfnShowMenu(hWnd);
        return 0;
    // A sharing notice's end or click; the start-up notice's go on as before.
    case NIN_BALLOONHIDE:
    case NIN_BALLOONTIMEOUT:
    case NIN_BALLOONUSERCLICK:
        if (g_trayView.pfnOnNoticeEvent(hWnd, lParam))
            return 0;
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    default:
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // Registered messages have no fixed number, so they cannot be a case label.
    const UINT uTaskbarCreatedMsg = *g_trayView.puTaskbarCreatedMsg;
    if (uTaskbarCreatedMsg != 0 && uMsg == uTaskbarCreatedMsg) {
        g_trayView.pfnOnTaskbarCreated(hWnd);
        return 0;
    }
    switch (uMsg) {
    case WM_DESTROY:        return OnDestroy(hWnd);
    case WM_COMMAND:        g_trayView.pfnOnCommand(hWnd, wParam); return 0;
    case WM_TIMER:          OnTimer(hWnd, wParam); return 0;
    case WM_POWERBROADCAST: OnPowerBroadcast(hWnd, wParam); return 0;
    case WM_WUSB_NOTIFY:    OnWUSBNotify(hWnd); return 0;
    case WM_TRAY_NOTIFY:    return OnTrayNotify(hWnd, uMsg, wParam, lParam);
    case WM_COPYDATA:       return OnCopyData(hWnd, wParam, lParam);   // q5ctl's requests
    // Never stands in the way of a logoff, a shutdown or an installer's close request.
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:     OnEndSession(hWnd, wParam, lParam); return 0;
    case WM_WTSSESSION_CHANGE: OnSessionChange(hWnd, wParam); return 0;
    // A change of the display's scaling comes as any of these three.
    case WM_DISPLAYCHANGE:  g_trayView.pfnOnDisplayChange(hWnd); return 0;
    case WM_DPICHANGED:     g_trayView.pfnOnDisplayChange(hWnd); return 0;
    case WM_SETTINGCHANGE:  g_trayView.pfnOnDisplayChange(hWnd); return 0;
    default:                return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}
