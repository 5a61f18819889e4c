// The tray popup menu and the commands it carries.
#pragma once
#include <windows.h>

// The menu bar and its popups, built once by BuildTrayMenu.
extern HMENU g_hMenuBar, g_hPopupMenu, g_hDeviceMenu, g_hOptionMenu, g_hLangMenu;

int ShowTrayMenu(HWND hWnd);
// Stores the language of menu command nCommandId, reloads, re-titles the tray icon.
void SwitchLanguage(HWND hWnd, UINT nCommandId);
int BuildTrayMenu();
int OnCommand(HWND hWnd, WPARAM wParam);
int OpenDeviceSettings();
