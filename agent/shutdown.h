// The one way the agent ends: Exit from the tray menu, the end by setup (which
// chooses Exit), the session's end, and the library's close after the loop.
#pragma once
#include <windows.h>

// The library stays open this long after the loop, so a detach can finish.
constexpr DWORD SHUTDOWN_PAUSE_MS = 3000;

// The exit sequence: the device, the icon, the language lists, the windows (whose
// destruction ends the loop). Returns 1.
int ExitAgent(HWND hWnd);
// WM_ENDSESSION: when the session really ends, the exit sequence, the detach
// wait and WUSBClose, all before returning. nEndFlags is its lParam: a logoff
// (ENDSESSION_LOGOFF) and the Restart Manager's close request (ENDSESSION_CLOSEAPP)
// leave the device to another session's agent; a shutdown does not.
void OnEndSession(HWND hWnd, WPARAM bEnding, LPARAM nEndFlags);
// 1 when WM_ENDSESSION's flags say the whole computer shuts down or restarts.
int EndsWholeComputer(LPARAM nEndFlags);
// After the loop: the pause that lets a detach finish, then WUSBClose (once).
void FinishShutdown();
