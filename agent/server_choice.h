// Which of the listed boxes the agent acts on: the one Setting.ini names in
// [server] "address", or the first listed when none is named. Discovery decides
// the list's order, so an office with several boxes names the one it means.
#pragma once
#include "wusb/wusb_server.h"
#include "../settings/setting_source.h"
#include "product.h"
#include <cstddef>

// Longest "address" value kept; a longer one cannot be four numbers anyway.
constexpr int SERVER_ADDRESS_TEXT_SIZE = PRODUCT_SERVER_ADDRESS_SIZE;

// The choice read from a policy or Setting.ini.
struct ServerChoice {
    int bNamed;                                  // a valid address is set
    unsigned int dwServerId;                     // its server id, when named
    char szAddress[SERVER_ADDRESS_TEXT_SIZE];    // the value as written ("" when absent)
    SettingSource source;                        // where szAddress came from (built in: none)
};

// Reads the policy "server" (an address, computer policy over user policy; anything
// else is ignored), else [server] "address" from the Setting.ini given. Absent, empty or not four
// numbers 0-255: not named (first server), and a bad value is traced once.
void ReadServerChoice(const char* pszSettingIni, ServerChoice* pChoice);
// Index of the chosen server in a list of nCount records, or -1 when the list is
// empty or the named server is not in it.
int FindChosenServer(const _WUSB_SERVER* pServers, int nCount, const ServerChoice* pChoice);

// The agent's choice, re-read at every state change like the device list.
void RefreshServerChoice();
// The server the agent acts on in g_servers as last fetched, or null.
_WUSB_SERVER* ChosenServer();
