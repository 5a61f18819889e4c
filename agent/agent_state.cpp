// The agent's shared state with its start values, and the debugger trace.
#include "agent_state.h"
#include <cstdarg>
#include <cstdio>

volatile LONG g_bWantConnect = 1;
int g_bNeedScan = 1;
int g_bShowIdle = 1;
int g_bStartWithWindows = 1;
int g_nConnectItem = CONNECT_ITEM_NO_DEVICE;
int g_bPoorSignalNotice = 1;
volatile LONG g_bConnected = 0;
int g_nServerNum = 0;
int g_bNoticeShown = 0;
int g_bImportPending = 0;
int g_bResumed = 0;
int g_nStatus = STATUS_NONE;
int g_bDeviceAccepted = 0;
int g_bLibraryClosed = 0;
int g_bit_rate = 0;
char g_szDeviceUrl[DEVICE_URL_SIZE];
char g_szDeviceMenu[DEVICE_MENU_SIZE];
_WUSB_SERVER g_servers[MAX_SERVERS];
ServerChoice g_serverChoice;
char g_szAppDir[APP_PATH_SIZE];
char g_szSettingIni[APP_PATH_SIZE];
int g_nLangCount = 0;
char** g_ppLangNames = nullptr;
char** g_ppLangCodes = nullptr;
int g_nCurLang = 0;
LangText g_text;
NOTIFYICONDATAA g_nid;
HINSTANCE g_hInst = nullptr;
HWND g_hAboutDlg = nullptr;
HMENU g_hMenuBar = nullptr, g_hPopupMenu = nullptr, g_hDeviceMenu = nullptr,
      g_hOptionMenu = nullptr, g_hLangMenu = nullptr;
CRITICAL_SECTION g_csServer;
char g_szTrace[TRACE_SIZE];

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
