// The connection state machine: library notifications, timers, power events,
// and the Connect and Disconnect commands.
#pragma once
#include <windows.h>
#include "../settings/setting_source.h"

// The periodic check and the one-shot delayed import, both on the main window.
constexpr UINT_PTR IDT_SERVER_CHECK = 33268;
constexpr UINT_PTR IDT_DELAY_IMPORT = 33468;
constexpr UINT SERVER_CHECK_MS = 5000;
constexpr UINT DELAY_IMPORT_MS = 3000;

int OnWUSBNotify(HWND hWnd);
int OnTimer(HWND hWnd, UINT_PTR nTimerId);
int OnPowerBroadcast(HWND hWnd, WPARAM nEvent);
int ConnectDevice(HWND hWnd);
// Connect's work without its checks: records the wish and looks at the device again,
// also while the last notification still shows the device here (a return right after
// a release). 1.
int WantDevice(HWND hWnd);
// Sets g_bWantConnect (interlocked) and the slot other sessions' agents see.
void SetWish(LONG bWant);
int DisconnectDevice(HWND hWnd);

// The bandwidth test of Setting.ini [system], read afresh at each call; a policy's
// "bitrate" (0 to PRODUCT_POLICY_BITRATE_MAX) wins over the file's.
constexpr int DEFAULT_BIT_RATE = 0;
constexpr unsigned int DEFAULT_TRANSFER_SIZE = 1024;
// "bitrate": least measured rate for attaching; greater than 0 enables the test.
// Its source to *pSource when given.
int ReadBitRateThreshold(SettingValue* pSource = nullptr);
// 1 when a threshold asks for the bandwidth test before attaching (and so for the
// refusal below it); anything else, negative values too, means no test.
int BandwidthTestOn(int nBitRate);
// "transfersize": what WUSBDoPerformanceTest is given.
unsigned int ReadTransferSize();

// Applies the "autoconnect" choice in force at once, after a change from outside the
// menu (the command-line tool): on records the wish as Connect does; off withdraws a
// wish that has not yet brought the device here (a device attached here stays). 1.
int ApplyAutoconnect(HWND hWnd);
