// Language files (to be completed).
#include "language.h"
#include "../agent/agent_state.h"

int LoadLanguage(const char*) { return 0; }
void FreeLangLists() {}
void SwitchLanguage(HWND, UINT) {}
