// Accepts only the device types listed in the [device] section of Setting.ini.
#pragma once
#include "wusb/wusb_server.h"

// The filter runs on the UI thread at every notification: an absurd "idnum"
// must not keep it reading the INI file for ever, so it looks at no more keys than this.
constexpr int MAX_DEVICE_TYPES = 1000;

// 1 when the device is accepted, 0 when rejected (or no record is given).
int IsSupportedDevice(const _WUSB_DEVICE* pDevice);
