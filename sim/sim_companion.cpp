// The companion DLL of the stand-in's second build: vendor libraries often ship
// DLLs of their own (a compiler runtime, a transport library) that must load
// from beside them.
#include <windows.h>

extern "C" __declspec(dllexport) int SimCompanionReady(void)
{
    return 1;
}
