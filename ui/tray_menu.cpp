// Tray menu (to be completed).
#include "tray_menu.h"
#include "../agent/agent_state.h"
#include "../res/resource.h"

int ShowTrayMenu(HWND) { return 0; }
int BuildTrayMenu() { return 1; }
int OnCommand(HWND hWnd, WPARAM wParam)
{
    if (LOWORD(wParam) == IDM_EXIT)
        ExitAgent(hWnd);
    return 0;
}
int OpenDeviceSettings() { return 1; }
int ExitAgent(HWND hWnd)
{
    KillTimer(hWnd, IDT_SERVER_CHECK);
    DestroyWindow(g_hAboutDlg);
    DestroyWindow(hWnd);
    return 1;
}
