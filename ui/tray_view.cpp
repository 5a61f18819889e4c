// The tray's and the dialogs' side of what the agent hands to the screen.
#include "agent/tray_view.h"
#include "dialogs.h"
#include "share_notice.h"
#include "tray_icon.h"
#include "tray_menu.h"
#include <cstring>

const TrayView g_trayView = {
    AddTrayIcon,
    PresentStatus,
    RecreateTrayIcon,
    RemoveTrayIcon,
    ShowShareNotice,
    EndShareNotice,
    ShareNoticeShowing,
    OnShareNoticeEvent,
    ShowTrayMenu,
    OnCommand,
    OnTaskbarCreated,
    OnDisplayChange,
    &g_uTaskbarCreatedMsg,
    CreateAboutDialog,
    DestroyAboutDialog,
    AlreadyRunningDlgProc,
};

void ResetScreenState()
{
    memset(&g_nid, 0, sizeof(g_nid));
    g_hMenuBar = g_hPopupMenu = g_hDeviceMenu = g_hOptionMenu = g_hLangMenu = nullptr;
    g_nShareNoticeAt = 0;
    g_hAboutDlg = nullptr;
}
