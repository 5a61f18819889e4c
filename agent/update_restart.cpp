// Restart registration: Windows Installer, through the Restart Manager, closes the
// registered agents of every session before it replaces their files (WM_QUERYENDSESSION
// and WM_ENDSESSION with ENDSESSION_CLOSEAPP, handled as an Exit), and starts them
// again in their sessions afterwards.
#include "update_restart.h"
#include "agent_state.h"

int RegisterForUpdateRestart()
{
    HRESULT hr = RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
    Trace("RegisterApplicationRestart = 0x%08lX\n", (unsigned long)hr);
    return SUCCEEDED(hr) ? 1 : 0;
}
