// Sharing one device among several computers: the [share] choices in force, the
// release when the user is away or locks the session and the return after it, the
// agent's slot that tells the other sessions whether it wants the device, and the
// notices about who has it. The decisions themselves are in sharing.h.
#pragma once
#include <windows.h>
#include "wusb/wusb_server.h"

// Reads the [share] choices into AgentState (traced where they differ from the
// shipped ones or a value was ignored). With bStart, also the wish of a fresh agent. 1.
int ReadShareChoices(int bStart);
// Registers for the session's lock and unlock where a lock gives the device back;
// once per window. 1 when registered.
int WatchSessionLock(HWND hWnd);
// Unregisters; the window is being destroyed.
void StopWatchingSessionLock(HWND hWnd);
// Makes the agent's slot match its wish and the box it acts on.
void HoldWishSlot();
// The rule Exit follows: 1 when an agent of another session may still use the box
// the agent acts on, so the device stays attached.
int OtherSessionWantsDevice();
// The release waiting for the user ends: the user chose Connect meanwhile.
void ForgetRelease();
// WM_WTSSESSION_CHANGE: a lock gives the device back, the unlock returns it. 1 when acted on.
int OnSessionChange(HWND hWnd, WPARAM nEvent);
// The away rule, on the periodic check's tick: warning, release, cancel, return.
void CheckAway(HWND hWnd);
// The same at a given moment and last input (ticks of GetTickCount64).
void CheckAwayAt(HWND hWnd, ULONGLONG nNow, ULONGLONG nLastInput);
// A notification found the device of the box acted on (accepted): notes who holds it
// and says what changed (attached after a wait, free again, the outcome of a return).
void NoteDeviceHolder(HWND hWnd, const _WUSB_SERVER* pServer);
