// The About dialog and the already-running dialog.
#pragma once
#include <windows.h>

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AlreadyRunningDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
int CenterDialog(HWND hDlg);
int RefreshAboutDialog(HWND hDlg);
