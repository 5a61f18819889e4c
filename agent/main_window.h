// The hidden main window: class registration and the message dispatch table.
#pragma once
#include <windows.h>

// Registers the main window class under the given name; returns the atom or 0.
ATOM RegisterMainWindowClass(HINSTANCE hInstance, const char* pszClass);
LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
