// The agent's shared state with its start values, and the debugger trace.
#include "agent_state.h"
#include "../settings/language.h"
#include "../settings/settings.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

// Each value with its start value, written once: defined from these lists, and set to
// them again by SetAgentStartValues (at the agent's start, and by the tests between cases).
// The user wants the device until Disconnect; a fresh agent attaches a free device.
#define AGENT_VALUES(X) \
    X(volatile LONG, g_bWantConnect, 1) \
    X(int, g_bNeedScan, 1) \
    X(int, g_bShowIdle, 1) \
    X(int, g_bStartWithWindows, 1) \
    X(int, g_nConnectItem, CONNECT_ITEM_NO_DEVICE) \
    X(int, g_bPoorSignalNotice, 1) \
    X(volatile LONG, g_bConnected, 0) \
    X(int, g_nServerNum, 0) \
    X(int, g_bNoticeShown, 0) \
    X(int, g_bImportPending, 0) \
    X(int, g_bResumed, 0) \
    X(int, g_nStatus, STATUS_NONE) \
    X(int, g_bDeviceAccepted, 0) \
    X(int, g_bLibraryClosed, 0) \
    X(int, g_bRunEntryKept, 0) \
    X(int, g_bit_rate, 0) \
    X(int, g_bAutoconnect, 1) \
    X(int, g_nReleaseAfterMin, 0) \
    X(int, g_bReleaseOnLock, 0) \
    X(int, g_bShareNotices, 0) \
    X(int, g_bWishBeforeSuspend, 1) \
    X(int, g_nReleased, RELEASE_NONE) \
    X(int, g_bWishBeforeRelease, 0) \
    X(ULONGLONG, g_nReleasedAt, 0) \
    X(ULONGLONG, g_nAttachedAt, 0) \
    X(ULONGLONG, g_nAwayWarnedAt, 0) \
    X(int, g_bAwayRefused, 0) \
    X(int, g_bReturnPending, 0) \
    X(int, g_nHolderSeen, HOLDER_UNKNOWN) \
    X(int, g_nShareNotice, 0)
// Buffers and records, all zero at the start.
#define AGENT_BUFFERS(X) \
    X(char, g_szDeviceUrl, [DEVICE_URL_SIZE]) \
    X(char, g_szDeviceMenu, [DEVICE_MENU_SIZE]) \
    X(_WUSB_SERVER, g_servers, [MAX_SERVERS]) \
    X(ServerChoice, g_serverChoice, ) \
    X(char, g_szTrace, [TRACE_SIZE]) \
    X(char, g_szHolderSeen, [SHARE_NAME_SIZE]) \
    X(char, g_szWaitedFor, [SHARE_NAME_SIZE])

#define DEFINE_VALUE(type, name, start) type name;
#define DEFINE_BUFFER(type, name, dims) type name dims;
AGENT_VALUES(DEFINE_VALUE)
AGENT_BUFFERS(DEFINE_BUFFER)
HINSTANCE g_hInst;
CRITICAL_SECTION g_csServer;

void SetAgentStartValues()
{
#define START_VALUE(type, name, start) name = start;
#define START_BUFFER(type, name, dims) memset(&name, 0, sizeof(name));
    AGENT_VALUES(START_VALUE)
    AGENT_BUFFERS(START_BUFFER)
    // The paths and the texts are settings/'s, with their start values there.
    ResetProgramPaths();
    ResetLanguageState();
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
