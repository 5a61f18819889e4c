// What the agent hands to the screen: a decided status's presentation, the sharing
// notices, the tray icon's life, the menu and the dialogs. ui/tray_view.cpp fills the
// table with the tray's and the dialogs' functions, so the agent decides and never
// calls into ui/ by name.
#pragma once
#include <windows.h>

enum TrayPresentation {
    TP_NO_DEVICE,
    TP_DISCONNECTED,
    TP_OCCUPIED,
    TP_CONNECTED,
    TP_POOR_SIGNAL,
};

enum ShareNotice {
    NOTICE_NONE,
    NOTICE_AWAY_WARNING,       // the device will soon be given back
    NOTICE_BACK_CONNECTED,     // back after a release, the device is here again
    NOTICE_BACK_IN_USE,        // back after a release, another computer has it now
    NOTICE_FREE,               // another computer released it; a click connects
    NOTICE_CONNECTED_AFTER_WAIT,   // attached here after another computer had it
};

struct TrayView {
    int (*pfnAddIcon)(HWND hWnd);
    int (*pfnPresentStatus)(HWND hWnd, TrayPresentation nPresentation, const char* pszHostName);
    int (*pfnRecreateIcon)();
    int (*pfnRemoveIcon)();
    int (*pfnShowNotice)(HWND hWnd, ShareNotice nNotice, const char* pszName);
    int (*pfnEndNotice)(HWND hWnd);
    int (*pfnNoticeShowing)();
    // The window procedure's tray and screen messages.
    int (*pfnOnNoticeEvent)(HWND hWnd, LPARAM lParam);
    int (*pfnShowMenu)(HWND hWnd);
    int (*pfnOnCommand)(HWND hWnd, WPARAM wParam);
    int (*pfnOnTaskbarCreated)(HWND hWnd);
    int (*pfnOnDisplayChange)(HWND hWnd);
    const UINT* puTaskbarCreatedMsg;   // 0 until the icon is first added
    // The About dialog: created hidden at start-up, owned by the main window; destroyed at exit.
    int (*pfnCreateAboutDialog)(HWND hOwner);
    int (*pfnDestroyAboutDialog)();
    DLGPROC pfnAlreadyRunningDlgProc;
};
extern const TrayView g_trayView;
