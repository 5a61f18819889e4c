// Tray icon (to be completed).
#include "tray_icon.h"
#include "../agent/agent_state.h"

UINT g_uTaskbarCreatedMsg = 0;

int AddTrayIcon(HWND) { return 1; }
int PresentStatus(HWND, TrayPresentation, const char*) { return 1; }
int UpdateTrayIcon(HWND, const char*) { return 1; }
int RecreateTrayIcon() { return 1; }
int RemoveTrayIcon() { return 1; }
int OnTaskbarCreated(HWND) { return 1; }
