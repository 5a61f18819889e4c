// The About dialog and the already-running dialog.
#pragma once
#include <windows.h>

// The modeless About dialog, hidden between showings; null before start-up makes it
// and after exit destroys it.
extern HWND g_hAboutDlg;

// Creates it hidden, owned by hOwner, into g_hAboutDlg; 1 when it exists.
int CreateAboutDialog(HWND hOwner);
// Destroys it (its destruction posts the quit message) and forgets it. 1.
int DestroyAboutDialog();
INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AlreadyRunningDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
int CenterDialog(HWND hDlg);
int RefreshAboutDialog(HWND hDlg);
