// Watches the scenario file and tells the agent's window whenever the world may have changed.
#include "sim_watcher.h"
#include "sim_journal.h"
#include "sim_scenario.h"
#include "sim_world_lock.h"

// Poll period of the scenario file.
static const DWORD WATCH_PERIOD_MS = 100;

static HANDLE g_hSimWatcher = nullptr;
static HANDLE g_hSimStop = nullptr;
static HMODULE g_hSimSelfRef = nullptr;   // this DLL, referenced for the watcher's life

void SimNotify()
{
    if (g_hSimWnd && PostMessageA(g_hSimWnd, g_uSimMsg, 0, 0))
        SimJournal("notify");
}

void PollSimScenario()
{
    SimLock();
    SimFileStamp stamp = GetSimScenarioStamp();
    if (!SameSimStamp(stamp, g_simStampSeen)) {
        g_simStampSeen = stamp;
        LoadSharedSimWorld();
        SimNotify();
    }
    SimUnlock();
}

static DWORD WINAPI SimWatcherProc(LPVOID pStop)
{
    while (WaitForSingleObject((HANDLE)pStop, WATCH_PERIOD_MS) == WAIT_TIMEOUT)
        PollSimScenario();
    return 0;
}

// Drops the thread's reference on this DLL as its very last act.
static DWORD WINAPI SimWatcherMain(LPVOID pStop)
{
    SimWatcherProc(pStop);
    FreeLibraryAndExitThread(g_hSimSelfRef, 0);
    return 0;
}

int StartSimWatcher()
{
    if (g_hSimWatcher)
        return 1;
    g_simStampSeen = GetSimScenarioStamp();
    // The thread keeps this DLL loaded, so unloading the library without closing it
    // cannot pull the code out from under the thread.
    HMODULE hSelf = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCSTR)&SimWatcherMain, &hSelf))
        return 0;
    HANDLE hStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hThread = hStop ? CreateThread(nullptr, 0, SimWatcherMain, hStop, CREATE_SUSPENDED, nullptr) : nullptr;
    if (!hThread) {
        if (hStop)
            CloseHandle(hStop);
        FreeLibrary(hSelf);
        return 0;
    }
    g_hSimSelfRef = hSelf;
    ResumeThread(hThread);
    g_hSimStop = hStop;
    g_hSimWatcher = hThread;
    return 1;
}

void StopSimWatcher()
{
    SimLock();
    HANDLE hThread = g_hSimWatcher;
    HANDLE hStop = g_hSimStop;
    g_hSimWatcher = nullptr;
    g_hSimStop = nullptr;
    SimUnlock();
    if (!hThread)
        return;
    SetEvent(hStop);
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
    CloseHandle(hStop);
}
