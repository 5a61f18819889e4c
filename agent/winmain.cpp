// The Windows GUI entry point: harden DLL loading, then hand over to the agent.
#include <windows.h>
#include "agent_main.h"
#include "dll_search.h"
#include "../settings/settings.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    HardenDllSearch();
    // Active Setup waits for its logon step: it must end at once and start no agent.
    if (lpCmdLine && lstrcmpiA(lpCmdLine, PRODUCT_LOGON_SWITCH) == 0)
        return PrepareLogonStart();
    return AgentMain(hInstance);
}
