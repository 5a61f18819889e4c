// Accepts only the device types listed in the [device] section of Setting.ini.
#pragma once
#include "wusb/wusb_server.h"

// 1 when the device is accepted, 0 when rejected (or no record is given).
int IsSupportedDevice(const _WUSB_DEVICE* pDevice);
