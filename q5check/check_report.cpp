// The verdict table, and the check's findings as text and as JSON.
#include "check_report.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

// Verdicts in the order of the enum; the exit code is what scripts test.
static const VerdictInfo s_aVerdicts[VERDICT_COUNT] = {
    {0, "would_attach", "would attach"},
    {1, "attached_here", "attached to this computer"},
    {3, "in_use", "in use by %s"},
    {4, "not_accepted", "device %s is not in Setting.ini"},
    {5, "poor_signal", "bandwidth too low: %s"},
    {6, "unknown_status", "device status %s is neither free nor in use"},
    {7, "no_device", "server %s has no USB device plugged in"},
    {8, "no_server", "no server found: check that the box is on and on this network"},
    {9, "no_address", "the library listed a server without an address: the agent treats it as no server"},
    {10, "no_settings", "Setting.ini %s: the agent accepts no device"},
    {11, "library_failed", "library failed to start (WUSBOpen returned %s)"},
    {12, "library_incomplete", "wusb.dll lacks %s functions the agent needs"},
    {13, "library_unloadable", "wusb.dll could not be loaded (%s)"},
    {14, "no_library", "wusb.dll not found in the program folder"},
};

const VerdictInfo& GetVerdictInfo(Verdict verdict)
{
    return s_aVerdicts[verdict >= 0 && verdict < VERDICT_COUNT ? verdict : VERDICT_NO_LIBRARY];
}

constexpr int HOLDER_SIZE = WUSB_HOSTNAME_SIZE + 1;
constexpr int HARDWARE_ID_SIZE = 24;
constexpr int ADDRESS_TEXT_SIZE = 16;
constexpr int DETAIL_SIZE = 640;
constexpr int WIDE_TEXT_SIZE = 1024;

// ---- Bounded output ----------------------------------------------------------
struct Out {
    char* psz;
    size_t cb;
    size_t n;
};

static void Put(Out* pOut, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
static void Put(Out* pOut, const char* pszFormat, ...)
{
    if (pOut->n + 1 >= pOut->cb)
        return;
    va_list args;
    va_start(args, pszFormat);
    int nLen = vsnprintf(pOut->psz + pOut->n, pOut->cb - pOut->n, pszFormat, args);
    va_end(args);
    if (nLen > 0)
        pOut->n += (size_t)nLen < pOut->cb - pOut->n ? (size_t)nLen : pOut->cb - pOut->n - 1;
}

static Out StartOut(char* pszOut, size_t cbOut)
{
    if (cbOut > 0)
        pszOut[0] = '\0';
    return Out{pszOut, cbOut, 0};
}

// ---- Facts in words ----------------------------------------------------------
// A record text fit for a console line: control bytes become '?'.
static void PrintableText(const char* pszField, size_t cbField, char* pszDst, size_t cbDst)
{
    CopyRecordText(pszField, cbField, pszDst, cbDst);
    for (char* p = pszDst; *p; ++p)
        if ((unsigned char)*p < 0x20 || *p == 0x7F)
            *p = '?';
}

static void HolderText(const _WUSB_SERVER* pServer, char* pszDst, size_t cbDst)
{
    PrintableText(pServer->szHostName, sizeof(pServer->szHostName), pszDst, cbDst);
}

// "VID_vvvv&PID_pppp", the shape of the Setting.ini list.
static void HardwareIdText(const _WUSB_DEVICE* pDevice, char* pszDst, size_t cbDst)
{
    snprintf(pszDst, cbDst, "VID_%04X&PID_%04X", pDevice->wVendorId, pDevice->wProductId);
}

// In use by the computer the library calls this one (compared as the agent does).
static int IsHeldHere(const _WUSB_SERVER* pServer, const char* pszComputer)
{
    char szHolder[HOLDER_SIZE];
    CopyRecordText(pServer->szHostName, sizeof(pServer->szHostName), szHolder, sizeof(szHolder));
    return pServer->nStatus == WUSB_STATUS_IN_USE && lstrcmpiA(szHolder, pszComputer) == 0;
}

static int ListedCount(const CheckFacts* pFacts)
{
    if (pFacts->nServerCount <= 0)
        return 0;
    return pFacts->nServerCount < MAX_SERVERS ? pFacts->nServerCount : MAX_SERVERS;
}

static int MissingExports(const CheckFacts* pFacts)
{
    int n = 0;
    for (int i = 0; i < WUSB_EXPORT_COUNT; ++i)
        n += !(pFacts->bind.nExportMask & (1u << i));
    return n;
}

static void LoadErrorText(DWORD dwError, char* pszDst, size_t cbDst)
{
    if (dwError == ERROR_MOD_NOT_FOUND)
        snprintf(pszDst, cbDst, "error %lu: it or a DLL it needs is missing", dwError);
    else if (dwError == ERROR_BAD_EXE_FORMAT)
        snprintf(pszDst, cbDst, "error %lu: not a 64-bit Windows DLL", dwError);
    else
        snprintf(pszDst, cbDst, "error %lu", dwError);
}

static void SettingErrorText(DWORD dwError, char* pszDst, size_t cbDst)
{
    if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
        snprintf(pszDst, cbDst, "missing");
    else
        snprintf(pszDst, cbDst, "unreadable (error %lu)", dwError);
}

// ---- The verdict -------------------------------------------------------------
// The agent's own order: the library, the first server, its first device, the
// filter (which a device attached here skips), then the status and the test.
Verdict DecideVerdict(const CheckFacts* pFacts)
{
    if (!pFacts->szFolder[0] || !pFacts->bLibraryFile)
        return VERDICT_NO_LIBRARY;
    if (pFacts->bind.dwLoadError)
        return VERDICT_LIBRARY_UNLOADABLE;
    if (pFacts->bind.nExportMask != WUSB_ALL_EXPORTS)
        return VERDICT_LIBRARY_INCOMPLETE;
    if (!pFacts->bOpenCalled || pFacts->nOpenResult != 0)
        return VERDICT_OPEN_FAILED;
    if (pFacts->nServerCount <= 0)
        return VERDICT_NO_SERVER;
    const _WUSB_SERVER* pServer = &pFacts->servers[0];
    if (!pServer->pAddress)
        return VERDICT_NO_ADDRESS;
    if (pServer->nDeviceCount <= 0)
        return VERDICT_NO_DEVICE;
    if (IsHeldHere(pServer, pFacts->szComputerName))
        return VERDICT_ATTACHED_HERE;
    if (pFacts->dwSettingError)
        return VERDICT_NO_SETTINGS;
    if (pFacts->nMatch < 0)
        return VERDICT_NOT_ACCEPTED;
    if (pServer->nStatus == WUSB_STATUS_IN_USE)
        return VERDICT_IN_USE;
    if (pServer->nStatus != WUSB_STATUS_FREE)
        return VERDICT_UNKNOWN_STATUS;
    // Only a strictly lower rate refuses, as in the agent.
    if (pFacts->bBandwidthRun && pFacts->nBitRate > 0 && pFacts->nMeasured < pFacts->nBitRate)
        return VERDICT_POOR_SIGNAL;
    return VERDICT_WOULD_ATTACH;
}

static void FormatVerdictDetail(const CheckFacts* pFacts, Verdict verdict, char* pszDst, size_t cbDst)
{
    const _WUSB_SERVER* pServer = &pFacts->servers[0];
    pszDst[0] = '\0';
    switch (verdict) {
    case VERDICT_IN_USE:             HolderText(pServer, pszDst, cbDst); break;
    case VERDICT_NOT_ACCEPTED:       HardwareIdText(&pServer->device, pszDst, cbDst); break;
    case VERDICT_POOR_SIGNAL:
        snprintf(pszDst, cbDst, "measured %d, Setting.ini asks for at least %d", pFacts->nMeasured, pFacts->nBitRate);
        break;
    case VERDICT_UNKNOWN_STATUS:     snprintf(pszDst, cbDst, "%d", pServer->nStatus); break;
    case VERDICT_NO_DEVICE:          FormatServerAddress(pServer, pszDst, cbDst); break;
    case VERDICT_NO_SETTINGS:        SettingErrorText(pFacts->dwSettingError, pszDst, cbDst); break;
    case VERDICT_OPEN_FAILED:        snprintf(pszDst, cbDst, "%d", pFacts->nOpenResult); break;
    case VERDICT_LIBRARY_INCOMPLETE:
        snprintf(pszDst, cbDst, "%d of the %d", MissingExports(pFacts), WUSB_EXPORT_COUNT);
        break;
    case VERDICT_LIBRARY_UNLOADABLE: LoadErrorText(pFacts->bind.dwLoadError, pszDst, cbDst); break;
    default:                         break;
    }
}

static void FormatVerdictLine(const CheckFacts* pFacts, Verdict verdict, char* pszDst, size_t cbDst)
{
    char szDetail[DETAIL_SIZE];
    FormatVerdictDetail(pFacts, verdict, szDetail, sizeof(szDetail));
    snprintf(pszDst, cbDst, GetVerdictInfo(verdict).pszFormat, szDetail);
}

// ---- Plain text ----------------------------------------------------------------
static void PutLabel(Out* pOut, const char* pszLabel)
{
    Put(pOut, "%-*s", REPORT_LABEL_WIDTH, pszLabel);
}

static void PutLibraryText(Out* pOut, const CheckFacts* pFacts)
{
    PutLabel(pOut, "Library:");
    if (!pFacts->szFolder[0]) {
        Put(pOut, "none: the program folder has no path this system's code page can spell\n");
        return;
    }
    Put(pOut, "%s%s\n", pFacts->bind.szPath, pFacts->bLibraryFile ? "" : " (not found)");
    if (!pFacts->bLibraryFile)
        return;
    PutLabel(pOut, "  file version:");
    Put(pOut, "%s\n", pFacts->szLibraryVersion[0] ? pFacts->szLibraryVersion : "none");
    if (pFacts->bind.dwLoadError) {
        char szError[DETAIL_SIZE];
        LoadErrorText(pFacts->bind.dwLoadError, szError, sizeof(szError));
        PutLabel(pOut, "  load:");
        Put(pOut, "failed, %s\n", szError);
        return;
    }
    PutLabel(pOut, "  functions:");
    if (pFacts->bind.nExportMask == WUSB_ALL_EXPORTS) {
        Put(pOut, "all %d present\n", WUSB_EXPORT_COUNT);
    } else {
        Put(pOut, "%d of %d present; missing", WUSB_EXPORT_COUNT - MissingExports(pFacts), WUSB_EXPORT_COUNT);
        const char* pszSeparator = ": ";
        for (int i = 0; i < WUSB_EXPORT_COUNT; ++i)
            if (!(pFacts->bind.nExportMask & (1u << i))) {
                Put(pOut, "%s%s", pszSeparator, GetWusbExportName(i));
                pszSeparator = ", ";
            }
        Put(pOut, "\n");
        return;
    }
    PutLabel(pOut, "  start:");
    Put(pOut, "WUSBOpen returned %d (%s)\n", pFacts->nOpenResult, pFacts->nOpenResult == 0 ? "started" : "failed");
    if (pFacts->nOpenResult != 0)
        return;
    PutLabel(pOut, "  scan:");
    Put(pOut, "%d notification%s in %lu.%lu s (waiting at most %d s)\n", pFacts->nNotifications,
        pFacts->nNotifications == 1 ? "" : "s", pFacts->dwWaitedMs / 1000, pFacts->dwWaitedMs % 1000 / 100,
        pFacts->nWaitSeconds);
    char szComputer[COMPUTER_NAME_SIZE];
    PrintableText(pFacts->szComputerName, sizeof(pFacts->szComputerName), szComputer, sizeof(szComputer));
    PutLabel(pOut, "  this computer:");
    Put(pOut, "%s\n", szComputer);
}

static void PutDeviceText(Out* pOut, const _WUSB_SERVER* pServer, const char* pszComputer)
{
    PutLabel(pOut, "  first device:");
    if (pServer->nDeviceCount <= 0) {
        Put(pOut, "none\n");
        return;
    }
    char szId[HARDWARE_ID_SIZE];
    HardwareIdText(&pServer->device, szId, sizeof(szId));
    Put(pOut, "id %u, %s, ", pServer->device.dwDeviceId, szId);
    char szHolder[HOLDER_SIZE];
    HolderText(pServer, szHolder, sizeof(szHolder));
    if (pServer->nStatus == WUSB_STATUS_FREE)
        Put(pOut, "free\n");
    else if (pServer->nStatus == WUSB_STATUS_IN_USE)
        Put(pOut, "in use by %s (%s)\n", szHolder,
            IsHeldHere(pServer, pszComputer) ? "this computer" : "another computer");
    else
        Put(pOut, "status %d (neither free nor in use)\n", pServer->nStatus);
}

static void PutServersText(Out* pOut, const CheckFacts* pFacts)
{
    PutLabel(pOut, "Servers:");
    int nShown = ListedCount(pFacts);
    Put(pOut, "%d listed", pFacts->nServerCount > 0 ? pFacts->nServerCount : 0);
    if (nShown < pFacts->nServerCount)
        Put(pOut, " (the first %d shown)", nShown);
    Put(pOut, "%s\n", nShown > 0 ? "; the agent acts on server 1 only" : "");
    for (int i = 0; i < nShown; ++i) {
        const _WUSB_SERVER* pServer = &pFacts->servers[i];
        char szLabel[REPORT_LABEL_WIDTH + 8];
        snprintf(szLabel, sizeof(szLabel), "Server %d:", i + 1);
        PutLabel(pOut, szLabel);
        char szAddress[ADDRESS_TEXT_SIZE];
        if (!FormatServerAddress(pServer, szAddress, sizeof(szAddress))) {
            Put(pOut, "no address (the agent treats it as no server)\n");
            continue;
        }
        Put(pOut, "%s\n", szAddress);
        char szFirmware[WUSB_FIRMWARE_SIZE + 1];
        PrintableText(pServer->szFirmware, sizeof(pServer->szFirmware), szFirmware, sizeof(szFirmware));
        PutLabel(pOut, "  firmware:");
        Put(pOut, "%s\n", szFirmware);
        char szUrl[DEVICE_URL_SIZE];
        FormatServerUrl(pServer, szUrl, sizeof(szUrl));
        PutLabel(pOut, "  web page:");
        Put(pOut, "%s\n", szUrl);
        PutLabel(pOut, "  devices:");
        Put(pOut, "%d\n", pServer->nDeviceCount);
        PutDeviceText(pOut, pServer, pFacts->szComputerName);
    }
}

// The first device, if there is one the filter would be asked about.
static const _WUSB_DEVICE* CheckedDevice(const CheckFacts* pFacts)
{
    if (!pFacts->bOpenCalled || pFacts->nOpenResult != 0 || pFacts->nServerCount <= 0)
        return nullptr;
    const _WUSB_SERVER* pServer = &pFacts->servers[0];
    return pServer->pAddress && pServer->nDeviceCount > 0 ? &pServer->device : nullptr;
}

// The entry a missing device type would take: the next index, and the count raised.
static int NextDeviceTypeIndex(const CheckFacts* pFacts)
{
    return pFacts->nDeviceTypeCount > 0 ? pFacts->nDeviceTypeCount : 0;
}

static void PutSettingsText(Out* pOut, const CheckFacts* pFacts)
{
    PutLabel(pOut, "Setting.ini:");
    char szError[DETAIL_SIZE] = "";
    if (pFacts->dwSettingError)
        SettingErrorText(pFacts->dwSettingError, szError, sizeof(szError));
    Put(pOut, "%s%s%s\n", pFacts->szSettingIni, szError[0] ? " - " : "", szError);
    PutLabel(pOut, "  device list:");
    const _WUSB_DEVICE* pDevice = CheckedDevice(pFacts);
    char szId[HARDWARE_ID_SIZE];
    if (pFacts->dwSettingError) {
        Put(pOut, "not read; without it the agent accepts no device\n");
    } else if (!pDevice) {
        Put(pOut, "no device to check (idnum=%d)\n", pFacts->nDeviceTypeCount);
    } else if (pFacts->nMatch >= 0) {
        HardwareIdText(pDevice, szId, sizeof(szId));
        Put(pOut, "%s accepted by id%d=%s\n", szId, pFacts->nMatch, pFacts->szMatchValue);
    } else {
        HardwareIdText(pDevice, szId, sizeof(szId));
        int nNext = NextDeviceTypeIndex(pFacts);
        Put(pOut, "%s not listed (idnum=%d); add to [device]: id%d=%s and set idnum=%d\n", szId,
            pFacts->nDeviceTypeCount, nNext, szId, nNext + 1);
    }
    PutLabel(pOut, "  bandwidth:");
    if (pFacts->nBitRate > 0)
        Put(pOut, "tested before attaching: bitrate=%d, transfersize=%u\n", pFacts->nBitRate, pFacts->nTransferSize);
    else
        Put(pOut, "no test before attaching (bitrate=%d)\n", pFacts->nBitRate);
    if (pFacts->bBandwidthRun) {
        PutLabel(pOut, "  measured:");
        if (pFacts->nBitRate <= 0)
            Put(pOut, "%d (no threshold set)\n", pFacts->nMeasured);
        else
            Put(pOut, "%d against bitrate=%d: %s\n", pFacts->nMeasured, pFacts->nBitRate,
                pFacts->nMeasured < pFacts->nBitRate ? "too low" : "enough");
    }
}

void FormatReportText(const CheckFacts* pFacts, char* pszOut, size_t cbOut)
{
    Out out = StartOut(pszOut, cbOut);
    PutLabel(&out, "Program folder:");
    Put(&out, "%s\n", pFacts->szFolder[0] ? pFacts->szFolder : "(no ANSI path)");
    PutLibraryText(&out, pFacts);
    if (pFacts->bOpenCalled && pFacts->nOpenResult == 0)
        PutServersText(&out, pFacts);
    if (pFacts->szFolder[0])
        PutSettingsText(&out, pFacts);
    PutLabel(&out, "Agent:");
    Put(&out, "%s\n", pFacts->bAgentRunning ? "running; this check never imports or unimports, the agent does"
                                            : "not running");
    char szVerdict[DETAIL_SIZE + 128];
    FormatVerdictLine(pFacts, DecideVerdict(pFacts), szVerdict, sizeof(szVerdict));
    PutLabel(&out, "Verdict:");
    Put(&out, "%s\n", szVerdict);
}

// ---- JSON --------------------------------------------------------------------
// Texts are ANSI: taken to UTF-16 by the code page and written as pure ASCII
// JSON, anything else as \u escapes.
static void PutJsonString(Out* pOut, const char* pszAnsi)
{
    wchar_t szWide[WIDE_TEXT_SIZE];
    if (!MultiByteToWideChar(CP_ACP, 0, pszAnsi, -1, szWide, WIDE_TEXT_SIZE))
        lstrcpyW(szWide, L"?");
    Put(pOut, "\"");
    for (const wchar_t* p = szWide; *p; ++p) {
        if (*p == L'"' || *p == L'\\')
            Put(pOut, "\\%c", (char)*p);
        else if (*p < 0x20 || *p > 0x7E)
            Put(pOut, "\\u%04x", (unsigned)*p);
        else
            Put(pOut, "%c", (char)*p);
    }
    Put(pOut, "\"");
}

static void PutJsonField(Out* pOut, const char* pszField, size_t cbField)
{
    char szText[HOLDER_SIZE];
    CopyRecordText(pszField, cbField, szText, sizeof(szText));
    PutJsonString(pOut, szText);
}

static const char* JsonBool(int b) { return b ? "true" : "false"; }

static void PutLibraryJson(Out* pOut, const CheckFacts* pFacts)
{
    Put(pOut, "\"library\": {\"path\": ");
    PutJsonString(pOut, pFacts->bind.szPath);
    Put(pOut, ", \"found\": %s, \"load_error\": %lu, \"file_version\": ", JsonBool(pFacts->bLibraryFile),
        pFacts->bind.dwLoadError);
    if (pFacts->szLibraryVersion[0])
        PutJsonString(pOut, pFacts->szLibraryVersion);
    else
        Put(pOut, "null");
    Put(pOut, ", \"functions\": {");
    for (int i = 0; i < WUSB_EXPORT_COUNT; ++i)
        Put(pOut, "%s\"%s\": %s", i ? ", " : "", GetWusbExportName(i),
            JsonBool(pFacts->bind.nExportMask & (1u << i)));
    Put(pOut, "}, \"open_result\": ");
    if (pFacts->bOpenCalled)
        Put(pOut, "%d", pFacts->nOpenResult);
    else
        Put(pOut, "null");
    Put(pOut, ", \"notifications\": %d, \"waited_ms\": %lu, \"computer_name\": ", pFacts->nNotifications,
        pFacts->dwWaitedMs);
    PutJsonField(pOut, pFacts->szComputerName, sizeof(pFacts->szComputerName));
    Put(pOut, "},\n");
}

static void PutServerJson(Out* pOut, const _WUSB_SERVER* pServer, const char* pszComputer)
{
    char szText[DEVICE_URL_SIZE];
    Put(pOut, "  {\"address\": ");
    if (FormatServerAddress(pServer, szText, sizeof(szText))) {
        PutJsonString(pOut, szText);
        FormatServerUrl(pServer, szText, sizeof(szText));
        Put(pOut, ", \"web_page\": ");
        PutJsonString(pOut, szText);
    } else {
        Put(pOut, "null, \"web_page\": null");
    }
    Put(pOut, ", \"firmware\": ");
    PutJsonField(pOut, pServer->szFirmware, sizeof(pServer->szFirmware));
    Put(pOut, ", \"device_count\": %d, \"first_device\": ", pServer->nDeviceCount);
    if (pServer->nDeviceCount <= 0) {
        Put(pOut, "null}");
        return;
    }
    const _WUSB_DEVICE* pDevice = &pServer->device;
    HardwareIdText(pDevice, szText, sizeof(szText));
    const char* pszStatus = pServer->nStatus == WUSB_STATUS_FREE     ? "free"
                            : pServer->nStatus == WUSB_STATUS_IN_USE ? "in_use"
                                                                     : "unknown";
    Put(pOut, "{\"id\": %u, \"hardware_id\": \"%s\", \"vid\": %u, \"pid\": %u, \"status\": \"%s\", \"status_code\": %d, "
        "\"holder\": ", pDevice->dwDeviceId, szText, pDevice->wVendorId, pDevice->wProductId, pszStatus,
        pServer->nStatus);
    PutJsonField(pOut, pServer->szHostName, sizeof(pServer->szHostName));
    Put(pOut, ", \"this_computer\": %s}}", JsonBool(IsHeldHere(pServer, pszComputer)));
}

static void PutSettingsJson(Out* pOut, const CheckFacts* pFacts)
{
    Put(pOut, "\"settings\": {\"path\": ");
    PutJsonString(pOut, pFacts->szSettingIni);
    Put(pOut, ", \"readable\": %s, \"error\": %lu, \"idnum\": %d, \"accepted\": ", JsonBool(!pFacts->dwSettingError),
        pFacts->dwSettingError, pFacts->nDeviceTypeCount);
    const _WUSB_DEVICE* pDevice = CheckedDevice(pFacts);
    if (pFacts->dwSettingError) {
        Put(pOut, "false, \"entry\": null, \"line_to_add\": null");
    } else if (!pDevice) {
        Put(pOut, "null, \"entry\": null, \"line_to_add\": null");
    } else if (pFacts->nMatch >= 0) {
        Put(pOut, "true, \"entry\": \"id%d\", \"line_to_add\": null", pFacts->nMatch);
    } else {
        char szId[HARDWARE_ID_SIZE];
        HardwareIdText(pDevice, szId, sizeof(szId));
        int nNext = NextDeviceTypeIndex(pFacts);
        Put(pOut, "false, \"entry\": null, \"line_to_add\": \"id%d=%s\", \"idnum_to_set\": %d", nNext, szId, nNext + 1);
    }
    Put(pOut, ", \"bitrate\": %d, \"transfersize\": %u, \"measured\": ", pFacts->nBitRate, pFacts->nTransferSize);
    if (pFacts->bBandwidthRun)
        Put(pOut, "%d", pFacts->nMeasured);
    else
        Put(pOut, "null");
    Put(pOut, "},\n");
}

void FormatReportJson(const CheckFacts* pFacts, char* pszOut, size_t cbOut)
{
    Out out = StartOut(pszOut, cbOut);
    Put(&out, "{\"folder\": ");
    PutJsonString(&out, pFacts->szFolder);
    Put(&out, ",\n");
    PutLibraryJson(&out, pFacts);
    Put(&out, "\"servers_listed\": %d,\n\"servers\": [", pFacts->nServerCount > 0 ? pFacts->nServerCount : 0);
    int nShown = pFacts->bOpenCalled && pFacts->nOpenResult == 0 ? ListedCount(pFacts) : 0;
    for (int i = 0; i < nShown; ++i) {
        Put(&out, "%s\n", i ? "," : "");
        PutServerJson(&out, &pFacts->servers[i], pFacts->szComputerName);
    }
    Put(&out, "],\n");
    PutSettingsJson(&out, pFacts);
    Verdict verdict = DecideVerdict(pFacts);
    char szVerdict[DETAIL_SIZE + 128];
    FormatVerdictLine(pFacts, verdict, szVerdict, sizeof(szVerdict));
    Put(&out, "\"agent_running\": %s,\n\"verdict\": ", JsonBool(pFacts->bAgentRunning));
    PutJsonString(&out, szVerdict);
    Put(&out, ",\n\"verdict_key\": \"%s\", \"exit_code\": %d}\n", GetVerdictInfo(verdict).pszKey,
        GetVerdictInfo(verdict).nExitCode);
}
