// A byte-range lock on the world file, taken by every process that reads or changes it.
// Seen under Wine: LockFileEx on a shared file holds across prefixes (each its own
// wineserver), where named kernel objects do not; the loser gets ERROR_LOCK_VIOLATION.
#include "sim_world_lock.h"
#include "sim_scenario.h"

// The bounded wait goes in steps this long.
static const DWORD WORLD_LOCK_STEP_MS = 5;
// Longer than the coarse clock tick that stamps file writes on Linux (4 to 10 ms).
static const DWORD WORLD_STAMP_SETTLE_MS = 20;

static HANDLE s_hWorld = INVALID_HANDLE_VALUE;

static int TryLock(HANDLE hFile)
{
    OVERLAPPED ov = {};
    ov.Offset = SIM_WORLD_LOCK_OFFSET;
    return LockFileEx(hFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov) != 0;
}

int LockSimWorld(int bForChange)
{
    char szFile[MAX_PATH];
    if (s_hWorld != INVALID_HANDLE_VALUE || !SimScenarioPath(szFile, sizeof(szFile)))
        return 1;
    // Under Wine a lock through a read-only handle is a shared one for other processes
    // (other prefixes): write access makes it exclusive. A file that cannot be written
    // is still locked for reading, as nobody changes it anyway.
    const DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE hFile = CreateFileA(szFile, GENERIC_READ | GENERIC_WRITE, dwShare, nullptr,
                               bForChange ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        hFile = CreateFileA(szFile, GENERIC_READ, dwShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    DWORD dwStart = GetTickCount();
    while (!TryLock(hFile)) {
        // A file system without locks leaves nothing to arbitrate with: go on as before.
        int bHeldElsewhere = GetLastError() == ERROR_LOCK_VIOLATION;
        if (!bHeldElsewhere || GetTickCount() - dwStart >= SIM_WORLD_LOCK_WAIT_MS) {
            CloseHandle(hFile);
            return !bHeldElsewhere;
        }
        Sleep(WORLD_LOCK_STEP_MS);
    }
    s_hWorld = hFile;
    return 1;
}

void UnlockSimWorld()
{
    if (s_hWorld == INVALID_HANDLE_VALUE)
        return;
    OVERLAPPED ov = {};
    ov.Offset = SIM_WORLD_LOCK_OFFSET;
    UnlockFileEx(s_hWorld, 0, 1, 0, &ov);
    CloseHandle(s_hWorld);
    s_hWorld = INVALID_HANDLE_VALUE;
}

void SettleSimWorldWrite()
{
    if (s_hWorld != INVALID_HANDLE_VALUE)
        Sleep(WORLD_STAMP_SETTLE_MS);
}

void LoadSharedSimWorld()
{
    int bLocked = LockSimWorld(0);
    LoadSimWorld();
    if (bLocked)
        UnlockSimWorld();
}
