// q5ctl's two ways of telling a result.
#include "ctl_output.h"
#include "agent/agent_state.h"
#include "settings/setting_source.h"
#include <cstdarg>
#include <cstdio>

namespace {

struct Text {
    char* psz;
    size_t cb;
    size_t n;
};

void Add(Text* pText, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
void Add(Text* pText, const char* pszFormat, ...)
{
    if (pText->n + 1 >= pText->cb)
        return;
    va_list args;
    va_start(args, pszFormat);
    int nLen = vsnprintf(pText->psz + pText->n, pText->cb - pText->n, pszFormat, args);
    va_end(args);
    if (nLen > 0)
        pText->n += (size_t)nLen < pText->cb - pText->n ? (size_t)nLen : pText->cb - pText->n - 1;
}

// ANSI text as a JSON string of ASCII: what is not printable ASCII goes as \u escapes
// of its UTF-16 form in the system code page.
void AddJsonString(Text* pText, const char* pszAnsi)
{
    wchar_t szWide[CTL_MESSAGE_SIZE];
    if (!MultiByteToWideChar(CP_ACP, 0, pszAnsi, -1, szWide, CTL_MESSAGE_SIZE))
        lstrcpyW(szWide, L"?");
    Add(pText, "\"");
    for (const wchar_t* p = szWide; *p; ++p) {
        if (*p == L'"' || *p == L'\\')
            Add(pText, "\\%c", (char)*p);
        else if (*p < 0x20 || *p > 0x7E)
            Add(pText, "\\u%04x", (unsigned)*p);
        else
            Add(pText, "%c", (char)*p);
    }
    Add(pText, "\"");
}

void AddJsonStringOrNull(Text* pText, const char* pszAnsi)
{
    if (pszAnsi && pszAnsi[0])
        AddJsonString(pText, pszAnsi);
    else
        Add(pText, "null");
}

const char* Bool(long b) { return b ? "true" : "false"; }
const char* OnOff(long b) { return b ? "on" : "off"; }

}  // namespace

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
    Text text = {pszOut, cbOut, 0};
    if (cbOut)
        pszOut[0] = '\0';
    Add(&text, "{\"verb\": ");
    AddJsonStringOrNull(&text, CtlVerbName(pOutcome->verb));
    // Once the program ran, the code is its own: the result says how q5ctl itself did.
    int nOwnCode = pOutcome->bProgramRan ? CTL_EXIT_OK : pOutcome->nExit;
    Add(&text, ", \"result\": \"%s\", \"exit_code\": %d, \"message\": ", CtlExitKey(nOwnCode), pOutcome->nExit);
    AddJsonString(&text, pOutcome->szMessage);
    if (pOutcome->bAnswered) {
        const ControlReply* pReply = &pOutcome->reply;
        Add(&text, ", \"state\": \"%s\", \"holder\": ", CtlStateKey(pReply));
        AddJsonStringOrNull(&text, lstrcmpA(CtlStateKey(pReply), "in_use") == 0 ? HolderOf(pReply) : nullptr);
        Add(&text, ", \"connected\": %s, \"wish\": %s, \"autoconnect\": %s, \"autoconnect_source\": ",
            Bool(pReply->bConnected), Bool(pReply->bWantConnect), Bool(pReply->nAutoconnect));
        AddJsonString(&text, SettingSourceName((SettingSource)pReply->nAutoconnectSource));
        Add(&text, ", \"server\": ");
        AddJsonStringOrNull(&text, pReply->szAddress);
        Add(&text, ", \"firmware\": ");
        AddJsonStringOrNull(&text, pReply->szAddress[0] ? pReply->szFirmware : nullptr);
        if (pReply->nDevice != CONTROL_DEVICE_NONE)
            Add(&text, ", \"device\": \"VID_%04lX&PID_%04lX\"", pReply->nVendorId, pReply->nProductId);
        else
            Add(&text, ", \"device\": null");
        Add(&text, ", \"runs\": %ld", pReply->nRuns);
    }
    if (pOutcome->pszProgram) {
        Add(&text, ", \"program\": ");
        AddJsonString(&text, pOutcome->pszProgram);
        if (pOutcome->bProgramRan)
            Add(&text, ", \"program_exit_code\": %lu", pOutcome->dwProgramExit);
        else
            Add(&text, ", \"program_exit_code\": null");
        if (pOutcome->bProgramRan && pOutcome->bAnswered)
            Add(&text, ", \"released\": %s", Bool(pOutcome->reply.bReleased));
    }
    Add(&text, "}\n");
}
