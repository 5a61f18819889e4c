// Telling whether agents of other sessions run, by named objects Windows cleans up.
#include "other_agents.h"
#include "product.h"
#include <windows.h>
#include <cstdio>
#include <cstring>

// Room for the prefix, an address and a slot number.
constexpr int SLOT_NAME_SIZE = 96;

static HANDLE g_hAgentSlot = nullptr;
static char g_szAgentSlot[SLOT_NAME_SIZE];   // the name held, "" for none
static unsigned int g_dwSlotServerId = 0;    // the kind held

// Server id 0: the first-box kind, the name every agent used before boxes were named.
static void FormatSlotName(unsigned int dwServerId, int nSlot, char* pszName, size_t cbName)
{
    if (dwServerId == 0)
        snprintf(pszName, cbName, "%s%d", PRODUCT_AGENT_SLOT_PREFIX, nSlot);
    else
        snprintf(pszName, cbName, "%s%u.%u.%u.%u %d", PRODUCT_AGENT_SLOT_PREFIX, dwServerId & 0xFF,
                 (dwServerId >> 8) & 0xFF, (dwServerId >> 16) & 0xFF, dwServerId >> 24, nSlot);
}

static void ReleaseAgentSlot()
{
    if (g_hAgentSlot)
        CloseHandle(g_hAgentSlot);
    g_hAgentSlot = nullptr;
    g_szAgentSlot[0] = '\0';
    g_dwSlotServerId = 0;
}

int HoldAgentSlot(int bWanted, unsigned int dwServerId)
{
    if (!bWanted) {
        ReleaseAgentSlot();
        return 1;
    }
    if (g_hAgentSlot && g_dwSlotServerId == dwServerId)
        return 1;
    ReleaseAgentSlot();
    for (int i = 0; i < PRODUCT_AGENT_SLOTS; ++i) {
        char szName[SLOT_NAME_SIZE];
        FormatSlotName(dwServerId, i, szName, sizeof(szName));
        HANDLE hSlot = CreateMutexA(nullptr, FALSE, szName);
        // Taken: by this user's agent (it already exists) or another user's (access denied).
        if (hSlot && GetLastError() != ERROR_ALREADY_EXISTS) {
            g_hAgentSlot = hSlot;
            g_dwSlotServerId = dwServerId;
            lstrcpynA(g_szAgentSlot, szName, sizeof(g_szAgentSlot));
            return 1;
        }
        if (hSlot)
            CloseHandle(hSlot);
    }
    return 0;
}

int ClaimAgentSlot()
{
    if (g_hAgentSlot)
        return 1;
    return HoldAgentSlot(1, 0);
}

// 1 when a slot of that kind other than ours exists.
static int OtherSlotOfKind(unsigned int dwServerId)
{
    for (int i = 0; i < PRODUCT_AGENT_SLOTS; ++i) {
        char szName[SLOT_NAME_SIZE];
        FormatSlotName(dwServerId, i, szName, sizeof(szName));
        if (strcmp(szName, g_szAgentSlot) == 0)
            continue;
        HANDLE hSlot = OpenMutexA(SYNCHRONIZE, FALSE, szName);
        if (hSlot) {
            CloseHandle(hSlot);
            return 1;
        }
        // Another user's agent: its object exists, only not for us to open.
        if (GetLastError() == ERROR_ACCESS_DENIED)
            return 1;
    }
    return 0;
}

int OtherAgentRunning()
{
    return OtherSlotOfKind(0);
}

int OtherAgentUsing(unsigned int dwServerId)
{
    return OtherSlotOfKind(0) || (dwServerId != 0 && OtherSlotOfKind(dwServerId));
}
