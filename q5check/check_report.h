// What the check gathered (the facts), what they mean (the findings, worked out
// in one pass with the agent's own rules) and the two ways of showing them:
// plain text for people, one JSON object for scripts and support tickets.
#pragma once
#include <cstddef>
#include "agent/device_filter.h"
#include "agent/server_choice.h"
#include "agent/wusb/wusb.h"
#include "rules/wusb_record.h"
#include "settings/share_settings.h"
#include "check_sources.h"

// Exit code of a command line the program does not understand.
constexpr int EXIT_USAGE = 2;

// The verdicts, each with its own exit code (the README lists them).
enum Verdict {
    VERDICT_WOULD_ATTACH,
    VERDICT_ATTACHED_HERE,
    VERDICT_IN_USE,
    VERDICT_NOT_ACCEPTED,
    VERDICT_POOR_SIGNAL,
    VERDICT_UNKNOWN_STATUS,
    VERDICT_ON_DEMAND,
    VERDICT_NO_DEVICE,
    VERDICT_NO_SERVER,
    VERDICT_SERVER_NOT_LISTED,
    VERDICT_NO_ADDRESS,
    VERDICT_NO_SETTINGS,
    VERDICT_OPEN_FAILED,
    VERDICT_LIBRARY_INCOMPLETE,
    VERDICT_LIBRARY_UNLOADABLE,
    VERDICT_NO_LIBRARY,
    VERDICT_COUNT
};

struct VerdictInfo {
    int nExitCode;
    const char* pszKey;      // stable name for scripts
    const char* pszFormat;   // the verdict line; %s takes the detail
};
const VerdictInfo& GetVerdictInfo(Verdict verdict);

constexpr int VERSION_TEXT_SIZE = 32;
// Text lines are a label padded to this width, then the finding.
constexpr int REPORT_LABEL_WIDTH = 17;

// Everything the check gathered. The records are printed before the library
// is closed: their address pointers point into it.
struct CheckFacts {
    char szFolder[MAX_PATH];                  // "" when the folder has no faithful ANSI path
    WusbBindInfo bind;
    int bLibraryFile;                         // wusb.dll exists there
    char szLibraryVersion[VERSION_TEXT_SIZE]; // "" without a version resource
    int bOpenCalled;
    int nOpenResult;
    int nWaitSeconds;
    int nNotifications;
    DWORD dwWaitedMs;
    char szComputerName[COMPUTER_NAME_SIZE];
    int nServerCount;                         // as WUSBGetServerList returned it
    _WUSB_SERVER servers[MAX_SERVERS];
    char szSettingIni[MAX_PATH];
    DWORD dwSettingError;                     // 0 when Setting.ini could be opened for reading
    ServerChoice choice;                      // [server] "address"
    int nDeviceTypeCount;                     // "idnum"
    int nMatch;                               // matching "id%d" entry of the chosen device; -1: none
    char szMatchValue[DEVICE_TYPE_SIZE];
    int nBitRate;                             // [system] "bitrate"; 0: no test
    unsigned int nTransferSize;
    int bBandwidthRun;
    int nMeasured;
    int bShareRead;                           // share holds the [share] choices in force
    ShareSettings share;
    int bAgentRunning;
    SettingSources sources;                   // where each value in force comes from
};

constexpr int HOLDER_SIZE = WUSB_HOSTNAME_SIZE + 1;
constexpr int HARDWARE_ID_SIZE = 24;
constexpr int DETAIL_SIZE = 640;
constexpr int VERDICT_LINE_SIZE = DETAIL_SIZE + 128;

// One listed server as the report tells it.
struct ServerFinding {
    int bAddress;                             // 0: no address record (no server to the agent)
    char szAddress[WUSB_ADDRESS_TEXT_SIZE];
    char szUrl[DEVICE_URL_SIZE];
    char szFirmware[WUSB_FIRMWARE_SIZE + 1];
    int nDeviceCount;
    const _WUSB_DEVICE* pDevice;              // the first device; null without one
    char szHardwareId[HARDWARE_ID_SIZE];      // "VID_vvvv&PID_pppp"
    int nStatus;
    const char* pszStatusKey;                 // "free", "in_use" or "unknown"
    char szHolder[HOLDER_SIZE];
    int bHeldHere;
    int bChosen;                              // the server the agent acts on
};

// How the server the agent acts on was found.
enum ChoiceFinding {
    CHOICE_NO_SERVER,         // nothing listed (or the library did not start)
    CHOICE_FIRST_LISTED,      // Setting.ini names none
    CHOICE_BAD_ADDRESS,       // Setting.ini's value is no address: the first listed
    CHOICE_NAMED,             // matched by address=
    CHOICE_NAMED_NOT_LISTED,  // named, but not in the list
};

// What the device list says of the chosen device.
enum DeviceListFinding {
    DEVICE_LIST_UNREAD,       // Setting.ini missing or unreadable
    DEVICE_LIST_NO_DEVICE,    // no device to ask about
    DEVICE_LIST_ACCEPTED,
    DEVICE_LIST_NOT_LISTED,
};

// Everything the printers show, worked out once from the facts.
struct CheckFindings {
    int bLibraryStarted;
    int nMissingExports;
    char szLoadError[DETAIL_SIZE];
    int nListed;                              // servers the library reported, 0 or more
    int nShown;                               // of them in the list, at most MAX_SERVERS
    ServerFinding servers[MAX_SERVERS];
    ChoiceFinding choice;
    int nChosen;                              // index into servers; -1: none
    char szListedAddresses[MAX_SERVERS * WUSB_ADDRESS_TEXT_SIZE];
    DeviceListFinding deviceList;
    char szCheckedId[HARDWARE_ID_SIZE];       // hardware id of the device asked about
    int nNextEntry;                           // "idN" a missing device type would take
    char szSettingError[DETAIL_SIZE];
    int bBandwidthTest;                       // the agent tests before attaching
    Verdict verdict;
    char szVerdict[VERDICT_LINE_SIZE];
};

// The one pass over the facts, by the agent's own rules and in its order.
void WorkOutFindings(const CheckFacts* pFacts, CheckFindings* pFindings);
Verdict DecideVerdict(const CheckFacts* pFacts);
// The report into a buffer, always terminated (cut when it does not fit).
void FormatReportText(const CheckFacts* pFacts, char* pszOut, size_t cbOut);
void FormatReportJson(const CheckFacts* pFacts, char* pszOut, size_t cbOut);
