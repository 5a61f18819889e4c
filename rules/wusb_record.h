// Reading the library's server record safely: it may come without an address
// record, and its texts may fill their fields to the last byte without a NUL.
#pragma once
#include "agent/wusb/wusb_server.h"
#include <cstddef>

// Room kept for this computer's name as the library exports it (computerName).
constexpr int COMPUTER_NAME_SIZE = 256;

// The library's server id is the IPv4 address read as a little-endian u32. A record
// without an address record is unusable: 0, and the caller acts as if there were no server.
int GetServerId(const _WUSB_SERVER* pServer, unsigned int* pdwServerId);
// A text field of the record into a terminated buffer, never reading past the field.
void CopyRecordText(const char* pszField, size_t cbField, char* pszDst, size_t cbDst);
// Room for "a.b.c.d" with its terminator.
constexpr int WUSB_ADDRESS_TEXT_SIZE = 16;
// The server's IPv4 address, "a.b.c.d"; 0 (and "") without an address record.
int FormatServerAddress(const _WUSB_SERVER* pServer, char* pszAddress, size_t cbAddress);
// "a.b.c.d" (four numbers 0-255 of one to three digits, blanks around the whole
// allowed) into its four bytes; 0, and the bytes untouched, for anything else.
int ParseServerAddress(const char* pszText, unsigned char abAddr[4]);
// The server's id (as GetServerId gives it) of a parsed address.
unsigned int ServerIdOfAddress(const unsigned char abAddr[4]);
// In use by the computer the library calls this one, letter case aside.
int IsHeldBy(const _WUSB_SERVER* pServer, const char* pszComputer);
// The server's web page, "http://a.b.c.d"; 0 (and "") without an address record.
constexpr int DEVICE_URL_SIZE = 128;
int FormatServerUrl(const _WUSB_SERVER* pServer, char* pszUrl, size_t cbUrl);
