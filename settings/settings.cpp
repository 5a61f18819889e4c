// Settings (to be completed).
#include "settings.h"
#include "../agent/agent_state.h"

int InitAppDir() { return 1; }
int LoadSettings() { return 0; }
void ToggleStartWithWindows() {}
