// Gathering what the agent would see: the library bound and opened as the
// agent does it, a scan and a bounded wait for notifications, the server list,
// the agent's Setting.ini, and on request the bandwidth test.
#pragma once
#include "check_report.h"

constexpr int DEFAULT_WAIT_SECONDS = 3;
constexpr int MAX_WAIT_SECONDS = 60;

struct CheckOptions {
    int nWaitSeconds;
    int bBandwidth;
    int bJson;
};

// Fills *pFacts. The library stays open, since the records point into it: EndCheck closes it.
void RunCheck(const CheckOptions* pOptions, CheckFacts* pFacts);
void EndCheck();

// A hidden window that counts the library's notifications; one per process.
HWND CreateCheckWindow();
// Reads the list now and again at each notification, until the first server
// shows a device or dwMs have passed (a library that never notifies ends on time).
void WaitForServer(DWORD dwMs, CheckFacts* pFacts);
