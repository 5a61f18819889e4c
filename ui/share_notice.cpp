// Sharing notices on the tray icon. Sent from a copy of g_nid, so the record the
// presentations and the re-creation use keeps the start-up notice's fields.
#include "share_notice.h"
#include "tray_icon.h"
#include "../agent/agent_state.h"
#include "../agent/connection.h"
#include "../settings/share_text.h"
#include <cstring>

ULONGLONG g_nShareNoticeAt;

constexpr UINT NOTICE_FLAGS = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
// Shown only if it can be shown now: a stale "free" is worse than none.
constexpr UINT NOTICE_FLAG_NOW_OR_NEVER = NIF_REALTIME;
constexpr DWORD WARNING_SYMBOL = NIIF_WARNING | NIIF_RESPECT_QUIET_TIME;
// Old systems honour a time-out (at most 30 s); newer ones decide for themselves.
constexpr UINT SHARE_NOTICE_TIMEOUT_MS = 30000;

struct NoticeLook {
    const char* pszTitle;   // fields of g_shareText
    const char* pszText;
    DWORD dwSymbol;
    UINT uExtraFlags;
    const char* pszTrace;
};

static const NoticeLook s_notices[] = {
    {nullptr, nullptr, 0, 0, ""},   // NOTICE_NONE
    {g_shareText.away_title, g_shareText.away_text, WARNING_SYMBOL, 0, "away warning"},
    {g_shareText.back_title, g_shareText.back_connected, NIIF_INFO, 0, "connected again"},
    {g_shareText.back_title, g_shareText.back_in_use, NIIF_INFO, 0, "in use by another computer"},
    {g_shareText.free_title, g_shareText.free_text, NIIF_INFO, NOTICE_FLAG_NOW_OR_NEVER, "free"},
    {g_shareText.connected_title, g_shareText.connected_text, NIIF_INFO, 0, "connected after a wait"},
};
static_assert(sizeof(s_notices) / sizeof(s_notices[0]) == NOTICE_CONNECTED_AFTER_WAIT + 1, "one look per notice");

int ShowShareNotice(HWND hWnd, ShareNotice nNotice, const char* pszName)
{
    // Never added (the library failed to open): no icon to carry it.
    if (nNotice <= NOTICE_NONE || nNotice > NOTICE_CONNECTED_AFTER_WAIT || g_nid.cbSize == 0)
        return 0;
    const NoticeLook& look = s_notices[nNotice];
    NOTIFYICONDATAA nid = g_nid;
    nid.hWnd = hWnd;
    nid.uFlags = NOTICE_FLAGS | look.uExtraFlags;
    lstrcpynA(nid.szInfoTitle, look.pszTitle, sizeof(nid.szInfoTitle));
    FormatNoticeText(look.pszText, pszName, nid.szInfo, sizeof(nid.szInfo));
    nid.dwInfoFlags = look.dwSymbol;
    nid.uTimeout = SHARE_NOTICE_TIMEOUT_MS;
    Shell_NotifyIconA(NIM_MODIFY, &nid);
    g_nShareNotice = nNotice;
    g_nShareNoticeAt = GetTickCount64();
    Trace("Share: notice %s: %s\n", look.pszTrace, nid.szInfo);
    return 1;
}

int EndShareNotice(HWND)
{
    if (g_nShareNotice == NOTICE_NONE)
        return 0;
    g_nShareNotice = NOTICE_NONE;
    // An empty notice text takes a showing notice down.
    NOTIFYICONDATAA nid = g_nid;
    nid.uFlags = NIF_INFO;
    nid.szInfo[0] = '\0';
    nid.szInfoTitle[0] = '\0';
    Shell_NotifyIconA(NIM_MODIFY, &nid);
    return 1;
}

int ShareNoticeShowing()
{
    if (g_nShareNotice == NOTICE_NONE)
        return 0;
    if (GetTickCount64() - g_nShareNoticeAt < SHARE_NOTICE_MAX_MS)
        return 1;
    g_nShareNotice = NOTICE_NONE;
    return 0;
}

int OnShareNoticeEvent(HWND hWnd, LPARAM lParam)
{
    if (g_nShareNotice == NOTICE_NONE)
        return 0;
    int nNotice = g_nShareNotice;
    switch (lParam) {
    case NIN_BALLOONUSERCLICK:
        g_nShareNotice = NOTICE_NONE;
        if (nNotice == NOTICE_FREE) {
            Trace("Share: the free notice was clicked: connecting\n");
            ConnectDevice(hWnd);
        }
        return 1;
    case NIN_BALLOONTIMEOUT:
    case NIN_BALLOONHIDE:
        g_nShareNotice = NOTICE_NONE;
        return 1;
    default:
        return 0;
    }
}
