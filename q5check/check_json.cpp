// The findings as one JSON object, for scripts and support tickets.
#include "check_output.h"
#include "check_report.h"

constexpr int WIDE_TEXT_SIZE = 1024;

// Texts are ANSI: taken to UTF-16 by the code page and written as pure ASCII
// JSON, anything else as \u escapes.
static void PutString(Out* pOut, const char* pszAnsi)
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

// A text, or null when it is empty.
static void PutStringOrNull(Out* pOut, const char* pszAnsi)
{
    if (pszAnsi[0])
        PutString(pOut, pszAnsi);
    else
        Put(pOut, "null");
}

static const char* Bool(int b) { return b ? "true" : "false"; }

static void PutLibrary(Out* pOut, const CheckFacts* pFacts)
{
    Put(pOut, "\"library\": {\"path\": ");
    PutString(pOut, pFacts->bind.szPath);
    Put(pOut, ", \"found\": %s, \"load_error\": %lu, \"file_version\": ", Bool(pFacts->bLibraryFile),
        pFacts->bind.dwLoadError);
    PutStringOrNull(pOut, pFacts->szLibraryVersion);
    Put(pOut, ", \"functions\": {");
    for (int i = 0; i < WUSB_EXPORT_COUNT; ++i)
        Put(pOut, "%s\"%s\": %s", i ? ", " : "", GetWusbExportName(i), Bool(pFacts->bind.nExportMask & (1u << i)));
    Put(pOut, "}, \"open_result\": ");
    if (pFacts->bOpenCalled)
        Put(pOut, "%d", pFacts->nOpenResult);
    else
        Put(pOut, "null");
    Put(pOut, ", \"notifications\": %d, \"waited_ms\": %lu, \"computer_name\": ", pFacts->nNotifications,
        pFacts->dwWaitedMs);
    PutString(pOut, pFacts->szComputerName);
    Put(pOut, "},\n");
}

static void PutServer(Out* pOut, const ServerFinding* pServer)
{
    Put(pOut, "  {\"address\": ");
    if (pServer->bAddress) {
        PutString(pOut, pServer->szAddress);
        Put(pOut, ", \"web_page\": ");
        PutString(pOut, pServer->szUrl);
    } else {
        Put(pOut, "null, \"web_page\": null");
    }
    Put(pOut, ", \"chosen\": %s, \"firmware\": ", Bool(pServer->bChosen));
    PutString(pOut, pServer->szFirmware);
    Put(pOut, ", \"device_count\": %d, \"first_device\": ", pServer->nDeviceCount);
    const _WUSB_DEVICE* pDevice = pServer->pDevice;
    if (!pDevice) {
        Put(pOut, "null}");
        return;
    }
    Put(pOut, "{\"id\": %u, \"hardware_id\": \"%s\", \"vid\": %u, \"pid\": %u, \"status\": \"%s\", \"status_code\": %d, "
        "\"holder\": ", pDevice->dwDeviceId, pServer->szHardwareId, pDevice->wVendorId, pDevice->wProductId,
        pServer->pszStatusKey, pServer->nStatus);
    PutString(pOut, pServer->szHolder);
    Put(pOut, ", \"this_computer\": %s}}", Bool(pServer->bHeldHere));
}

static const char* ChoiceKey(ChoiceFinding choice)
{
    switch (choice) {
    case CHOICE_FIRST_LISTED:     return "first_listed";
    case CHOICE_BAD_ADDRESS:      return "first_listed_bad_address";
    case CHOICE_NAMED:            return "address";
    case CHOICE_NAMED_NOT_LISTED: return "address_not_listed";
    default:                      return "none";
    }
}

static void PutSettings(Out* pOut, const CheckFacts* pFacts, const CheckFindings* pFound)
{
    Put(pOut, "\"settings\": {\"path\": ");
    PutString(pOut, pFacts->szSettingIni);
    Put(pOut, ", \"readable\": %s, \"error\": %lu, \"idnum\": %d, \"accepted\": ", Bool(!pFacts->dwSettingError),
        pFacts->dwSettingError, pFacts->nDeviceTypeCount);
    switch (pFound->deviceList) {
    case DEVICE_LIST_UNREAD:
        Put(pOut, "false, \"entry\": null, \"line_to_add\": null");
        break;
    case DEVICE_LIST_NO_DEVICE:
        Put(pOut, "null, \"entry\": null, \"line_to_add\": null");
        break;
    case DEVICE_LIST_ACCEPTED:
        Put(pOut, "true, \"entry\": \"id%d\", \"line_to_add\": null", pFacts->nMatch);
        break;
    case DEVICE_LIST_NOT_LISTED:
        Put(pOut, "false, \"entry\": null, \"line_to_add\": \"id%d=%s\", \"idnum_to_set\": %d", pFound->nNextEntry,
            pFound->szCheckedId, pFound->nNextEntry + 1);
        break;
    }
    Put(pOut, ", \"server_address\": ");
    PutStringOrNull(pOut, pFacts->choice.szAddress);
    Put(pOut, ", \"bitrate\": %d, \"transfersize\": %u, \"measured\": ", pFacts->nBitRate, pFacts->nTransferSize);
    if (pFacts->bBandwidthRun)
        Put(pOut, "%d", pFacts->nMeasured);
    else
        Put(pOut, "null");
    Put(pOut, "},\n");
}

static void PutShareValue(Out* pOut, const char* pszKey, const SettingValue& value, const char* pszAfter)
{
    Put(pOut, "\"%s\": {\"value\": %d, \"source\": \"%s\", \"ignored\": ", pszKey, value.nValue,
        SettingSourceKey(value.source));
    PutStringOrNull(pOut, value.szIgnored);
    Put(pOut, "}%s", pszAfter);
}

// The [share] choices in force, each with its source and the value ignored on the way.
static void PutShare(Out* pOut, const CheckFacts* pFacts)
{
    Put(pOut, "\"share\": ");
    if (!pFacts->bShareRead) {
        Put(pOut, "null,\n");
        return;
    }
    const ShareSettings& share = pFacts->share;
    Put(pOut, "{");
    PutShareValue(pOut, PRODUCT_AUTOCONNECT_VALUE, share.autoconnect, ", ");
    PutShareValue(pOut, PRODUCT_RELEASE_AFTER_VALUE, share.releaseAfter, ", ");
    PutShareValue(pOut, PRODUCT_RELEASE_ON_LOCK_VALUE, share.releaseOnLock, ", ");
    PutShareValue(pOut, PRODUCT_NOTICES_VALUE, share.notices, "},\n");
}

void FormatReportJson(const CheckFacts* pFacts, char* pszOut, size_t cbOut)
{
    static CheckFindings s_found;
    WorkOutFindings(pFacts, &s_found);
    Out out = StartOut(pszOut, cbOut);
    Put(&out, "{\"folder\": ");
    PutString(&out, pFacts->szFolder);
    Put(&out, ",\n");
    PutLibrary(&out, pFacts);
    Put(&out, "\"servers_listed\": %d,\n\"servers\": [", s_found.nListed);
    for (int i = 0; i < s_found.nShown; ++i) {
        Put(&out, "%s\n", i ? "," : "");
        PutServer(&out, &s_found.servers[i]);
    }
    Put(&out, "],\n\"chosen_server\": ");
    if (s_found.nChosen >= 0)
        Put(&out, "%d", s_found.nChosen + 1);
    else
        Put(&out, "null");
    Put(&out, ", \"chosen_by\": \"%s\",\n", ChoiceKey(s_found.choice));
    PutSettings(&out, pFacts, &s_found);
    PutShare(&out, pFacts);
    PutSourcesJson(&out, &pFacts->sources);
    Put(&out, "\"agent_running\": %s,\n\"verdict\": ", Bool(pFacts->bAgentRunning));
    PutString(&out, s_found.szVerdict);
    Put(&out, ",\n\"verdict_key\": \"%s\", \"exit_code\": %d}\n", GetVerdictInfo(s_found.verdict).pszKey,
        GetVerdictInfo(s_found.verdict).nExitCode);
}
