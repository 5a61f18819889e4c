// Process-wide agent state: every variable the handlers share, and the
// constants more than one file needs. One thread touches all of it.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <cstdarg>
#include <cstddef>
#include "wusb/wusb.h"
#include "product.h"
#include "server_choice.h"

// ---- Messages and timers ---------------------------------------------------
constexpr UINT WM_WUSB_NOTIFY = WM_APP + 100;        // from the client library
constexpr UINT WM_TRAY_NOTIFY = WM_APP + 300;        // from the tray icon
constexpr UINT_PTR IDT_SERVER_CHECK = 33268;         // periodic check
constexpr UINT_PTR IDT_DELAY_IMPORT = 33468;         // one-shot delayed import
constexpr UINT SERVER_CHECK_MS = 5000;
constexpr UINT DELAY_IMPORT_MS = 3000;
constexpr DWORD SHUTDOWN_PAUSE_MS = 3000;            // library stays open this long after the loop
constexpr DWORD ENDSESSION_DETACH_WAIT_MS = 2000;    // detach wait at logoff, inside Windows' 5 s
constexpr DWORD ENDING_AGENT_MARGIN_MS = 5000;       // beyond that pause, for the exit sequence (the icon can take 2 s)

// The library's open call: notification message, then two fixed arguments.
constexpr int WUSB_OPEN_ARG3 = 3000;
constexpr int WUSB_OPEN_ARG4 = 0;
constexpr int MAX_SERVERS = 8;                       // capacity of g_servers

// ---- Buffer sizes ----------------------------------------------------------
constexpr int TRACE_SIZE = 2048;
constexpr int APP_PATH_SIZE = PRODUCT_PATH_SIZE;     // MAX_PATH-sized path buffers
constexpr int CLASS_NAME_SIZE = 100;
constexpr int DEVICE_URL_SIZE = 128;
constexpr int DEVICE_MENU_SIZE = 64;
constexpr int LANG_CODE_SIZE = PRODUCT_LANG_CODE_SIZE;
constexpr int LANG_NAME_SIZE = 50;

// Connect item states (g_nConnectItem).
constexpr int CONNECT_ITEM_POOR_SIGNAL = 0;
constexpr int CONNECT_ITEM_CONNECTED = 1;
constexpr int CONNECT_ITEM_OCCUPIED = 2;
constexpr int CONNECT_ITEM_NO_DEVICE = 3;
constexpr int CONNECT_ITEM_FREE = 4;

// Presented statuses (g_nStatus); 0 until the first presentation.
constexpr int STATUS_NONE = 0;
constexpr int STATUS_NO_DEVICE = 2;
constexpr int STATUS_DISCONNECTED = 3;
constexpr int STATUS_OCCUPIED = 4;
constexpr int STATUS_CONNECTED = 5;

// ---- Texts -----------------------------------------------------------------
// Every user-visible word, filled from the current language file.
struct LangText {
    char t1[50], t2[50], t3[50], t4[50], t5[50], t6[50];
    char msg1[256], msg2[256], msg3[256];
    char msg4[30], msg5[30], msg6[30];
    char tip1[256], tip2[256], tip3[256], tip4[256];
    char M1[50], M2[50], M3[50], M4[50], M5[50], M6[50], M7[50], M8[50];
};

// ---- AgentState ------------------------------------------------------------
extern volatile LONG g_bWantConnect;   // interlocked writes only
extern int g_bNeedScan;
extern int g_bShowIdle;
extern int g_bStartWithWindows;
extern int g_nConnectItem;
extern int g_bPoorSignalNotice;
extern volatile LONG g_bConnected;     // interlocked writes only
extern int g_nServerNum;
extern int g_bNoticeShown;
extern int g_bImportPending;
extern int g_bResumed;                 // this wake was handled; cleared by the next suspend
extern int g_nStatus;
extern int g_bDeviceAccepted;
extern int g_bLibraryClosed;           // WUSBClose was called (session end or shutdown)
extern int g_bRunEntryKept;            // this start leaves the Run value as it is (another program's agent runs)
extern int g_bit_rate;
extern char g_szDeviceUrl[DEVICE_URL_SIZE];
extern char g_szDeviceMenu[DEVICE_MENU_SIZE];
extern _WUSB_SERVER g_servers[MAX_SERVERS];
extern ServerChoice g_serverChoice;     // the box Setting.ini names, read at each notification
extern char g_szAppDir[APP_PATH_SIZE];
extern char g_szSettingIni[APP_PATH_SIZE];
extern int g_nLangCount;
extern char** g_ppLangNames;
extern char** g_ppLangCodes;
extern int g_nCurLang;
extern LangText g_text;
extern HINSTANCE g_hInst;
extern HWND g_hAboutDlg;
extern CRITICAL_SECTION g_csServer;
extern char g_szTrace[TRACE_SIZE];

// ---- Sharing one device (Setting.ini [share]) --------------------------------
// The start values are the shipped choices: the wish starts set, nothing is given
// back on its own, no notice but the start-up one.
constexpr int SHARE_NAME_SIZE = 64;   // another computer's name as a notice shows it
enum ReleaseKind { RELEASE_NONE, RELEASE_AWAY, RELEASE_LOCK };
enum HolderSeen { HOLDER_UNKNOWN, HOLDER_NONE, HOLDER_HERE, HOLDER_OTHER };
extern int g_bAutoconnect;             // the choice in force: the wish at start and after a resume
extern int g_nReleaseAfterMin;         // away release after this many minutes; 0: never
extern int g_bReleaseOnLock;           // give the device back when the session is locked
extern int g_bShareNotices;            // say when the device became free, or came after a wait
extern int g_bWishBeforeSuspend;       // the wish as the last suspend found it
extern int g_nReleased;                // ReleaseKind waiting for the user's return
extern int g_bWishBeforeRelease;       // the wish that return gives back
extern ULONGLONG g_nReleasedAt;        // tick of that release
extern ULONGLONG g_nAttachedAt;        // tick the device last became attached here
extern ULONGLONG g_nAwayWarnedAt;      // tick of the away warning; 0: none standing
extern int g_bAwayRefused;             // this away period's release was refused (another session)
extern int g_bReturnPending;           // a return waits for its outcome notice
extern int g_nHolderSeen;              // HolderSeen of the last notification
extern char g_szHolderSeen[SHARE_NAME_SIZE];   // the other computer then
extern char g_szWaitedFor[SHARE_NAME_SIZE];    // the computer this one waited for ("": none)
extern int g_nShareNotice;             // the sharing notice showing (ShareNotice); 0: none

// Every AgentState variable (but the lock and the instance) at its start value; the
// first act of the agent. The language lists must have been released.
void SetAgentStartValues();
// Formats like printf into g_szTrace (always terminated) and sends it to the debugger.
void Trace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
// The same into a buffer of the caller's, for traces that keep their own.
void TraceInto(char* pszBuffer, size_t cbBuffer, const char* pszFormat, va_list args);
