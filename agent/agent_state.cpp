// The agent's shared state with its start values, and the debugger trace.
#include "agent_state.h"
#include "../settings/share_text.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

// Defined without values: SetAgentStartValues gives each its start value, in one place.
volatile LONG g_bWantConnect;
int g_bNeedScan;
int g_bShowIdle;
int g_bStartWithWindows;
int g_nConnectItem;
int g_bPoorSignalNotice;
volatile LONG g_bConnected;
int g_nServerNum;
int g_bNoticeShown;
int g_bImportPending;
int g_bResumed;
int g_nStatus;
int g_bDeviceAccepted;
int g_bLibraryClosed;
int g_bRunEntryKept;
int g_bit_rate;
char g_szDeviceUrl[DEVICE_URL_SIZE];
char g_szDeviceMenu[DEVICE_MENU_SIZE];
_WUSB_SERVER g_servers[MAX_SERVERS];
ServerChoice g_serverChoice;
char g_szAppDir[APP_PATH_SIZE];
char g_szSettingIni[APP_PATH_SIZE];
int g_nLangCount;
char** g_ppLangNames;
char** g_ppLangCodes;
int g_nCurLang;
LangText g_text;
HINSTANCE g_hInst;
HWND g_hAboutDlg;
CRITICAL_SECTION g_csServer;
char g_szTrace[TRACE_SIZE];
int g_bAutoconnect;
int g_nReleaseAfterMin;
int g_bReleaseOnLock;
int g_bShareNotices;
int g_bWishBeforeSuspend;
int g_nReleased;
int g_bWishBeforeRelease;
ULONGLONG g_nReleasedAt;
ULONGLONG g_nAttachedAt;
ULONGLONG g_nAwayWarnedAt;
int g_bAwayRefused;
int g_bReturnPending;
int g_nHolderSeen;
char g_szHolderSeen[SHARE_NAME_SIZE];
char g_szWaitedFor[SHARE_NAME_SIZE];
int g_nShareNotice;

void SetAgentStartValues()
{
    // The user wants the device until Disconnect; a fresh agent attaches a free device.
    g_bWantConnect = 1;
    g_bNeedScan = 1;
    g_bShowIdle = 1;
    g_bStartWithWindows = 1;
    g_nConnectItem = CONNECT_ITEM_NO_DEVICE;
    g_bPoorSignalNotice = 1;
    g_bConnected = 0;
    g_nServerNum = 0;
    g_bNoticeShown = 0;
    g_bImportPending = 0;
    g_bResumed = 0;
    g_nStatus = STATUS_NONE;
    g_bDeviceAccepted = 0;
    g_bLibraryClosed = 0;
    g_bRunEntryKept = 0;
    g_bit_rate = 0;
    memset(g_szDeviceUrl, 0, sizeof(g_szDeviceUrl));
    memset(g_szDeviceMenu, 0, sizeof(g_szDeviceMenu));
    memset(g_servers, 0, sizeof(g_servers));
    memset(&g_serverChoice, 0, sizeof(g_serverChoice));
    memset(g_szAppDir, 0, sizeof(g_szAppDir));
    memset(g_szSettingIni, 0, sizeof(g_szSettingIni));
    g_nLangCount = 0;
    g_ppLangNames = nullptr;
    g_ppLangCodes = nullptr;
    g_nCurLang = 0;
    memset(&g_text, 0, sizeof(g_text));
    memset(&g_shareText, 0, sizeof(g_shareText));
    g_hAboutDlg = nullptr;
    memset(g_szTrace, 0, sizeof(g_szTrace));
    g_bAutoconnect = 1;
    g_nReleaseAfterMin = 0;
    g_bReleaseOnLock = 0;
    g_bShareNotices = 0;
    g_bWishBeforeSuspend = 1;
    g_nReleased = RELEASE_NONE;
    g_bWishBeforeRelease = 0;
    g_nReleasedAt = 0;
    g_nAttachedAt = 0;
    g_nAwayWarnedAt = 0;
    g_bAwayRefused = 0;
    g_bReturnPending = 0;
    g_nHolderSeen = HOLDER_UNKNOWN;
    memset(g_szHolderSeen, 0, sizeof(g_szHolderSeen));
    memset(g_szWaitedFor, 0, sizeof(g_szWaitedFor));
    g_nShareNotice = 0;
}

void TraceInto(char* pszBuffer, size_t cbBuffer, const char* pszFormat, va_list args)
{
    vsnprintf(pszBuffer, cbBuffer, pszFormat, args);
    pszBuffer[cbBuffer - 1] = '\0';
    OutputDebugStringA(pszBuffer);
}

void Trace(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    TraceInto(g_szTrace, sizeof(g_szTrace), pszFormat, args);
    va_end(args);
}
