// Notifications to the agent's window, and the thread that watches the scenario file.
#pragma once
#include "sim_state.h"

// Posts the notification message to the open session's window and journals it.
// Caller holds the lock.
void SimNotify();
// Starts watching the scenario file from its present state; 1 when running.
// Caller holds the lock.
int StartSimWatcher();
// Stops the watcher and waits for it. Caller must NOT hold the lock: the watcher takes it.
void StopSimWatcher();
// The watcher's tick: reloads and notifies if the file changed since last seen.
void PollSimScenario();
