// The Windows GUI entry point: harden DLL loading, then hand over to the agent.
#include <windows.h>
#include "agent_main.h"

typedef BOOL(WINAPI* PFN_SetDefaultDllDirectories)(DWORD);

// Keep the current directory and PATH out of every later library search.
static void HardenDllSearch()
{
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    auto pfnSetDefault = hKernel ? (PFN_SetDefaultDllDirectories)(void*)GetProcAddress(
                                       hKernel, "SetDefaultDllDirectories")
                                 : nullptr;
    if (pfnSetDefault)
        pfnSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryA("");
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    HardenDllSearch();
    return AgentMain(hInstance);
}
