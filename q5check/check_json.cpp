// The findings as one JSON object, for scripts and support tickets.
#include "rules/text_out.h"
#include "check_report.h"

static void PutLibrary(Out* pOut, const CheckFacts* pFacts)
{
    Put(pOut, "\"library\": {\"path\": ");
    PutJsonString(pOut, pFacts->bind.szPath);
    Put(pOut, ", \"found\": %s, \"load_error\": %lu, \"file_version\": ", JsonBool(pFacts->bLibraryFile),
        pFacts->bind.dwLoadError);
    PutJsonStringOrNull(pOut, pFacts->szLibraryVersion);
    Put(pOut, ", \"functions\": {");
    for (int i = 0; i < WUSB_EXPORT_COUNT; ++i)
        Put(pOut, "%s\"%s\": %s", i ? ", " : "", GetWusbExportName(i), JsonBool(pFacts->bind.nExportMask & (1u << i)));
    Put(pOut, "}, \"open_result\": ");
    if (pFacts->bOpenCalled)
        Put(pOut, "%d", pFacts->nOpenResult);
    else
        Put(pOut, "null");
    Put(pOut, ", \"notifications\": %d, \"waited_ms\": %lu, \"computer_name\": ", pFacts->nNotifications,
        pFacts->dwWaitedMs);
    PutJsonString(pOut, pFacts->szComputerName);
    Put(pOut, "},\n");
}

static void PutServer(Out* pOut, const ServerFinding* pServer)
{
    Put(pOut, "  {\"address\": ");
    if (pServer->bAddress) {
        PutJsonString(pOut, pServer->szAddress);
        Put(pOut, ", \"web_page\": ");
        PutJsonString(pOut, pServer->szUrl);
    } else {
        Put(pOut, "null, \"web_page\": null");
    }
    Put(pOut, ", \"chosen\": %s, \"firmware\": ", JsonBool(pServer->bChosen));
    PutJsonString(pOut, pServer->szFirmware);
    Put(pOut, ", \"device_count\": %d, \"first_device\": ", pServer->nDeviceCount);
    const _WUSB_DEVICE* pDevice = pServer->pDevice;
    if (!pDevice) {
        Put(pOut, "null}");
        return;
    }
    Put(pOut, "{\"id\": %u, \"hardware_id\": \"%s\", \"vid\": %u, \"pid\": %u, \"status\": \"%s\", \"status_code\": %d, "
        "\"holder\": ", pDevice->dwDeviceId, pServer->szHardwareId, pDevice->wVendorId, pDevice->wProductId,
        pServer->pszStatusKey, pServer->nStatus);
    PutJsonString(pOut, pServer->szHolder);
    Put(pOut, ", \"this_computer\": %s}}", JsonBool(pServer->bHeldHere));
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
    PutJsonString(pOut, pFacts->szSettingIni);
    Put(pOut, ", \"readable\": %s, \"error\": %lu, \"idnum\": %d, \"accepted\": ", JsonBool(!pFacts->dwSettingError),
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
    PutJsonStringOrNull(pOut, pFacts->choice.szAddress);
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
    PutJsonStringOrNull(pOut, value.szIgnored);
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
    PutJsonString(&out, pFacts->szFolder);
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
    Put(&out, "\"agent_running\": %s,\n\"verdict\": ", JsonBool(pFacts->bAgentRunning));
    PutJsonString(&out, s_found.szVerdict);
    Put(&out, ",\n\"verdict_key\": \"%s\", \"exit_code\": %d}\n", GetVerdictInfo(s_found.verdict).pszKey,
        GetVerdictInfo(s_found.verdict).nExitCode);
}
