// What the check found, the verdict it leads to, and how both are printed
// (plain text for people, one JSON object for scripts and support tickets).
#pragma once
#include <cstddef>
#include "agent/agent_state.h"
#include "agent/device_filter.h"
#include "agent/wusb/wusb_record.h"

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
    VERDICT_NO_DEVICE,
    VERDICT_NO_SERVER,
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
    int nDeviceTypeCount;                     // "idnum"
    int nMatch;                               // matching "id%d" entry of the first device; -1: none
    char szMatchValue[DEVICE_TYPE_SIZE];
    int nBitRate;                             // [system] "bitrate"; 0: no test
    unsigned int nTransferSize;
    int bBandwidthRun;
    int nMeasured;
    int bAgentRunning;
};

Verdict DecideVerdict(const CheckFacts* pFacts);
// The report into a buffer, always terminated (cut when it does not fit).
void FormatReportText(const CheckFacts* pFacts, char* pszOut, size_t cbOut);
void FormatReportJson(const CheckFacts* pFacts, char* pszOut, size_t cbOut);
