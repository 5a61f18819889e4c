// The sharing decisions: plain functions, tested by tables.
#include "sharing.h"

int WishAtStart(int bAutoconnect)
{
    return bAutoconnect ? 1 : 0;
}

int WishAtResume(int bAutoconnect, int bWishBeforeSuspend, int bReleasePending)
{
    if (bReleasePending)
        return 0;
    // The suspend's own detach is no choice of the user's.
    return bAutoconnect || bWishBeforeSuspend ? 1 : 0;
}

ULONGLONG AwayLimitMs(int nReleaseAfterMin)
{
    return nReleaseAfterMin > 0 ? (ULONGLONG)nReleaseAfterMin * MINUTE_MS : 0;
}

ULONGLONG AwayWarnLeadMs(int nReleaseAfterMin)
{
    ULONGLONG nLimit = AwayLimitMs(nReleaseAfterMin);
    return nLimit >= 2 * AWAY_WARN_LEAD_MS ? AWAY_WARN_LEAD_MS : nLimit / 2;
}

ULONGLONG InputTick64(ULONGLONG nNow, DWORD dwLastInput)
{
    // The age wraps like the 32-bit clock, so it is right for up to 49 days.
    DWORD dwAge = (DWORD)nNow - dwLastInput;
    return dwAge <= nNow ? nNow - dwAge : 0;
}

AwayStep DecideAwayStep(ULONGLONG nNow, ULONGLONG nLastInput, ULONGLONG nAttachedAt, int nReleaseAfterMin,
                        ULONGLONG nWarnedAt)
{
    ULONGLONG nLimit = AwayLimitMs(nReleaseAfterMin);
    if (nLimit == 0)
        return nWarnedAt ? AWAY_CANCEL : AWAY_NOTHING;
    ULONGLONG nSince = nLastInput > nAttachedAt ? nLastInput : nAttachedAt;
    ULONGLONG nAway = nNow > nSince ? nNow - nSince : 0;
    ULONGLONG nLead = AwayWarnLeadMs(nReleaseAfterMin);
    if (nWarnedAt == 0)
        return nAway >= nLimit - nLead ? AWAY_WARN : AWAY_NOTHING;
    if (nSince > nWarnedAt)
        return AWAY_CANCEL;
    ULONGLONG nWarnedFor = nNow > nWarnedAt ? nNow - nWarnedAt : 0;
    return nAway >= nLimit && nWarnedFor >= nLead ? AWAY_RELEASE : AWAY_NOTHING;
}

int IsBackAfterAwayRelease(ULONGLONG nLastInput, ULONGLONG nReleasedAt)
{
    return nLastInput > nReleasedAt ? 1 : 0;
}
