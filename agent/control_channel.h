// The records q5ctl and the agent exchange. A request goes to the agent's main window
// as WM_COPYDATA, with q5ctl's answer window in wParam; the agent answers with one
// WM_COPYDATA to that window before it returns. Both records have one fixed size: the
// agent refuses anything else without acting.
#pragma once
#include <windows.h>
#include "product.h"

// COPYDATASTRUCT.dwData of both directions, and the first field of both records.
constexpr DWORD CONTROL_MAGIC = 0x4C544351;   // "QCTL"
constexpr DWORD CONTROL_VERSION = 1;

// What a request asks for.
enum ControlVerb {
    CONTROL_STATUS = 1,    // nothing; the answer carries the state
    CONTROL_CONNECT,       // the menu's Connect
    CONTROL_DISCONNECT,    // the menu's Disconnect; a wish not yet fulfilled is withdrawn too
    CONTROL_WITHDRAW,      // takes back a connect whose wait was cancelled, unless a run holds the device
    CONTROL_RUN_BEGIN,     // the sender's process holds the device for a program, then Connect
    CONTROL_RUN_END,       // the sender's run is over; the last run gives back what the runs took
    CONTROL_AUTOCONNECT,   // the user's "autoconnect" was just written (argument: 0 or 1); apply it
    CONTROL_VERB_END
};

struct ControlRequest {
    DWORD dwMagic;     // CONTROL_MAGIC
    DWORD dwVersion;   // CONTROL_VERSION
    DWORD dwVerb;      // ControlVerb
    DWORD dwArg;       // CONTROL_AUTOCONNECT: 0 or 1; every other verb: 0
};

// WM_COPYDATA's result: 0 refused (a malformed record); 1 taken, the answer sent; this,
// not taken yet because the agent is still starting: ask again shortly.
constexpr LRESULT CONTROL_NOT_YET = 2;

// What the agent did with a request.
enum ControlResult {
    CONTROL_DONE = 1,
    CONTROL_CLOSING,       // the session is ending: only the state is given
    CONTROL_RUNS_FULL,     // CONTROL_RUN_BEGIN: as many runs as the agent keeps already hold the device
    CONTROL_NOT_A_RUN,     // CONTROL_RUN_BEGIN twice, or CONTROL_RUN_END without a run, from one process
};

// The chosen server's device as its record (the last list fetched) shows it.
enum ControlDevice {
    CONTROL_DEVICE_NONE = 0,       // no server, or no device on it
    CONTROL_DEVICE_REFUSED,        // listed, but not a device type of Setting.ini
    CONTROL_DEVICE_FREE,
    CONTROL_DEVICE_HERE,           // in use by this computer
    CONTROL_DEVICE_ELSEWHERE,      // in use by szHolder
    CONTROL_DEVICE_OTHER,          // a status the agent does not act on
};

constexpr int CONTROL_HOLDER_SIZE = 256;
constexpr int CONTROL_ADDRESS_SIZE = 16;
constexpr int CONTROL_FIRMWARE_SIZE = 129;

struct ControlReply {
    DWORD dwMagic;                 // CONTROL_MAGIC
    DWORD dwVersion;               // CONTROL_VERSION
    DWORD dwVerb;                  // the request's
    DWORD dwResult;                // ControlResult
    // The agent's own state after the request.
    LONG nStatus;                  // g_nStatus
    LONG nConnectItem;             // g_nConnectItem
    LONG bConnected;               // g_bConnected
    LONG bWantConnect;             // g_bWantConnect
    LONG bDeviceAccepted;          // g_bDeviceAccepted
    LONG bImportPending;           // g_bImportPending
    LONG nAutoconnect;             // "autoconnect" in force
    LONG nAutoconnectSource;       // SettingSource it came from
    LONG nDevice;                  // ControlDevice
    LONG nVendorId, nProductId;    // the device's, when listed
    // Before the request (connect, run begin), and what a release did (withdraw, run end).
    LONG bConnectedBefore;
    LONG bWishBefore;
    LONG nRuns;                    // runs of this session holding the device, after the request
    LONG bReleased;                // the device was given back (or the wish withdrawn)
    char szHolder[CONTROL_HOLDER_SIZE];       // the computer using it, while CONTROL_DEVICE_ELSEWHERE
    char szAddress[CONTROL_ADDRESS_SIZE];     // "a.b.c.d" of the chosen server; "" without one
    char szFirmware[CONTROL_FIRMWARE_SIZE];   // its firmware text
};
