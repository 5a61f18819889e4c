// Process-wide agent state: every variable the handlers share, and the
// constants more than one file needs. One thread touches all of it.
#pragma once
#include <windows.h>
#include <cstdarg>
#include <cstddef>
#include "wusb/wusb.h"
#include "server_choice.h"
#include "rules/wusb_record.h"

// ---- Messages --------------------------------------------------------------
constexpr UINT WM_TRAY_NOTIFY = WM_APP + 300;        // from the tray icon

// ---- Buffer sizes ----------------------------------------------------------
constexpr int TRACE_SIZE = 2048;
constexpr int DEVICE_MENU_SIZE = 64;

// Connect item states (g_nConnectItem).
enum ConnectItem {
    CONNECT_ITEM_POOR_SIGNAL, CONNECT_ITEM_CONNECTED, CONNECT_ITEM_OCCUPIED, CONNECT_ITEM_NO_DEVICE, CONNECT_ITEM_FREE
};

// Presented statuses (g_nStatus); STATUS_NONE until the first presentation.
enum PresentedStatus { STATUS_NONE = 0, STATUS_NO_DEVICE = 2, STATUS_DISCONNECTED, STATUS_OCCUPIED, STATUS_CONNECTED };

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
extern HINSTANCE g_hInst;
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

// Every AgentState variable (but the lock and the instance) at its start value, with the
// program's paths and the language state of settings/; the first act of the agent. The
// language lists must have been released. The screen's state (ui/) starts zeroed.
void SetAgentStartValues();
// Formats like printf into g_szTrace (always terminated) and sends it to the debugger.
void Trace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
// The same into a buffer of the caller's, for traces that keep their own.
void TraceInto(char* pszBuffer, size_t cbBuffer, const char* pszFormat, va_list args);
