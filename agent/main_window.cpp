// The hidden main window: every event of the agent arrives here and is handed on.
#include "main_window.h"
#include "agent_state.h"
#include "shutdown.h"
#include "connection.h"
#include "control.h"
#include "../ui/tray_icon.h"
#include "../ui/tray_menu.h"
#include "../res/resource.h"

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

static LRESULT OnDestroy()
{
    PostQuitMessage(0);
    return 0;
}

// The icon opens the menu on the press of either button. (The shell sends the menu
// key as WM_CONTEXTMENU only to icons of version 4, which this one is not.)
static LRESULT OnTrayNotify(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (lParam) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        ShowTrayMenu(hWnd);
        return 0;
    default:
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // Registered messages have no fixed number, so they cannot be a case label.
    if (g_uTaskbarCreatedMsg != 0 && uMsg == g_uTaskbarCreatedMsg) {
        OnTaskbarCreated(hWnd);
        return 0;
    }
    switch (uMsg) {
    case WM_DESTROY:        return OnDestroy();
    case WM_COMMAND:        OnCommand(hWnd, wParam); return 0;
    case WM_TIMER:          OnTimer(hWnd, wParam); return 0;
    case WM_POWERBROADCAST: OnPowerBroadcast(hWnd, wParam); return 0;
    case WM_WUSB_NOTIFY:    OnWUSBNotify(hWnd); return 0;
    case WM_TRAY_NOTIFY:    return OnTrayNotify(hWnd, uMsg, wParam, lParam);
    case WM_COPYDATA:       return OnCopyData(hWnd, wParam, lParam);   // q5ctl's requests
    case WM_QUERYENDSESSION: return TRUE;   // never stands in the way of a logoff
    case WM_ENDSESSION:     OnEndSession(hWnd, wParam); return 0;
    // A change of the display's scaling comes as any of these three.
    case WM_DISPLAYCHANGE:  OnDisplayChange(hWnd); return 0;
    case WM_DPICHANGED:     OnDisplayChange(hWnd); return 0;
    case WM_SETTINGCHANGE:  OnDisplayChange(hWnd); return 0;
    default:                return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}
