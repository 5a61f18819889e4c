// The notification-area icon: one record, g_nid, reused for every call to the shell.
#include "tray_icon.h"
#include "../agent/agent_state.h"
#include "../settings/language.h"
#include "../res/resource.h"
#include <cstdio>
#include <cstring>

// The shell reads the whole ANSI record; a shorter layout would lose the notice fields.
static_assert(sizeof(NOTIFYICONDATAA) == 528, "NOTIFYICONDATAA must be the full 528-byte record");

constexpr UINT TRAY_FLAGS_ADD = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;   // 23
constexpr UINT TRAY_FLAGS_UPDATE = NIF_MESSAGE | NIF_ICON | NIF_TIP;           // 7
constexpr UINT TRAY_FLAGS_REMOVE = 0;
constexpr DWORD NOTICE_TIMEOUT_MS = 100;
constexpr int SMALL_ICON_SIZE_96DPI = 16;   // the notification area's size before scaling
static_assert(TRAY_FLAGS_ADD == 23 && TRAY_FLAGS_UPDATE == 7, "flags the shell expects");
static_assert(sizeof(g_nid.szTip) == TOOLTIP_SIZE, "tooltip field size");

NOTIFYICONDATAA g_nid;
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

// Both images of the icon, loaded at one size; replaced together when the size changes.
struct TrayImage {
    int nIconId;
    HICON hIcon;
};
static TrayImage s_images[] = {{IDI_DISCONNECTED, nullptr}, {IDI_CONNECTED, nullptr}};
static int s_nImageSize = 0;

// Windows 10 1607 and later: resolved at run time, so the agent still starts on Windows 7.
typedef UINT(WINAPI* GetDpiForWindowFn)(HWND);
typedef int(WINAPI* GetSystemMetricsForDpiFn)(int, UINT);

// The notification area's icon size at the window's DPI, which follows a change of the
// display's scaling; older systems have one DPI per session, which GetSystemMetrics uses.
static int TrayImageSize(HWND hWnd)
{
    HMODULE hUser = GetModuleHandleA("user32.dll");
    GetDpiForWindowFn pfnDpi = (GetDpiForWindowFn)GetProcAddress(hUser, "GetDpiForWindow");
    GetSystemMetricsForDpiFn pfnMetric = (GetSystemMetricsForDpiFn)GetProcAddress(hUser, "GetSystemMetricsForDpi");
    UINT nDpi = pfnDpi && hWnd ? pfnDpi(hWnd) : 0;
    int nSize = pfnMetric && nDpi ? pfnMetric(SM_CXSMICON, nDpi) : GetSystemMetrics(SM_CXSMICON);
    return nSize > 0 ? nSize : SMALL_ICON_SIZE_96DPI;
}

// Loads both images at the window's size when they are not at it yet, points g_nid at the
// new image of the same picture and destroys the old ones: the shell keeps its own copy.
// 1 when the images were replaced.
static int LoadTrayImages(HWND hWnd)
{
    int nSize = TrayImageSize(hWnd);
    if (nSize == s_nImageSize)
        return 0;
    for (TrayImage& image : s_images) {
        HICON hNew = (HICON)LoadImageA(g_hInst, MAKEINTRESOURCEA(image.nIconId), IMAGE_ICON, nSize, nSize, 0);
        if (!hNew)
            continue;   // the old image, at the wrong size, beats none
        if (image.hIcon && g_nid.hIcon == image.hIcon)
            g_nid.hIcon = hNew;
        if (image.hIcon)
            DestroyIcon(image.hIcon);
        image.hIcon = hNew;
    }
    s_nImageSize = nSize;
    return 1;
}

HICON TrayImageOf(int nIconId)
{
    for (const TrayImage& image : s_images)
        if (image.nIconId == nIconId)
            return image.hIcon;
    return nullptr;
}

static HICON LoadTrayImage(HWND hWnd, int nIconId)
{
    LoadTrayImages(hWnd);
    return TrayImageOf(nIconId);
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
    g_nid.hIcon = LoadTrayImage(hWnd, IDI_DISCONNECTED);
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
    g_nid.hIcon = LoadTrayImage(hWnd, look.nIconId);

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
    // A new taskbar may come with a new scale (Explorer restarted after a change).
    LoadTrayImages(hWnd);
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

int OnDisplayChange(HWND hWnd)
{
    // Nothing shown yet (or never: the library failed to open); the add loads the images.
    if (g_nid.cbSize == 0 || !LoadTrayImages(hWnd))
        return 0;
    g_nid.uFlags = TRAY_FLAGS_UPDATE;
    Shell_NotifyIconA(NIM_MODIFY, &g_nid);
    return 1;
}
