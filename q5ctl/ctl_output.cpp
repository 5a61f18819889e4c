// q5ctl's two ways of telling a result.
#include "ctl_output.h"
#include "agent/agent_state.h"
#include "settings/setting_source.h"
#include "rules/text_out.h"
#include <cstdio>

static const char* OnOff(long b) { return b ? "on" : "off"; }

const char* CtlStateKey(const ControlReply* pReply)
{
    if (pReply->bConnected)
        return "connected";
    if (pReply->nDevice == CONTROL_DEVICE_REFUSED)
        return "refused";
    switch (pReply->nConnectItem) {
    case CONNECT_ITEM_POOR_SIGNAL: return "poor_signal";
    case CONNECT_ITEM_OCCUPIED:    return "in_use";
    case CONNECT_ITEM_NO_DEVICE:   return "no_device";
    default:                       return "free";
    }
}

static const char* HolderOf(const ControlReply* pReply)
{
    return pReply->szHolder[0] ? pReply->szHolder : "another computer";
}

void FormatCtlState(const ControlReply* pReply, char* pszOut, size_t cbOut)
{
    const char* pszKey = CtlStateKey(pReply);
    if (lstrcmpA(pszKey, "in_use") == 0)
        snprintf(pszOut, cbOut, "in use by %s", HolderOf(pReply));
    else if (lstrcmpA(pszKey, "refused") == 0)
        snprintf(pszOut, cbOut, "device VID_%04lX&PID_%04lX refused by the device filter (not in Setting.ini)",
                 pReply->nVendorId, pReply->nProductId);
    else if (lstrcmpA(pszKey, "poor_signal") == 0)
        snprintf(pszOut, cbOut, "poor signal (the bandwidth test measured less than Setting.ini asks for)");
    else if (lstrcmpA(pszKey, "no_device") == 0)
        snprintf(pszOut, cbOut, "no device");
    else
        snprintf(pszOut, cbOut, "%s", pszKey);
}

void FormatCtlStatusLine(const ControlReply* pReply, char* pszOut, size_t cbOut)
{
    char szState[CTL_MESSAGE_SIZE / 2];
    FormatCtlState(pReply, szState, sizeof(szState));
    char szServer[CONTROL_ADDRESS_SIZE + CONTROL_FIRMWARE_SIZE + 32] = "no server";
    if (pReply->szAddress[0])
        snprintf(szServer, sizeof(szServer), "server %s, firmware %s", pReply->szAddress,
                 pReply->szFirmware[0] ? pReply->szFirmware : "unknown");
    snprintf(pszOut, cbOut, "%s; %s; wish %s; autoconnect %s (%s)", szState, szServer, OnOff(pReply->bWantConnect),
             OnOff(pReply->nAutoconnect), SettingSourceName((SettingSource)pReply->nAutoconnectSource));
}

void FormatCtlJson(const CtlOutcome* pOutcome, char* pszOut, size_t cbOut)
{
    Out out = StartOut(pszOut, cbOut);
    Put(&out, "{\"verb\": ");
    PutJsonStringOrNull(&out, CtlVerbName(pOutcome->verb));
    // Once the program ran, the code is its own: the result says how q5ctl itself did.
    int nOwnCode = pOutcome->bProgramRan ? CTL_EXIT_OK : pOutcome->nExit;
    Put(&out, ", \"result\": \"%s\", \"exit_code\": %d, \"message\": ", CtlExitKey(nOwnCode), pOutcome->nExit);
    PutJsonString(&out, pOutcome->szMessage);
    if (pOutcome->bAnswered) {
        const ControlReply* pReply = &pOutcome->reply;
        Put(&out, ", \"state\": \"%s\", \"holder\": ", CtlStateKey(pReply));
        PutJsonStringOrNull(&out, lstrcmpA(CtlStateKey(pReply), "in_use") == 0 ? HolderOf(pReply) : nullptr);
        Put(&out, ", \"connected\": %s, \"wish\": %s, \"autoconnect\": %s, \"autoconnect_source\": ",
            JsonBool(pReply->bConnected), JsonBool(pReply->bWantConnect), JsonBool(pReply->nAutoconnect));
        PutJsonString(&out, SettingSourceName((SettingSource)pReply->nAutoconnectSource));
        Put(&out, ", \"server\": ");
        PutJsonStringOrNull(&out, pReply->szAddress);
        Put(&out, ", \"firmware\": ");
        PutJsonStringOrNull(&out, pReply->szAddress[0] ? pReply->szFirmware : nullptr);
        if (pReply->nDevice != CONTROL_DEVICE_NONE)
            Put(&out, ", \"device\": \"VID_%04lX&PID_%04lX\"", pReply->nVendorId, pReply->nProductId);
        else
            Put(&out, ", \"device\": null");
        Put(&out, ", \"runs\": %ld", pReply->nRuns);
    }
    if (pOutcome->pszProgram) {
        Put(&out, ", \"program\": ");
        PutJsonString(&out, pOutcome->pszProgram);
        if (pOutcome->bProgramRan)
            Put(&out, ", \"program_exit_code\": %lu", pOutcome->dwProgramExit);
        else
            Put(&out, ", \"program_exit_code\": null");
        if (pOutcome->bProgramRan && pOutcome->bAnswered)
            Put(&out, ", \"released\": %s", JsonBool(pOutcome->reply.bReleased));
    }
    Put(&out, "}\n");
}
