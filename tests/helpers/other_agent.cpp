// Stands in for the agent of another session of this computer (under Wine one
// prefix is one session): it holds what such an agent holds, its slot, until it
// is ended. Tests end it either way an agent ends: normally, or killed.
#include "agent/other_agents.h"
#include <windows.h>

int main()
{
    if (!ClaimAgentSlot())
        return 1;
    Sleep(INFINITE);
    return 0;
}
