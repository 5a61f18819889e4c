// The choices for sharing one device among several computers: Setting.ini's [share]
// section and the user's own "autoconnect". Read afresh wherever they are used; no
// globals, so the diagnostics command reads them the same way.
#pragma once
#include "setting_source.h"
#include "product.h"

constexpr int RELEASE_AFTER_MAX_MIN = PRODUCT_RELEASE_AFTER_MAX;

struct ShareSettings {
    SettingValue autoconnect;     // 1: the wish starts set, as always (default)
    SettingValue releaseAfter;    // minutes without input before the device is given back; 0: never
    SettingValue releaseOnLock;   // 1: given back when the session is locked
    SettingValue notices;         // 1: say when the device became free or was attached after a wait
};

// Fills *pOut from the file (path of Setting.ini) and the user's registry; every
// missing or malformed value gives its default (autoconnect on, the others off). 1.
int ReadShareSettings(const char* pszSettingIni, ShareSettings* pOut);
