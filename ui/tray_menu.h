// The tray popup menu and the commands it carries.
#pragma once
#include <windows.h>

int ShowTrayMenu(HWND hWnd);
int BuildTrayMenu();
int OnCommand(HWND hWnd, WPARAM wParam);
int OpenDeviceSettings();
int ExitAgent(HWND hWnd);
// The exit sequence's detach of the device, whatever the last notification said.
void DetachForExit(HWND hWnd);
// The exit sequence's end: the About dialog, then the main window (the loop ends).
void DestroyAgentWindows(HWND hWnd);
