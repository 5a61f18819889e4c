// Connection state machine (to be completed).
#include "connection.h"
#include "agent_state.h"

int OnWUSBNotify(HWND) { return 1; }
int OnTimer(HWND, UINT_PTR) { return 1; }
int OnPowerBroadcast(HWND, WPARAM) { return 1; }
int ConnectDevice(HWND) { return 1; }
int DisconnectDevice(HWND) { return 1; }
int ShowNoDevice(HWND) { return 1; }
