// Process entry after the runtime's start-up: start-up, message loop, shutdown.
#pragma once
#include <windows.h>

// Runs the agent; returns the process exit code (always 0).
int AgentMain(HINSTANCE hInstance);
// Runs the thread's message loop until WM_QUIT, without dialog keyboard handling.
void RunMessageLoop();
