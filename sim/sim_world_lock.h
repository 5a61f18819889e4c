// The lock on the world file that every process using it shares: several computers
// (processes, Wine prefixes) may share one box, and a read-change-write of the world
// must be one step among all of them, not just among the threads of one process.
#pragma once
#include <windows.h>

// The byte locked lies far past any world file's end, so the profile functions that
// read and write the file itself never run into it.
constexpr DWORD SIM_WORLD_LOCK_OFFSET = 0x7FFFFFFF;
// Another process holds the lock only for one read-change-write, a few milliseconds;
// it is waited for at most this long, so a stuck holder cannot hang a call.
constexpr DWORD SIM_WORLD_LOCK_WAIT_MS = 3000;

// Takes the lock on the scenario file now in force; 1 when the world may be used.
// bForChange: the caller will write, so a missing file is created to be locked.
// With no file to lock (missing and not to be created, or not openable) or no locks on
// its file system there is nothing to share and the answer is 1. 0 only when another process held the lock for
// longer than the bounded wait. Caller holds the in-process lock (SimLock).
int LockSimWorld(int bForChange);
// Lets go of the lock taken by LockSimWorld (nothing when none was taken).
void UnlockSimWorld();
// Holds on until the file's time stamp can tell the next write from the last one:
// other processes keep the file's keys cached while its last-write time is unchanged.
void SettleSimWorldWrite();
// Reads the world into g_simWorld under the lock; where another process keeps it past
// the wait, reads it as it is. Caller holds the in-process lock.
void LoadSharedSimWorld();
