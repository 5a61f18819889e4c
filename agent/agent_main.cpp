// Start-up, the one message loop, and shutdown of the agent.
#include "agent_main.h"
#include "agent_state.h"
#include "connection.h"
#include "main_window.h"
#include "../res/resource.h"
#include "../settings/settings.h"
#include "../ui/dialogs.h"
#include "../ui/tray_icon.h"
#include "../ui/tray_menu.h"
#include <cstring>

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
                                   AlreadyRunningDlgProc, 0);
    if (!hDlg)
        return 0;
    SetDlgItemTextA(hDlg, IDC_RUNNING_TEXT, g_text.msg1);
    ShowWindow(hDlg, SW_SHOW);
    RunMessageLoop();
    return 0;
}

static HWND CreateMainWindow(const char* pszClass, const char* pszTitle)
{
    return CreateWindowExA(0, pszClass, pszTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                           CW_USEDEFAULT, 0, nullptr, nullptr, g_hInst, nullptr);
}

// The folder the executable really lies in, for loading wusb.dll by full path.
static void GetExeFolder(char* pszFolder, int cchFolder)
{
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, sizeof(szPath) - 1);
    char* pSlash = strrchr(szPath, '\\');
    if (pSlash)
        *pSlash = '\0';
    lstrcpynA(pszFolder, szPath, cchFolder);
}

static void OpenClientLibrary(HWND hWnd)
{
    // Bound once per process; an unbound library fails below like a failed open.
    if (!g_wusb.pfnOpen) {
        char szFolder[MAX_PATH];
        GetExeFolder(szFolder, sizeof(szFolder));
        BindWusbLibrary(szFolder);
    }

    if (WUSBOpen(hWnd, WM_WUSB_NOTIFY, WUSB_OPEN_ARG3, WUSB_OPEN_ARG4) != 0) {
        MessageBoxA(hWnd, g_text.msg2, g_text.t1, MB_ICONERROR);
        // The exit sequence runs as soon as the loop starts.
        PostMessageA(hWnd, WM_COMMAND, IDM_EXIT, 0);
        return;
    }
    AddTrayIcon(hWnd);
    g_bNoticeShown = 1;
    WUSBManualScan();
    SetTimer(hWnd, IDT_SERVER_CHECK, SERVER_CHECK_MS, nullptr);
    OnWUSBNotify(hWnd);
}

static void CreateAboutDialog(HWND hWnd)
{
    g_hAboutDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(IDD_ABOUT), hWnd, AboutDlgProc, 0);
    ShowWindow(g_hAboutDlg, SW_HIDE);
}

int AgentMain(HINSTANCE hInstance)
{
    g_hInst = hInstance;
    char szClass[CLASS_NAME_SIZE] = {};
    char szTitle[CLASS_NAME_SIZE] = {};
    LoadStringA(hInstance, IDS_APP_CLASS, szClass, sizeof(szClass));
    LoadStringA(hInstance, IDS_APP_CLASS, szTitle, sizeof(szTitle));

    // Settings and texts come first: the already-running dialog needs msg1.
    InitAppDir();
    LoadSettings();

    if (FindWindowA(szClass, nullptr))
        return ShowAlreadyRunning();

    RegisterMainWindowClass(hInstance, szClass);
    HWND hWnd = CreateMainWindow(szClass, szTitle);
    if (!hWnd)
        return 0;
    InitializeCriticalSection(&g_csServer);
    OpenClientLibrary(hWnd);
    CreateAboutDialog(hWnd);

    RunMessageLoop();

    DeleteCriticalSection(&g_csServer);
    // The library may still be detaching the device: give it time before closing.
    Sleep(SHUTDOWN_PAUSE_MS);
    WUSBClose();
    UnbindWusbLibrary();
    return 0;
}
