// The box the agent acts on when the library lists several.
#include "server_choice.h"
#include "agent_state.h"
#include "../settings/settings.h"
#include "rules/setting_names.h"
#include "rules/wusb_record.h"
#include "../settings/policy.h"
#include <cstring>

// The last bad value traced: each notification re-reads the file, the trace says it once.
static char s_szBadAddressTraced[SERVER_ADDRESS_TEXT_SIZE];

void ReadServerChoice(const char* pszSettingIni, ServerChoice* pChoice)
{
    memset(pChoice, 0, sizeof(*pChoice));
    // A policy's address wins; the reader lets through only an address that parses.
    SettingValue policy;
    SetBuiltIn(&policy, 0);
    if (ReadPolicyText(PRODUCT_POLICY_SERVER_VALUE, pChoice->szAddress, sizeof(pChoice->szAddress), &policy)) {
        unsigned char abAddr[4];
        pChoice->bNamed = ParseServerAddress(pChoice->szAddress, abAddr);
        pChoice->dwServerId = ServerIdOfAddress(abAddr);
        pChoice->source = policy.source;
        return;
    }
    GetPrivateProfileStringA(INI_SERVER_SECTION, INI_ADDRESS_KEY, "", pChoice->szAddress, sizeof(pChoice->szAddress),
                             pszSettingIni);
    if (pChoice->szAddress[0] == '\0')
        return;
    pChoice->source = SOURCE_SETTING_INI;
    unsigned char abAddr[4];
    if (ParseServerAddress(pChoice->szAddress, abAddr)) {
        pChoice->bNamed = 1;
        pChoice->dwServerId = ServerIdOfAddress(abAddr);
        s_szBadAddressTraced[0] = '\0';
        return;
    }
    if (strcmp(s_szBadAddressTraced, pChoice->szAddress) != 0) {
        lstrcpynA(s_szBadAddressTraced, pChoice->szAddress, sizeof(s_szBadAddressTraced));
        Trace("Setting.ini [server] address=%s is no IPv4 address: using the first server\n", pChoice->szAddress);
    }
}

int FindChosenServer(const _WUSB_SERVER* pServers, int nCount, const ServerChoice* pChoice)
{
    if (nCount > MAX_SERVERS)
        nCount = MAX_SERVERS;
    if (nCount <= 0)
        return -1;
    if (!pChoice->bNamed)
        return 0;
    for (int i = 0; i < nCount; ++i) {
        unsigned int dwId = 0;
        if (GetServerId(&pServers[i], &dwId) && dwId == pChoice->dwServerId)
            return i;
    }
    return -1;
}

void RefreshServerChoice()
{
    ReadServerChoice(g_szSettingIni, &g_serverChoice);
}

_WUSB_SERVER* ChosenServer()
{
    int i = FindChosenServer(g_servers, g_nServerNum, &g_serverChoice);
    return i >= 0 ? &g_servers[i] : nullptr;
}
