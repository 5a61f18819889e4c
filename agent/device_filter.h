// Accepts only the device types listed by a policy ("devices": types separated by ';')
// or, without one, in the [device] section of Setting.ini.
#pragma once
#include "wusb/wusb_server.h"
#include "../settings/setting_source.h"
#include "rules/device_id.h"

// 1 when the device is accepted, 0 when rejected (or no record is given).
int IsSupportedDevice(const _WUSB_DEVICE* pDevice);
// The number of listed device types: the policy's entries, else "idnum" as written (0
// when absent). The policy's list goes to pszPolicyList (POLICY_TEXT_SIZE bytes; "" when
// Setting.ini's applies), its source to *pSource when given.
int ReadDeviceList(char* pszPolicyList, SettingValue* pSource = nullptr);
int ReadDeviceTypeCount();
// Index N of the first entry "idN" listing the device's VID and PID, read from the
// list as IsSupportedDevice reads it; -1 when none does. The entry's value goes to
// pszValue (DEVICE_TYPE_SIZE bytes) when given.
int FindDeviceType(const _WUSB_DEVICE* pDevice, char* pszValue = nullptr);
