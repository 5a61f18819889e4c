// The connection state machine: library notifications, timers, power events,
// and the Connect and Disconnect commands.
#pragma once
#include <windows.h>

int OnWUSBNotify(HWND hWnd);
int OnTimer(HWND hWnd, UINT_PTR nTimerId);
int OnPowerBroadcast(HWND hWnd, WPARAM nEvent);
int ConnectDevice(HWND hWnd);
int DisconnectDevice(HWND hWnd);
int ShowNoDevice(HWND hWnd);
