// The Windows GUI entry point: harden DLL loading, then hand over to the agent.
#include <windows.h>
#include "agent_main.h"
#include "dll_search.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    HardenDllSearch();
    return AgentMain(hInstance);
}
