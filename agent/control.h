// The agent's side of q5ctl's channel: every request is checked (size, version, verb,
// argument, answer window) before anything is done, and refused without a change of
// state when any of it is wrong.
#pragma once
#include <windows.h>

// How long the agent waits for q5ctl to take an answer; a hung q5ctl costs no more.
constexpr UINT CONTROL_REPLY_TIMEOUT_MS = 2000;
// Runs of one session that may hold the device at the same time.
constexpr int MAX_CONTROL_RUNS = 16;

// WM_COPYDATA: TRUE when the request was carried out and answered, FALSE when refused.
LRESULT OnCopyData(HWND hWnd, WPARAM wParam, LPARAM lParam);
// From the end of the start-up (library open, first list read) the agent answers;
// before, a request gets no answer, so a q5ctl that started the agent waits on.
void OpenControlChannel();
// Runs of this session still holding the device (ended processes are forgotten first).
int CountControlRuns();
// Forgets every run, as at the agent's start (tests).
void ResetControlRuns();
