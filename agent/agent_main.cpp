// Start-up and the one message loop of the agent; shutdown.cpp ends it.
#include "agent_main.h"
#include "agent_state.h"
#include "connection.h"
#include "control.h"
#include "device_sharing.h"
#include "main_window.h"
#include "other_agents.h"
#include "program_path.h"
#include "shutdown.h"
#include "update_restart.h"
#include "../res/resource.h"
#include "../settings/language.h"
#include "../settings/settings.h"
#include "tray_view.h"
#include <imm.h>
#include <cstring>

constexpr int CLASS_NAME_SIZE = 100;
// Beyond the ending agent's pause, for its exit sequence (the icon can take 2 s).
constexpr DWORD ENDING_AGENT_MARGIN_MS = 5000;

void RunMessageLoop()
{
    // No IsDialogMessage and no accelerators: the dialogs get no Tab/Enter/Escape handling.
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// A second start explains itself and ends when its dialog is closed.
static int ShowAlreadyRunning()
{
    HWND hDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(IDD_ALREADY_RUNNING), nullptr,
                                   g_trayView.pfnAlreadyRunningDlgProc, 0);
    if (!hDlg)
        return 0;
    SetDlgItemTextA(hDlg, IDC_RUNNING_TEXT, g_text.msg1);
    ShowWindow(hDlg, SW_SHOW);
    RunMessageLoop();
    return 0;
}

// Held by the agent of this session for its whole life: a start that finds it
// taken leaves, even when the first start has not made its window yet.
static HANDLE g_hInstanceMutex = nullptr;

// An agent that is ending is not running: a user who chose Exit and starts again at
// once gets the new agent as soon as the old one has closed the library.
static DWORD InstanceWaitMs()
{
    HANDLE hEnding = OpenEventA(SYNCHRONIZE, FALSE, PRODUCT_ENDING_EVENT);
    if (!hEnding)
        return 0;
    CloseHandle(hEnding);
    return SHUTDOWN_PAUSE_MS + ENDING_AGENT_MARGIN_MS;
}

// 1 when this start is the session's one agent (or already was).
static int ClaimSingleInstance()
{
    if (g_hInstanceMutex)
        return 1;
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, PRODUCT_INSTANCE_MUTEX);
    // Without the object only the window check guards, as it always did.
    if (!hMutex)
        return 1;
    // An agent that died without releasing it leaves it abandoned: ours now.
    DWORD dwWait = WaitForSingleObject(hMutex, 0);
    if (dwWait == WAIT_TIMEOUT)
        dwWait = WaitForSingleObject(hMutex, InstanceWaitMs());
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED) {
        g_hInstanceMutex = hMutex;
        return 1;
    }
    // Not kept: a start after the running agent's exit must find the name free.
    CloseHandle(hMutex);
    return 0;
}

// 1 when the session's running agent is another program file than this one (another
// installation's): this start will be refused, and must not take over its Run value.
static int AnotherProgramsAgentRuns(const char* pszClass)
{
    HWND hRunning = FindWindowA(pszClass, nullptr);
    DWORD dwPid = 0;
    if (!hRunning || !GetWindowThreadProcessId(hRunning, &dwPid) || dwPid == GetCurrentProcessId())
        return 0;
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwPid);
    if (!hProcess)
        return 0;
    WCHAR szTheirs[MAX_PATH] = {}, szOurs[MAX_PATH] = {};
    DWORD cch = MAX_PATH;
    BOOL bKnown = QueryFullProcessImageNameW(hProcess, 0, szTheirs, &cch);
    CloseHandle(hProcess);
    DWORD nOurs = GetModuleFileNameW(nullptr, szOurs, MAX_PATH);
    if (!bKnown || nOurs == 0 || nOurs >= MAX_PATH)
        return 0;
    // Either may be spelt short or long.
    WCHAR szTheirsLong[MAX_PATH] = {}, szOursLong[MAX_PATH] = {};
    DWORD nTheirs = GetLongPathNameW(szTheirs, szTheirsLong, MAX_PATH);
    nOurs = GetLongPathNameW(szOurs, szOursLong, MAX_PATH);
    const WCHAR* pszTheirs = nTheirs > 0 && nTheirs < MAX_PATH ? szTheirsLong : szTheirs;
    const WCHAR* pszOurs = nOurs > 0 && nOurs < MAX_PATH ? szOursLong : szOurs;
    return lstrcmpiW(pszTheirs, pszOurs) != 0;
}

static HWND CreateMainWindow(const char* pszClass, const char* pszTitle)
{
    return CreateWindowExA(0, pszClass, pszTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                           CW_USEDEFAULT, 0, nullptr, nullptr, g_hInst, nullptr);
}

static void OpenClientLibrary(HWND hWnd)
{
    // Bound once per process; an unbound library fails below like a failed open.
    // A folder without a faithful path has no library to offer either.
    if (!g_wusb.pfnOpen) {
        char szFolder[MAX_PATH];
        if (GetModuleFolderAnsi(nullptr, szFolder, sizeof(szFolder)))
            BindWusbLibrary(szFolder);
    }

    if (WUSBOpen(hWnd, WM_WUSB_NOTIFY, WUSB_OPEN_ARG3, WUSB_OPEN_ARG4) != 0) {
        MessageBoxA(hWnd, g_text.msg2, g_text.t1, MB_ICONERROR);
        // The exit sequence runs as soon as the loop starts.
        PostMessageA(hWnd, WM_COMMAND, IDM_EXIT, 0);
        return;
    }
    g_trayView.pfnAddIcon(hWnd);
    g_bNoticeShown = 1;
    WUSBManualScan();
    SetTimer(hWnd, IDT_SERVER_CHECK, SERVER_CHECK_MS, nullptr);
    OnWUSBNotify(hWnd);
    OpenControlChannel();
}

int AgentMain(HINSTANCE hInstance)
{
    SetAgentStartValues();
    g_hInst = hInstance;
    // Nothing in the agent takes typed text. Without an input method on this thread, the
    // activation of a window (the About dialog's at creation) starts no COM apartment,
    // which some systems do for the input method, loading the COM libraries for nothing.
    ImmDisableIME(0);
    char szClass[CLASS_NAME_SIZE] = {};
    char szTitle[CLASS_NAME_SIZE] = {};
    LoadStringA(hInstance, IDS_APP_CLASS, szClass, sizeof(szClass));
    LoadStringA(hInstance, IDS_APP_CLASS, szTitle, sizeof(szTitle));

    // Settings and texts come first: the already-running dialog needs msg1.
    InitAppDir();
    g_bRunEntryKept = AnotherProgramsAgentRuns(szClass);
    LoadSettings();

    if (!ClaimSingleInstance() || FindWindowA(szClass, nullptr))
        return ShowAlreadyRunning();
    // The wish starts from the autoconnect choice; while it is set, the agents of the
    // computer's other sessions see this one.
    ReadShareChoices(1);
    HoldWishSlot();

    RegisterMainWindowClass(hInstance, szClass);
    HWND hWnd = CreateMainWindow(szClass, szTitle);
    if (!hWnd)
        return 0;
    InitializeCriticalSection(&g_csServer);
    RegisterForUpdateRestart();
    WatchSessionLock(hWnd);
    OpenClientLibrary(hWnd);
    g_trayView.pfnCreateAboutDialog(hWnd);

    RunMessageLoop();

    DeleteCriticalSection(&g_csServer);
    FinishShutdown();
    // Never unloaded: a worker thread of the library may still be finishing,
    // and the process ends here anyway.
    return 0;
}
