// Device filter (to be completed).
#include "device_filter.h"

int IsSupportedDevice(const _WUSB_DEVICE* pDevice) { return pDevice ? 0 : 0; }
