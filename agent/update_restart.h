// Being closed and started again by an installer that replaces the agent's files.
#pragma once

// Registers the agent with Windows for a restart after the Restart Manager closed it
// for an update (no arguments: a start is a start). Not after a crash, a hang or a
// reboot: the Run value starts the agent at logon, and a second start there would
// only show "already running". 1 when Windows took the registration.
int RegisterForUpdateRestart();
