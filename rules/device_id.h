// A device type of a device list ("VID_vvvv&PID_pppp"), read one way by the agent,
// q5check and the per-machine package.
#pragma once
#include "product.h"

// A list is read no further than this many entries: an absurd "idnum" must not keep the
// filter reading the INI file for ever.
constexpr int MAX_DEVICE_TYPES = 1000;
// One entry, terminator included.
constexpr int DEVICE_TYPE_SIZE = PRODUCT_DEVICE_TYPE_SIZE;
// Room for the written form "VID_vvvv&PID_pppp" and its terminator.
constexpr int DEVICE_TYPE_TEXT_SIZE = 18;

// The two hexadecimal numbers after "VID_" and "&PID_" (four characters each, whatever
// they say, then numbers as strtol reads them): 1 with both, 0 when the value lacks either
// part (the numbers read so far are still given back). Stored lists rely on this reading:
// "VID_3A7C&PID_105" is 0x3A7C, 0x105.
int ParseDeviceType(const char* pszValue, long* pnVid, long* pnPid);
// What an administrator may pass: a type the reader above takes, written in the full form
// (four hexadecimal digits each, any case). Its upper-case spelling to pszWritten
// (DEVICE_TYPE_TEXT_SIZE bytes) when given.
int IsWrittenDeviceType(const char* pszValue, char* pszWritten = nullptr);
