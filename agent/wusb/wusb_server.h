// The device-server client library's server record, as the library lays it out.
// Shared by the agent and by the stand-in library, so both read the same bytes.
#pragma once
#include <windows.h>
#include <cstddef>

// Shaped like a sockaddr_in: family, port, then the IPv4 address a.b.c.d.
// The little-endian u32 at offset 4 doubles as the library's server id.
struct WUSB_ADDRESS {
    short nFamily;
    unsigned short nPort;
    unsigned char abAddr[4];
    unsigned char abZero[8];
};

// The first USB device of a server; the device filter receives it whole.
struct _WUSB_DEVICE {
    unsigned int dwReserved0;
    unsigned int dwDeviceId;      // second argument of import and unimport
    unsigned char abReserved8[8];
    unsigned short wVendorId;     // VID
    unsigned short wProductId;    // PID
    unsigned char abReserved20[140];
};

constexpr int WUSB_FIRMWARE_SIZE = 128;
constexpr int WUSB_HOSTNAME_SIZE = 540;

struct _WUSB_SERVER {
    unsigned char abReserved0[180];
    char szFirmware[WUSB_FIRMWARE_SIZE];   // firmware version text
    int nDeviceCount;                      // 0 or less: no device
    _WUSB_DEVICE device;                   // first device
    WUSB_ADDRESS* pAddress;                // server address record
    int nStatus;                           // WUSB_STATUS_*
    char szHostName[WUSB_HOSTNAME_SIZE];   // holder's host name while in use
};

constexpr int WUSB_STATUS_FREE = 1;
constexpr int WUSB_STATUS_IN_USE = 3;

// The offsets are fixed by the vendor's library; any drift breaks the agent silently.
static_assert(sizeof(_WUSB_SERVER) == 1024, "server record is 1024 bytes");
static_assert(offsetof(_WUSB_SERVER, szFirmware) == 180, "firmware at 180");
static_assert(offsetof(_WUSB_SERVER, nDeviceCount) == 308, "device count at 308");
static_assert(offsetof(_WUSB_SERVER, device) == 312, "device record at 312");
static_assert(offsetof(_WUSB_SERVER, device) + offsetof(_WUSB_DEVICE, dwDeviceId) == 316, "device id at 316");
static_assert(offsetof(_WUSB_SERVER, device) + offsetof(_WUSB_DEVICE, wVendorId) == 328, "VID at 328");
static_assert(offsetof(_WUSB_SERVER, device) + offsetof(_WUSB_DEVICE, wProductId) == 330, "PID at 330");
static_assert(offsetof(_WUSB_SERVER, pAddress) == 472, "address pointer at 472");
static_assert(offsetof(_WUSB_SERVER, nStatus) == 480, "status at 480");
static_assert(offsetof(_WUSB_SERVER, szHostName) == 484, "host name at 484");
static_assert(offsetof(WUSB_ADDRESS, abAddr) == 4, "IPv4 bytes at 4");
static_assert(sizeof(WUSB_ADDRESS) == 16, "address record is sockaddr_in-sized");

// The library's decorated export names (MSVC x64 mangling of the declarations below).
#define WUSB_EXPORT_OPEN "?WUSBOpen@@YAHPEAUHWND__@@IHH@Z"
#define WUSB_EXPORT_CLOSE "?WUSBClose@@YAHXZ"
#define WUSB_EXPORT_MANUAL_SCAN "?WUSBManualScan@@YAHXZ"
#define WUSB_EXPORT_GET_SERVER_LIST "?WUSBGetServerList@@YAHPEAU_WUSB_SERVER@@H@Z"
#define WUSB_EXPORT_IMPORT_DEVICE "?WUSBImportDevice@@YAHII@Z"
#define WUSB_EXPORT_UNIMPORT_DEVICE "?WUSBUnimportDevice@@YAHII@Z"
#define WUSB_EXPORT_DO_PERFORMANCE_TEST "?WUSBDoPerformanceTest@@YAHII@Z"
#define WUSB_EXPORT_GET_PERFORMANCE_RESULT "?WUSBGetPerformanceResult@@YAHI@Z"
#define WUSB_EXPORT_COMPUTER_NAME "?computerName@@3PADA"
