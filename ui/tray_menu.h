// The tray popup menu and the commands it carries.
#pragma once
#include <windows.h>

int ShowTrayMenu(HWND hWnd);
int BuildTrayMenu();
int OnCommand(HWND hWnd, WPARAM wParam);
int OpenDeviceSettings();
