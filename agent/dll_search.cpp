// Protection against planted DLLs, first act of every program of the product.
#include "dll_search.h"
#include <windows.h>

typedef BOOL(WINAPI* PFN_SetDefaultDllDirectories)(DWORD);

void HardenDllSearch()
{
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    auto pfnSetDefault = hKernel ? (PFN_SetDefaultDllDirectories)(void*)GetProcAddress(
                                       hKernel, "SetDefaultDllDirectories")
                                 : nullptr;
    if (pfnSetDefault)
        pfnSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryA("");
}
