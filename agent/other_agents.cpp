// Telling whether agents of other sessions run, by named objects Windows cleans up.
#include "other_agents.h"
#include "product.h"
#include <windows.h>
#include <cstdio>

// Room for the prefix and a slot number.
constexpr int SLOT_NAME_SIZE = 96;

static HANDLE g_hAgentSlot = nullptr;
static int g_nAgentSlot = -1;

static void FormatSlotName(int nSlot, char* pszName, size_t cbName)
{
    snprintf(pszName, cbName, "%s%d", PRODUCT_AGENT_SLOT_PREFIX, nSlot);
}

int ClaimAgentSlot()
{
    if (g_hAgentSlot)
        return 1;
    for (int i = 0; i < PRODUCT_AGENT_SLOTS; ++i) {
        char szName[SLOT_NAME_SIZE];
        FormatSlotName(i, szName, sizeof(szName));
        HANDLE hSlot = CreateMutexA(nullptr, FALSE, szName);
        // Taken: by this user's agent (it already exists) or another user's (access denied).
        if (hSlot && GetLastError() != ERROR_ALREADY_EXISTS) {
            g_hAgentSlot = hSlot;
            g_nAgentSlot = i;
            return 1;
        }
        if (hSlot)
            CloseHandle(hSlot);
    }
    return 0;
}

int OtherAgentRunning()
{
    for (int i = 0; i < PRODUCT_AGENT_SLOTS; ++i) {
        if (i == g_nAgentSlot)
            continue;
        char szName[SLOT_NAME_SIZE];
        FormatSlotName(i, szName, sizeof(szName));
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
