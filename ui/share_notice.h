// The sharing notices: balloons of the tray icon that say the device will be given
// back, came back, became free or came after a wait. Unlike the start-up notice they
// stay until Windows takes them down or the user clicks them.
#pragma once
#include <windows.h>
#include "agent/tray_view.h"


// Tick the standing sharing notice was shown.
extern ULONGLONG g_nShareNoticeAt;
// A notice longer than this without word from Windows counts as gone: the icon's
// periodic re-creation then goes on (the longest time Windows shows one).
constexpr ULONGLONG SHARE_NOTICE_MAX_MS = 5 * 60 * 1000;

// Shows the notice on the tray icon, with the computer's name for "%1". 1 when sent.
int ShowShareNotice(HWND hWnd, ShareNotice nNotice, const char* pszName);
// Takes a standing sharing notice down (a warning that input made untrue).
int EndShareNotice(HWND hWnd);
// 1 while a sharing notice stands: the periodic re-creation of the icon waits for it.
int ShareNoticeShowing();
// WM_TRAY_NOTIFY with a balloon's end or click (lParam); 1 when it was about a
// sharing notice, 0 when it is none of ours (the start-up notice's).
int OnShareNoticeEvent(HWND hWnd, LPARAM lParam);
