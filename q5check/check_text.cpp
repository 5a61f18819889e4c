// The findings as plain text for people: one labelled line per finding.
#include "rules/text_out.h"
#include "check_report.h"
#include <cstdio>
#include <initializer_list>

// A text fit for a console line: control bytes become '?'.
static void Printable(const char* pszText, char* pszDst, size_t cbDst)
{
    lstrcpynA(pszDst, pszText, (int)cbDst);
    for (char* p = pszDst; *p; ++p)
        if ((unsigned char)*p < 0x20 || *p == 0x7F)
            *p = '?';
}

static void PutLabel(Out* pOut, const char* pszLabel)
{
    Put(pOut, "%-*s", REPORT_LABEL_WIDTH, pszLabel);
}

static void PutLibrary(Out* pOut, const CheckFacts* pFacts, const CheckFindings* pFound)
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
        PutLabel(pOut, "  load:");
        Put(pOut, "failed, %s\n", pFound->szLoadError);
        return;
    }
    PutLabel(pOut, "  functions:");
    if (pFound->nMissingExports == 0) {
        Put(pOut, "all %d present\n", WUSB_EXPORT_COUNT);
    } else {
        Put(pOut, "%d of %d present; missing", WUSB_EXPORT_COUNT - pFound->nMissingExports, WUSB_EXPORT_COUNT);
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
    Put(pOut, "WUSBOpen returned %d (%s)\n", pFacts->nOpenResult, pFound->bLibraryStarted ? "started" : "failed");
    if (!pFound->bLibraryStarted)
        return;
    PutLabel(pOut, "  scan:");
    Put(pOut, "%d notification%s in %lu.%lu s (waiting at most %d s)\n", pFacts->nNotifications,
        pFacts->nNotifications == 1 ? "" : "s", pFacts->dwWaitedMs / 1000, pFacts->dwWaitedMs % 1000 / 100,
        pFacts->nWaitSeconds);
    char szComputer[COMPUTER_NAME_SIZE];
    Printable(pFacts->szComputerName, szComputer, sizeof(szComputer));
    PutLabel(pOut, "  this computer:");
    Put(pOut, "%s\n", szComputer);
}

static void PutDevice(Out* pOut, const ServerFinding* pServer)
{
    PutLabel(pOut, "  first device:");
    if (!pServer->pDevice) {
        Put(pOut, "none\n");
        return;
    }
    Put(pOut, "id %u, %s, ", pServer->pDevice->dwDeviceId, pServer->szHardwareId);
    char szHolder[HOLDER_SIZE];
    Printable(pServer->szHolder, szHolder, sizeof(szHolder));
    if (pServer->nStatus == WUSB_STATUS_FREE)
        Put(pOut, "free\n");
    else if (pServer->nStatus == WUSB_STATUS_IN_USE)
        Put(pOut, "in use by %s (%s)\n", szHolder, pServer->bHeldHere ? "this computer" : "another computer");
    else
        Put(pOut, "status %d (neither free nor in use)\n", pServer->nStatus);
}

// Which server the agent acts on, and why.
static void PutChoice(Out* pOut, const CheckFacts* pFacts, const CheckFindings* pFound)
{
    switch (pFound->choice) {
    case CHOICE_FIRST_LISTED:
        Put(pOut, "; the agent acts on server 1, the first listed");
        break;
    case CHOICE_BAD_ADDRESS:
        Put(pOut, "; the agent acts on server 1, the first listed (address=%s in Setting.ini is no IPv4 address)",
            pFacts->choice.szAddress);
        break;
    case CHOICE_NAMED:
        Put(pOut, "; the agent acts on server %d, named by address= in %s", pFound->nChosen + 1,
            SettingSourceName(pFacts->choice.source));
        break;
    case CHOICE_NAMED_NOT_LISTED:
        Put(pOut, "; none is %s, which %s names: the agent acts on none", pFacts->choice.szAddress,
            SettingSourceName(pFacts->choice.source));
        break;
    case CHOICE_NO_SERVER:
        break;
    }
}

static void PutServers(Out* pOut, const CheckFacts* pFacts, const CheckFindings* pFound)
{
    PutLabel(pOut, "Servers:");
    Put(pOut, "%d listed", pFound->nListed);
    if (pFound->nShown < pFound->nListed)
        Put(pOut, " (the first %d shown)", pFound->nShown);
    PutChoice(pOut, pFacts, pFound);
    Put(pOut, "\n");
    for (int i = 0; i < pFound->nShown; ++i) {
        const ServerFinding* pServer = &pFound->servers[i];
        char szLabel[REPORT_LABEL_WIDTH + 8];
        snprintf(szLabel, sizeof(szLabel), "Server %d:", i + 1);
        PutLabel(pOut, szLabel);
        if (!pServer->bAddress) {
            Put(pOut, "no address (the agent treats it as no server)\n");
            continue;
        }
        Put(pOut, "%s%s\n", pServer->szAddress, pServer->bChosen && pFound->nShown > 1 ? " (the agent's)" : "");
        char szFirmware[WUSB_FIRMWARE_SIZE + 1];
        Printable(pServer->szFirmware, szFirmware, sizeof(szFirmware));
        PutLabel(pOut, "  firmware:");
        Put(pOut, "%s\n", szFirmware);
        PutLabel(pOut, "  web page:");
        Put(pOut, "%s\n", pServer->szUrl);
        PutLabel(pOut, "  devices:");
        Put(pOut, "%d\n", pServer->nDeviceCount);
        PutDevice(pOut, pServer);
    }
}

static void PutSettings(Out* pOut, const CheckFacts* pFacts, const CheckFindings* pFound)
{
    PutLabel(pOut, "Setting.ini:");
    Put(pOut, "%s%s%s\n", pFacts->szSettingIni, pFound->szSettingError[0] ? " - " : "", pFound->szSettingError);
    PutLabel(pOut, "  device list:");
    switch (pFound->deviceList) {
    case DEVICE_LIST_UNREAD:
        Put(pOut, "not read; without it the agent accepts no device\n");
        break;
    case DEVICE_LIST_NO_DEVICE:
        Put(pOut, "no device to check (idnum=%d)\n", pFacts->nDeviceTypeCount);
        break;
    case DEVICE_LIST_ACCEPTED:
        if (IsPolicySource(pFacts->sources.deviceList.source))
            Put(pOut, "%s accepted by %s of the %s\n", pFound->szCheckedId, pFacts->szMatchValue,
                SettingSourceName(pFacts->sources.deviceList.source));
        else
            Put(pOut, "%s accepted by id%d=%s\n", pFound->szCheckedId, pFacts->nMatch, pFacts->szMatchValue);
        break;
    case DEVICE_LIST_NOT_LISTED:
        if (IsPolicySource(pFacts->sources.deviceList.source)) {
            Put(pOut, "%s not listed by the %s (%d types)\n", pFound->szCheckedId,
                SettingSourceName(pFacts->sources.deviceList.source), pFacts->nDeviceTypeCount);
            break;
        }
        Put(pOut, "%s not listed (idnum=%d); add to [device]: id%d=%s and set idnum=%d\n", pFound->szCheckedId,
            pFacts->nDeviceTypeCount, pFound->nNextEntry, pFound->szCheckedId, pFound->nNextEntry + 1);
        break;
    }
    PutLabel(pOut, "  server:");
    if (pFacts->choice.bNamed)
        Put(pOut, "address=%s\n", pFacts->choice.szAddress);
    else if (pFacts->choice.szAddress[0])
        Put(pOut, "address=%s is no IPv4 address: the first server listed\n", pFacts->choice.szAddress);
    else
        Put(pOut, "none named: the first server listed\n");
    PutLabel(pOut, "  bandwidth:");
    if (pFound->bBandwidthTest)
        Put(pOut, "tested before attaching: bitrate=%d, transfersize=%u\n", pFacts->nBitRate, pFacts->nTransferSize);
    else
        Put(pOut, "no test before attaching (bitrate=%d)\n", pFacts->nBitRate);
    if (pFacts->bBandwidthRun) {
        PutLabel(pOut, "  measured:");
        if (!pFound->bBandwidthTest)
            Put(pOut, "%d (no threshold set)\n", pFacts->nMeasured);
        else
            Put(pOut, "%d against bitrate=%d: %s\n", pFacts->nMeasured, pFacts->nBitRate,
                pFacts->nMeasured < pFacts->nBitRate ? "too low" : "enough");
    }
}

// One [share] choice: its key and value, where it came from, and what it does.
static void PutShareValue(Out* pOut, const char* pszLabel, const char* pszKey, const SettingValue& value,
                          const char* pszMeaning)
{
    PutLabel(pOut, pszLabel);
    Put(pOut, "%s=%d (%s): %s\n", pszKey, value.nValue, SettingSourceName(value.source), pszMeaning);
}

static void PutShare(Out* pOut, const ShareSettings* pShare)
{
    PutLabel(pOut, "Sharing:");
    Put(pOut, "the [share] choices in force, and where each comes from\n");
    PutShareValue(pOut, "  connect:", PRODUCT_AUTOCONNECT_VALUE, pShare->autoconnect,
                  pShare->autoconnect.nValue ? "attaches a free device by itself" : "attaches only after Connect");
    char szAfter[64];
    snprintf(szAfter, sizeof(szAfter), "after %d minutes without input", pShare->releaseAfter.nValue);
    PutShareValue(pOut, "  away release:", PRODUCT_RELEASE_AFTER_VALUE, pShare->releaseAfter,
                  pShare->releaseAfter.nValue ? szAfter : "never");
    PutShareValue(pOut, "  lock release:", PRODUCT_RELEASE_ON_LOCK_VALUE, pShare->releaseOnLock,
                  pShare->releaseOnLock.nValue ? "when the session is locked" : "off");
    PutShareValue(pOut, "  notices:", PRODUCT_NOTICES_VALUE, pShare->notices,
                  pShare->notices.nValue ? "when the device is free, or attached after a wait" : "off");
    for (const SettingValue* pValue : {&pShare->autoconnect, &pShare->releaseAfter, &pShare->releaseOnLock,
                                       &pShare->notices}) {
        if (!pValue->szIgnored[0])
            continue;
        char szIgnored[IGNORED_NOTE_SIZE];
        Printable(pValue->szIgnored, szIgnored, sizeof(szIgnored));
        PutLabel(pOut, "  ignored:");
        Put(pOut, "%s\n", szIgnored);
    }
}

void FormatReportText(const CheckFacts* pFacts, char* pszOut, size_t cbOut)
{
    static CheckFindings s_found;
    WorkOutFindings(pFacts, &s_found);
    Out out = StartOut(pszOut, cbOut);
    PutLabel(&out, "Program folder:");
    Put(&out, "%s\n", pFacts->szFolder[0] ? pFacts->szFolder : "(no ANSI path)");
    PutLibrary(&out, pFacts, &s_found);
    if (s_found.bLibraryStarted)
        PutServers(&out, pFacts, &s_found);
    if (pFacts->szFolder[0]) {
        PutSettings(&out, pFacts, &s_found);
        PutSourcesText(&out, &pFacts->sources);
    }
    if (pFacts->bShareRead)
        PutShare(&out, &pFacts->share);
    PutLabel(&out, "Agent:");
    Put(&out, "%s\n", pFacts->bAgentRunning ? "running; this check never imports or unimports, the agent does"
                                            : "not running");
    char szVerdict[VERDICT_LINE_SIZE];
    Printable(s_found.szVerdict, szVerdict, sizeof(szVerdict));
    PutLabel(&out, "Verdict:");
    Put(&out, "%s\n", szVerdict);
}
