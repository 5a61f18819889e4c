// The notification-area icon: start-up notice, status presentations, re-creation, and
// its images at the size the display's scaling asks for.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include "agent/tray_view.h"

constexpr UINT TRAY_ICON_ID = 106;
constexpr int TOOLTIP_SIZE = 128;


// The icon's record as last sent to the shell.
extern NOTIFYICONDATAA g_nid;
// Registered "TaskbarCreated" message; 0 until AddTrayIcon registers it.
extern UINT g_uTaskbarCreatedMsg;

int AddTrayIcon(HWND hWnd);
int PresentStatus(HWND hWnd, TrayPresentation nPresentation, const char* pszHostName);
int UpdateTrayIcon(HWND hWnd, const char* pszTooltip);
int RecreateTrayIcon();
int RemoveTrayIcon();
// The tooltip again in the current language, for the status presented (not poor signal).
void RetitleTrayIcon(HWND hWnd);
// The shell restarted: put the icon back from g_nid, without a notice.
int OnTaskbarCreated(HWND hWnd);
// The display's scaling may have changed: shows the images at the notification area's
// new size, when it differs; 1 when the icon was updated.
int OnDisplayChange(HWND hWnd);
// The image of an icon resource as the tray icon shows it (null before the first load).
HICON TrayImageOf(int nIconId);
// The icon's record, the menus, the notice's time and the About dialog's handle back to
// how a process starts with them (ui/tray_view.cpp): for the tests between cases.
void ResetScreenState();
