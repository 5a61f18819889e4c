// Dialogs (to be completed).
#include "dialogs.h"
#include "../agent/agent_state.h"

INT_PTR CALLBACK AboutDlgProc(HWND, UINT uMsg, WPARAM, LPARAM)
{
    if (uMsg == WM_DESTROY)
        PostQuitMessage(0);
    return uMsg == WM_INITDIALOG;
}

INT_PTR CALLBACK AlreadyRunningDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    if (uMsg == WM_COMMAND && LOWORD(wParam) == IDOK) {
        ShowWindow(hDlg, SW_HIDE);
        DestroyWindow(hDlg);
        return TRUE;
    }
    if (uMsg == WM_DESTROY)
        PostQuitMessage(0);
    return uMsg == WM_INITDIALOG;
}

int CenterDialog(HWND) { return 1; }
int RefreshAboutDialog(HWND) { return 1; }
