// The verdict table and the one pass that turns the facts into findings, with the
// agent's own rules: its server choice, its held-here test, its bandwidth condition.
#include "check_report.h"
#include "agent/connection.h"
#include <cstdio>
#include <cstring>

// Verdicts in the order of the enum; the exit code is what scripts test.
static const VerdictInfo s_aVerdicts[VERDICT_COUNT] = {
    {0, "would_attach", "would attach"},
    {1, "attached_here", "attached to this computer"},
    {3, "in_use", "in use by %s"},
    {4, "not_accepted", "device %s"},
    {5, "poor_signal", "bandwidth too low: %s"},
    {6, "unknown_status", "device status %s is neither free nor in use"},
    {16, "on_demand", "would not attach by itself (%s): Connect in the tray menu attaches it"},
    {7, "no_device", "server %s has no USB device plugged in"},
    {8, "no_server", "no server found: check that the box is on and on this network"},
    {15, "server_not_listed", "server %s"},
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

// "VID_vvvv&PID_pppp", the shape of the Setting.ini list.
static void HardwareIdText(const _WUSB_DEVICE* pDevice, char* pszDst, size_t cbDst)
{
    snprintf(pszDst, cbDst, "VID_%04X&PID_%04X", pDevice->wVendorId, pDevice->wProductId);
}

static void FindServer(const _WUSB_SERVER* pServer, const char* pszComputer, ServerFinding* pFound)
{
    pFound->bAddress = FormatServerAddress(pServer, pFound->szAddress, sizeof(pFound->szAddress));
    FormatServerUrl(pServer, pFound->szUrl, sizeof(pFound->szUrl));
    CopyRecordText(pServer->szFirmware, sizeof(pServer->szFirmware), pFound->szFirmware, sizeof(pFound->szFirmware));
    pFound->nDeviceCount = pServer->nDeviceCount;
    pFound->pDevice = pServer->nDeviceCount > 0 ? &pServer->device : nullptr;
    HardwareIdText(&pServer->device, pFound->szHardwareId, sizeof(pFound->szHardwareId));
    pFound->nStatus = pServer->nStatus;
    pFound->pszStatusKey = pServer->nStatus == WUSB_STATUS_FREE     ? "free"
                           : pServer->nStatus == WUSB_STATUS_IN_USE ? "in_use"
                                                                    : "unknown";
    CopyRecordText(pServer->szHostName, sizeof(pServer->szHostName), pFound->szHolder, sizeof(pFound->szHolder));
    pFound->bHeldHere = IsHeldBy(pServer, pszComputer);
}

static void FindChoice(const CheckFacts* pFacts, CheckFindings* pFound)
{
    pFound->nChosen = -1;
    pFound->choice = CHOICE_NO_SERVER;
    if (pFound->nShown <= 0)
        return;
    pFound->nChosen = FindChosenServer(pFacts->servers, pFound->nShown, &pFacts->choice);
    if (pFacts->choice.bNamed)
        pFound->choice = pFound->nChosen >= 0 ? CHOICE_NAMED : CHOICE_NAMED_NOT_LISTED;
    else
        pFound->choice = pFacts->choice.szAddress[0] ? CHOICE_BAD_ADDRESS : CHOICE_FIRST_LISTED;
    if (pFound->nChosen >= 0)
        pFound->servers[pFound->nChosen].bChosen = 1;
    for (int i = 0; i < pFound->nShown; ++i)
        if (pFound->servers[i].bAddress) {
            size_t n = strlen(pFound->szListedAddresses);
            snprintf(pFound->szListedAddresses + n, sizeof(pFound->szListedAddresses) - n, "%s%s", n ? ", " : "",
                     pFound->servers[i].szAddress);
        }
}

static void FindDeviceList(const CheckFacts* pFacts, const _WUSB_DEVICE* pDevice, CheckFindings* pFound)
{
    if (pFacts->dwSettingError)
        SettingErrorText(pFacts->dwSettingError, pFound->szSettingError, sizeof(pFound->szSettingError));
    // A policy's list needs no Setting.ini.
    if (pFacts->dwSettingError && !IsPolicySource(pFacts->sources.deviceList.source)) {
        pFound->deviceList = DEVICE_LIST_UNREAD;
    } else if (!pDevice) {
        pFound->deviceList = DEVICE_LIST_NO_DEVICE;
    } else {
        pFound->deviceList = pFacts->nMatch >= 0 ? DEVICE_LIST_ACCEPTED : DEVICE_LIST_NOT_LISTED;
    }
    if (pDevice)
        HardwareIdText(pDevice, pFound->szCheckedId, sizeof(pFound->szCheckedId));
    pFound->nNextEntry = pFacts->nDeviceTypeCount > 0 ? pFacts->nDeviceTypeCount : 0;
}

// The agent's own order: the library, the server it acts on, its first device, the
// filter (which a device attached here skips), then the status and the test.
static Verdict FindVerdict(const CheckFacts* pFacts, const CheckFindings* pFound, char* pszDetail, size_t cbDetail)
{
    pszDetail[0] = '\0';
    if (!pFacts->szFolder[0] || !pFacts->bLibraryFile)
        return VERDICT_NO_LIBRARY;
    if (pFacts->bind.dwLoadError) {
        snprintf(pszDetail, cbDetail, "%s", pFound->szLoadError);
        return VERDICT_LIBRARY_UNLOADABLE;
    }
    if (pFacts->bind.nExportMask != WUSB_ALL_EXPORTS) {
        snprintf(pszDetail, cbDetail, "%d of the %d", pFound->nMissingExports, WUSB_EXPORT_COUNT);
        return VERDICT_LIBRARY_INCOMPLETE;
    }
    if (!pFound->bLibraryStarted) {
        snprintf(pszDetail, cbDetail, "%d", pFacts->nOpenResult);
        return VERDICT_OPEN_FAILED;
    }
    if (pFound->choice == CHOICE_NO_SERVER)
        return VERDICT_NO_SERVER;
    if (pFound->choice == CHOICE_NAMED_NOT_LISTED) {
        snprintf(pszDetail, cbDetail, "%s named in %s not found; listed: %s", pFacts->choice.szAddress,
                 SettingSourceName(pFacts->choice.source),
                 pFound->szListedAddresses[0] ? pFound->szListedAddresses : "none with an address");
        return VERDICT_SERVER_NOT_LISTED;
    }
    const ServerFinding* pServer = &pFound->servers[pFound->nChosen];
    if (!pServer->bAddress)
        return VERDICT_NO_ADDRESS;
    if (!pServer->pDevice) {
        snprintf(pszDetail, cbDetail, "%s", pServer->szAddress);
        return VERDICT_NO_DEVICE;
    }
    if (pServer->bHeldHere)
        return VERDICT_ATTACHED_HERE;
    if (pFound->deviceList == DEVICE_LIST_UNREAD) {
        snprintf(pszDetail, cbDetail, "%s", pFound->szSettingError);
        return VERDICT_NO_SETTINGS;
    }
    if (pFound->deviceList == DEVICE_LIST_NOT_LISTED) {
        const SettingValue* pList = &pFacts->sources.deviceList;
        snprintf(pszDetail, cbDetail, IsPolicySource(pList->source) ? "%s is not in the device list of the %s"
                                                                     : "%s is not in %s",
                 pServer->szHardwareId, IsPolicySource(pList->source) ? SettingSourceName(pList->source) : "Setting.ini");
        return VERDICT_NOT_ACCEPTED;
    }
    if (pServer->nStatus == WUSB_STATUS_IN_USE) {
        snprintf(pszDetail, cbDetail, "%s", pServer->szHolder);
        return VERDICT_IN_USE;
    }
    if (pServer->nStatus != WUSB_STATUS_FREE) {
        snprintf(pszDetail, cbDetail, "%d", pServer->nStatus);
        return VERDICT_UNKNOWN_STATUS;
    }
    // The agent starts without the wish and arms no attach (nor its test) until Connect.
    if (pFacts->bShareRead && !pFacts->share.autoconnect.nValue) {
        snprintf(pszDetail, cbDetail, "autoconnect=0 in %s", SettingSourceName(pFacts->share.autoconnect.source));
        return VERDICT_ON_DEMAND;
    }
    // Only a strictly lower rate refuses, as in the agent.
    if (pFacts->bBandwidthRun && pFound->bBandwidthTest && pFacts->nMeasured < pFacts->nBitRate) {
        snprintf(pszDetail, cbDetail, "measured %d, %s asks for at least %d", pFacts->nMeasured,
                 SettingSourceName(pFacts->sources.bitRate.source), pFacts->nBitRate);
        return VERDICT_POOR_SIGNAL;
    }
    return VERDICT_WOULD_ATTACH;
}

void WorkOutFindings(const CheckFacts* pFacts, CheckFindings* pFound)
{
    memset(pFound, 0, sizeof(*pFound));
    pFound->bLibraryStarted = pFacts->bOpenCalled && pFacts->nOpenResult == 0;
    for (int i = 0; i < WUSB_EXPORT_COUNT; ++i)
        pFound->nMissingExports += !(pFacts->bind.nExportMask & (1u << i));
    LoadErrorText(pFacts->bind.dwLoadError, pFound->szLoadError, sizeof(pFound->szLoadError));
    pFound->nListed = pFacts->nServerCount > 0 ? pFacts->nServerCount : 0;
    if (pFound->bLibraryStarted)
        pFound->nShown = pFound->nListed < MAX_SERVERS ? pFound->nListed : MAX_SERVERS;
    for (int i = 0; i < pFound->nShown; ++i)
        FindServer(&pFacts->servers[i], pFacts->szComputerName, &pFound->servers[i]);
    FindChoice(pFacts, pFound);
    // The filter is asked about the chosen server's device, as the agent asks.
    const ServerFinding* pChosen = pFound->nChosen >= 0 ? &pFound->servers[pFound->nChosen] : nullptr;
    FindDeviceList(pFacts, pChosen && pChosen->bAddress ? pChosen->pDevice : nullptr, pFound);
    pFound->bBandwidthTest = BandwidthTestOn(pFacts->nBitRate);
    char szDetail[DETAIL_SIZE];
    pFound->verdict = FindVerdict(pFacts, pFound, szDetail, sizeof(szDetail));
    snprintf(pFound->szVerdict, sizeof(pFound->szVerdict), GetVerdictInfo(pFound->verdict).pszFormat, szDetail);
}

Verdict DecideVerdict(const CheckFacts* pFacts)
{
    static CheckFindings s_found;
    WorkOutFindings(pFacts, &s_found);
    return s_found.verdict;
}
