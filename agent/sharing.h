// The decisions of sharing one device among several computers, as plain functions of
// times and flags: when the wish starts and comes back, when an away release is
// warned of, made or cancelled. No globals, no calls: the callers bring the clock.
#pragma once
#include <windows.h>

// A warning comes this long before an away release, or at half the time where the
// release comes sooner than twice this.
constexpr ULONGLONG AWAY_WARN_LEAD_MS = 2 * 60 * 1000;
constexpr ULONGLONG MINUTE_MS = 60 * 1000;

// The wish of a fresh agent: the autoconnect choice.
int WishAtStart(int bAutoconnect);
// The wish after a resume. Autoconnect on sets it again; with connect on demand the
// wish comes back as it was before the suspend. A release waiting for the user's
// return (lock, away) keeps the device given back either way.
int WishAtResume(int bAutoconnect, int bWishBeforeSuspend, int bReleasePending);

// Time without use before an away release, and the warning's lead, in ms; 0 when off.
ULONGLONG AwayLimitMs(int nReleaseAfterMin);
ULONGLONG AwayWarnLeadMs(int nReleaseAfterMin);
// A 32-bit GetLastInputInfo time on the 64-bit tick clock of nNow (whose low 32 bits
// are GetTickCount): never later than nNow.
ULONGLONG InputTick64(ULONGLONG nNow, DWORD dwLastInput);

enum AwayStep {
    AWAY_NOTHING,   // nothing to do on this tick
    AWAY_WARN,      // show the warning now
    AWAY_CANCEL,    // input came after the warning: the release is off
    AWAY_RELEASE,   // give the device back now
};
// One tick of the away rule for a device attached here. Away is counted from the
// later of the last input and the attach; nWarnedAt is when the warning was shown
// (0: not yet). The release comes no sooner than the limit and never before the
// warning has stood for its full lead, so a late tick (a busy or sleeping computer)
// still warns first.
AwayStep DecideAwayStep(ULONGLONG nNow, ULONGLONG nLastInput, ULONGLONG nAttachedAt, int nReleaseAfterMin,
                        ULONGLONG nWarnedAt);
// The user is back after an away release: input later than the release.
int IsBackAfterAwayRelease(ULONGLONG nLastInput, ULONGLONG nReleasedAt);
