// The notification-area icon: one record, g_nid, reused for every call to the shell.
#include "tray_icon.h"
#include "../agent/agent_state.h"
#include "../res/resource.h"
#include <cstdio>
#include <cstring>

// The shell reads the whole ANSI record; a shorter layout would lose the notice fields.
static_assert(sizeof(NOTIFYICONDATAA) == 528, "NOTIFYICONDATAA must be the full 528-byte record");

constexpr UINT TRAY_FLAGS_ADD = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;   // 23
constexpr UINT TRAY_FLAGS_UPDATE = NIF_MESSAGE | NIF_ICON | NIF_TIP;           // 7
constexpr UINT TRAY_FLAGS_REMOVE = 0;
constexpr DWORD NOTICE_TIMEOUT_MS = 100;
constexpr int TRAY_IMAGE_SIZE = 16;

static_assert(TRAY_FLAGS_ADD == 23 && TRAY_FLAGS_UPDATE == 7, "flags the shell expects");
static_assert(sizeof(g_nid.szTip) == TOOLTIP_SIZE, "tooltip field size");

UINT g_uTaskbarCreatedMsg = 0;

// Image and words of each TrayPresentation, in enum order.
struct PresentationLook {
    int nIconId;
    const char* pszStatus;   // g_text field; the occupied one is followed by the host name
};

static const PresentationLook s_looks[] = {
    {IDI_DISCONNECTED, g_text.t2},   // TP_NO_DEVICE
    {IDI_DISCONNECTED, g_text.t3},   // TP_DISCONNECTED
    {IDI_DISCONNECTED, g_text.t4},   // TP_OCCUPIED
    {IDI_CONNECTED, g_text.t5},      // TP_CONNECTED
    {IDI_DISCONNECTED, g_text.t6},   // TP_POOR_SIGNAL
};
static_assert(sizeof(s_looks) / sizeof(s_looks[0]) == TP_POOR_SIGNAL + 1, "one look per presentation");

// Shared images come back as the same handle on every load and are never destroyed.
static HICON LoadTrayImage(int nIconId)
{
    return (HICON)LoadImageA(g_hInst, MAKEINTRESOURCEA(nIconId), IMAGE_ICON, TRAY_IMAGE_SIZE,
                             TRAY_IMAGE_SIZE, LR_SHARED);
}

int AddTrayIcon(HWND hWnd)
{
    // Explorer broadcasts this after a restart; the window procedure then re-adds the icon.
    g_uTaskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");

    memset(&g_nid, 0, sizeof(g_nid));
    g_nid.cbSize = sizeof(g_nid);
    g_nid.hWnd = hWnd;
    g_nid.uID = TRAY_ICON_ID;
    g_nid.uFlags = TRAY_FLAGS_ADD;
    g_nid.uCallbackMessage = WM_TRAY_NOTIFY;
    g_nid.hIcon = LoadTrayImage(IDI_DISCONNECTED);
    lstrcpynA(g_nid.szTip, g_text.t1, sizeof(g_nid.szTip));
    lstrcpynA(g_nid.szInfoTitle, g_text.t1, sizeof(g_nid.szInfoTitle));
    lstrcpynA(g_nid.szInfo, g_text.tip1, sizeof(g_nid.szInfo));
    g_nid.dwInfoFlags = NIIF_INFO;
    g_nid.uTimeout = NOTICE_TIMEOUT_MS;
    Shell_NotifyIconA(NIM_ADD, &g_nid);
    return 1;
}

int PresentStatus(HWND hWnd, TrayPresentation nPresentation, const char* pszHostName)
{
    if (nPresentation < TP_NO_DEVICE || nPresentation > TP_POOR_SIGNAL)
        return 0;
    const PresentationLook& look = s_looks[nPresentation];
    g_nid.hIcon = LoadTrayImage(look.nIconId);

    // snprintf cuts a long host name at the field's 127 characters.
    char szTip[TOOLTIP_SIZE];
    if (nPresentation == TP_OCCUPIED)
        snprintf(szTip, sizeof(szTip), "%s - %s %s", g_text.t1, look.pszStatus, pszHostName ? pszHostName : "");
    else
        snprintf(szTip, sizeof(szTip), "%s - %s", g_text.t1, look.pszStatus);
    return UpdateTrayIcon(hWnd, szTip);
}

int UpdateTrayIcon(HWND hWnd, const char* pszTooltip)
{
    g_nid.hWnd = hWnd;
    g_nid.uID = TRAY_ICON_ID;
    lstrcpynA(g_nid.szTip, pszTooltip ? pszTooltip : "", sizeof(g_nid.szTip));
    g_nid.uFlags = TRAY_FLAGS_UPDATE;
    Shell_NotifyIconA(NIM_MODIFY, &g_nid);
    return 1;
}

// Adding without NIF_INFO is the only way to take a showing notice away.
int RecreateTrayIcon()
{
    g_nid.uFlags = TRAY_FLAGS_UPDATE;
    Shell_NotifyIconA(NIM_DELETE, &g_nid);
    Shell_NotifyIconA(NIM_ADD, &g_nid);
    return 1;
}

int RemoveTrayIcon()
{
    g_nid.uFlags = TRAY_FLAGS_REMOVE;
    Shell_NotifyIconA(NIM_DELETE, &g_nid);
    return 1;
}

int OnTaskbarCreated(HWND hWnd)
{
    // Never added (library failed to open): there is nothing to put back.
    if (g_nid.cbSize == 0)
        return 0;
    g_nid.hWnd = hWnd;
    g_nid.uFlags = TRAY_FLAGS_UPDATE;
    Shell_NotifyIconA(NIM_ADD, &g_nid);
    return 1;
}

static const char* StatusWord(int nStatus)
{
    switch (nStatus) {
    case STATUS_NO_DEVICE: return g_text.t2;
    case STATUS_DISCONNECTED: return g_text.t3;
    case STATUS_OCCUPIED: return g_text.t4;   // without the holder's name
    case STATUS_CONNECTED: return g_text.t5;
    default: return nullptr;
    }
}

void RetitleTrayIcon(HWND hWnd)
{
    const char* pszStatus = StatusWord(g_nStatus);
    if (!pszStatus)
        return;
    char szTip[TOOLTIP_SIZE];
    snprintf(szTip, sizeof(szTip), "%s - %s", g_text.t1, pszStatus);
    UpdateTrayIcon(hWnd, szTip);
}
