// q5ctl: status, connect, disconnect, run a program with the device, and the user's
// autoconnect choice, for scripts and shortcuts. It talks only to this session's running
// agent and never opens the client library itself, so the agent's state stays the one truth.
#include "ctl_channel.h"
#include "ctl_command.h"
#include "ctl_output.h"
#include "agent/connection.h"
#include "agent/dll_search.h"
#include "agent/program_path.h"
#include "rules/reg_key.h"
#include "settings/share_settings.h"
#include "agent_version.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

// How often a wait asks the agent for its state: the most a wait adds to the agent's own time.
constexpr DWORD CTL_POLL_MS = 50;
// No device ends a connect's wait once it has lasted this long: by then the agent's
// periodic check has started a discovery pass of its own.
constexpr DWORD NO_DEVICE_SETTLE_MS = SERVER_CHECK_MS;
// CreateProcess takes a command line of at most this many characters.
constexpr size_t PROGRAM_LINE_SIZE = 32768;

static volatile LONG s_bCancelled;
static volatile LONG s_bProgramRuns;

static BOOL WINAPI OnConsoleCtrl(DWORD dwType)
{
    if (dwType != CTRL_C_EVENT && dwType != CTRL_BREAK_EVENT)
        return FALSE;
    // While run's program runs, the Ctrl+C is the program's; q5ctl stays to give the device back.
    if (!s_bProgramRuns)
        InterlockedExchange(&s_bCancelled, 1);
    return TRUE;
}

static int StateIs(const ControlReply* pReply, const char* pszKey)
{
    return strcmp(CtlStateKey(pReply), pszKey) == 0;
}

static void SetMessage(CtlOutcome* pOut, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
static void SetMessage(CtlOutcome* pOut, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    vsnprintf(pOut->szMessage, sizeof(pOut->szMessage), pszFormat, args);
    va_end(args);
}

// The exit code and line of a request that got no answer.
static int AskFailed(CtlAsk ask, CtlOutcome* pOut)
{
    switch (ask) {
    case CTL_ASK_NO_AGENT:
        SetMessage(pOut, "no %s agent runs in this session (start it, or add --start)", PRODUCT_NAME);
        return pOut->nExit = CTL_EXIT_NO_AGENT;
    case CTL_ASK_REFUSED:
        SetMessage(pOut, "the agent refused the request");
        return pOut->nExit = CTL_EXIT_FAILED;
    default:
        SetMessage(pOut, "the agent did not answer within %u s", CTL_REQUEST_TIMEOUT_MS / 1000);
        return pOut->nExit = CTL_EXIT_FAILED;
    }
}

// One request whose answer becomes the outcome's state; 1 when it was carried out.
static int Ask(HWND hAgent, DWORD dwVerb, DWORD dwArg, CtlOutcome* pOut)
{
    ControlReply reply;
    CtlAsk ask = AskAgent(hAgent, dwVerb, dwArg, &reply);
    if (ask != CTL_ASK_ANSWERED)
        return AskFailed(ask, pOut), 0;
    pOut->reply = reply;
    pOut->bAnswered = 1;
    if (reply.dwResult == CONTROL_DONE)
        return 1;
    pOut->nExit = CTL_EXIT_FAILED;
    if (reply.dwResult == CONTROL_CLOSING)
        SetMessage(pOut, "the agent is closing with the session");
    else if (reply.dwResult == CONTROL_RUNS_FULL)
        SetMessage(pOut, "the agent keeps no more runs at once");
    else
        SetMessage(pOut, "the agent refused the request");
    return 0;
}

enum WaitGoal { GOAL_CONNECTED, GOAL_DETACHED };

// What the state means once a connect's time is up.
static int TimeUpCode(const ControlReply* pReply)
{
    if (StateIs(pReply, "in_use"))
        return CTL_EXIT_IN_USE;
    if (StateIs(pReply, "poor_signal"))
        return CTL_EXIT_POOR_SIGNAL;
    if (StateIs(pReply, "no_device"))
        return CTL_EXIT_NO_DEVICE;
    return CTL_EXIT_TIMED_OUT;
}

// Asks for the state until the goal is reached, the state cannot reach it by waiting,
// the time is up or Ctrl+C comes. The exit code; pOut->reply holds the last state.
static int WaitFor(HWND hAgent, WaitGoal goal, int nSeconds, CtlOutcome* pOut)
{
    const ULONGLONG nStart = GetTickCount64();
    const ULONGLONG nLimit = (ULONGLONG)nSeconds * 1000;
    ULONGLONG nNoDeviceSince = 0;
    int bNoDevice = 0;
    for (;;) {
        ULONGLONG nNow = GetTickCount64() - nStart;
        const ControlReply* pReply = &pOut->reply;
        if (goal == GOAL_DETACHED && !pReply->bConnected)
            return CTL_EXIT_OK;
        if (goal == GOAL_CONNECTED) {
            if (pReply->bConnected)
                return CTL_EXIT_OK;
            if (StateIs(pReply, "refused"))
                return CTL_EXIT_REFUSED;
            if (StateIs(pReply, "no_device") && !bNoDevice)
                nNoDeviceSince = nNow;
            bNoDevice = StateIs(pReply, "no_device");
            if (bNoDevice && nNow - nNoDeviceSince >= NO_DEVICE_SETTLE_MS)
                return CTL_EXIT_NO_DEVICE;
        }
        if (s_bCancelled)
            return CTL_EXIT_CANCELLED;
        if (nNow >= nLimit)
            return goal == GOAL_CONNECTED ? TimeUpCode(pReply) : CTL_EXIT_TIMED_OUT;
        Sleep((DWORD)(nLimit - nNow < CTL_POLL_MS ? nLimit - nNow : CTL_POLL_MS));
        if (!Ask(hAgent, CONTROL_STATUS, 0, pOut))
            return pOut->nExit;
    }
}

static void DoStatus(HWND hAgent, CtlOutcome* pOut)
{
    if (Ask(hAgent, CONTROL_STATUS, 0, pOut))
        FormatCtlStatusLine(&pOut->reply, pOut->szMessage, sizeof(pOut->szMessage));
}

// The line of a connect's wait that ended with nCode.
static void TellConnectWait(int nCode, int nSeconds, CtlOutcome* pOut)
{
    char szState[CTL_MESSAGE_SIZE / 2];
    FormatCtlState(&pOut->reply, szState, sizeof(szState));
    if (nCode == CTL_EXIT_OK)
        SetMessage(pOut, "connected (server %s)", pOut->reply.szAddress);
    else if (nCode == CTL_EXIT_TIMED_OUT)
        SetMessage(pOut, "timed out after %d s: %s", nSeconds, szState);
    else if (nCode == CTL_EXIT_IN_USE || nCode == CTL_EXIT_POOR_SIGNAL)
        SetMessage(pOut, "not connected within %d s: %s", nSeconds, szState);
    else
        SetMessage(pOut, "not connected: %s", szState);
}

// Ctrl+C in a connect's wait: takes back the wish it set, and nothing the user had before.
static void WithdrawConnect(HWND hAgent, const ControlReply* pBefore, CtlOutcome* pOut)
{
    if (pBefore->bWishBefore || pBefore->bConnectedBefore) {
        SetMessage(pOut, "cancelled; the device was wanted before, so nothing is withdrawn");
        return;
    }
    CtlOutcome withdraw = {};
    if (Ask(hAgent, CONTROL_WITHDRAW, 0, &withdraw))
        pOut->reply = withdraw.reply;
    SetMessage(pOut, "cancelled; the connect was withdrawn");
}

static void DoConnect(HWND hAgent, const CtlCommand* pCommand, CtlOutcome* pOut)
{
    if (!Ask(hAgent, CONTROL_CONNECT, 0, pOut))
        return;
    const ControlReply before = pOut->reply;
    if (!pCommand->bWait) {
        char szState[CTL_MESSAGE_SIZE / 2];
        FormatCtlState(&pOut->reply, szState, sizeof(szState));
        SetMessage(pOut, pOut->reply.bConnected ? "%s" : "connect requested; now %s", szState);
        return;
    }
    pOut->nExit = WaitFor(hAgent, GOAL_CONNECTED, pCommand->nWaitSeconds, pOut);
    if (pOut->nExit == CTL_EXIT_CANCELLED)
        WithdrawConnect(hAgent, &before, pOut);
    else if (pOut->nExit != CTL_EXIT_NO_AGENT && pOut->nExit != CTL_EXIT_FAILED)
        TellConnectWait(pOut->nExit, pCommand->nWaitSeconds, pOut);
}

static void DoDisconnect(HWND hAgent, const CtlCommand* pCommand, CtlOutcome* pOut)
{
    if (!Ask(hAgent, CONTROL_DISCONNECT, 0, pOut))
        return;
    if (!pCommand->bWait) {
        SetMessage(pOut, pOut->reply.bConnected ? "disconnect requested" : "not connected");
        return;
    }
    pOut->nExit = WaitFor(hAgent, GOAL_DETACHED, pCommand->nWaitSeconds, pOut);
    if (pOut->nExit == CTL_EXIT_OK)
        SetMessage(pOut, "disconnected");
    else if (pOut->nExit == CTL_EXIT_TIMED_OUT)
        SetMessage(pOut, "timed out after %d s: still connected", pCommand->nWaitSeconds);
    else if (pOut->nExit == CTL_EXIT_CANCELLED)
        SetMessage(pOut, "cancelled; the disconnect was asked for and goes on");
}

// The platform's text for an error, on one line.
static void ErrorText(DWORD dwError, char* pszOut, size_t cbOut)
{
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, pszOut,
                             (DWORD)cbOut, nullptr);
    while (n > 0 && (pszOut[n - 1] == '\r' || pszOut[n - 1] == '\n' || pszOut[n - 1] == ' ' || pszOut[n - 1] == '.'))
        pszOut[--n] = '\0';
    if (n == 0)
        snprintf(pszOut, cbOut, "error %lu", dwError);
}

// Starts the program line as typed, in the current folder, with our console and handles.
static int StartProgram(const char* pszLine, PROCESS_INFORMATION* pPi, DWORD* pdwError)
{
    std::vector<char> line(PROGRAM_LINE_SIZE);
    lstrcpynA(line.data(), pszLine, (int)line.size());
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, pPi))
        return 1;
    *pdwError = GetLastError();
    return 0;
}

// The end of a run: tells the agent, and says what became of the device.
static void EndRun(HWND hAgent, CtlOutcome* pOut, char* pszFate, size_t cbFate)
{
    CtlOutcome end = {};
    if (!Ask(hAgent, CONTROL_RUN_END, 0, &end)) {
        snprintf(pszFate, cbFate, "%s", end.szMessage);
        return;
    }
    pOut->reply = end.reply;
    if (end.reply.bReleased)
        snprintf(pszFate, cbFate, "device given back");
    else if (end.reply.nRuns > 0)
        snprintf(pszFate, cbFate, "device kept: another run still uses it");
    else
        snprintf(pszFate, cbFate, "device left as it was before the run");
}

static void DoRun(HWND hAgent, const CtlCommand* pCommand, CtlOutcome* pOut)
{
    pOut->pszProgram = pCommand->szProgram;
    if (!Ask(hAgent, CONTROL_RUN_BEGIN, 0, pOut))
        return;
    int nCode = WaitFor(hAgent, GOAL_CONNECTED, pCommand->nWaitSeconds, pOut);
    char szFate[CTL_MESSAGE_SIZE / 2];
    if (nCode != CTL_EXIT_OK) {
        char szWhy[CTL_MESSAGE_SIZE / 2];
        if (nCode == CTL_EXIT_CANCELLED)
            snprintf(szWhy, sizeof(szWhy), "cancelled by Ctrl+C");
        else if (nCode == CTL_EXIT_NO_AGENT || nCode == CTL_EXIT_FAILED)
            snprintf(szWhy, sizeof(szWhy), "%s", pOut->szMessage);
        else {
            TellConnectWait(nCode, pCommand->nWaitSeconds, pOut);
            snprintf(szWhy, sizeof(szWhy), "%s", pOut->szMessage);
        }
        EndRun(hAgent, pOut, szFate, sizeof(szFate));
        SetMessage(pOut, "%s not started: %s", pCommand->szProgram, szWhy);
        pOut->nExit = nCode;
        return;
    }
    PROCESS_INFORMATION pi = {};
    DWORD dwError = 0;
    InterlockedExchange(&s_bProgramRuns, 1);
    if (!StartProgram(pCommand->pszProgramLine, &pi, &dwError)) {
        InterlockedExchange(&s_bProgramRuns, 0);
        char szError[CTL_MESSAGE_SIZE / 4];
        ErrorText(dwError, szError, sizeof(szError));
        EndRun(hAgent, pOut, szFate, sizeof(szFate));
        SetMessage(pOut, "cannot start %s: %s; %s", pCommand->szProgram, szError, szFate);
        pOut->nExit = CTL_EXIT_NOT_STARTED;
        return;
    }
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD dwCode = 0;
    GetExitCodeProcess(pi.hProcess, &dwCode);
    CloseHandle(pi.hProcess);
    InterlockedExchange(&s_bProgramRuns, 0);
    pOut->bProgramRan = 1;
    pOut->dwProgramExit = dwCode;
    pOut->nExit = (int)dwCode;
    EndRun(hAgent, pOut, szFate, sizeof(szFate));
    SetMessage(pOut, "%s ended with code %lu; %s", pCommand->szProgram, dwCode, szFate);
}

// The choice in force where no agent runs to say it: read as the agent beside would.
static void ReadAutoconnectBeside(SettingValue* pValue)
{
    char szFolder[MAX_PATH], szIni[MAX_PATH];
    ShareSettings share;
    if (GetModuleFolderAnsi(nullptr, szFolder, sizeof(szFolder)) &&
        snprintf(szIni, sizeof(szIni), "%s\\Setting.ini", szFolder) < (int)sizeof(szIni))
        ReadShareSettings(szIni, &share);
    else
        ReadShareSettings("", &share);
    *pValue = share.autoconnect;
}

static void DoAutoconnect(HWND hAgent, const CtlCommand* pCommand, CtlOutcome* pOut)
{
    const char* pszWanted = pCommand->nAutoconnect ? "on" : "off";
    RegKey key;
    LONG lError = key.Create(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY, KEY_SET_VALUE);
    if (lError == ERROR_SUCCESS)
        lError = key.SetDword(PRODUCT_AUTOCONNECT_VALUE, (DWORD)pCommand->nAutoconnect);
    if (lError != ERROR_SUCCESS) {
        SetMessage(pOut, "cannot write autoconnect for this user (error %ld)", lError);
        pOut->nExit = CTL_EXIT_FAILED;
        return;
    }
    int nInForce = 0;
    const char* pszSource = "";
    const char* pszWhen = "";
    if (hAgent) {
        if (!Ask(hAgent, CONTROL_AUTOCONNECT, (DWORD)pCommand->nAutoconnect, pOut))
            return;
        nInForce = pOut->reply.nAutoconnect;
        pszSource = SettingSourceName((SettingSource)pOut->reply.nAutoconnectSource);
        pszWhen = "the agent applied it";
    } else {
        SettingValue value;
        ReadAutoconnectBeside(&value);
        nInForce = value.nValue;
        pszSource = SettingSourceName(value.source);
        pszWhen = "no agent runs: it applies at the agent's next start";
    }
    if (nInForce != pCommand->nAutoconnect) {
        SetMessage(pOut, "autoconnect %s written for this user, but %s is in force (%s)", pszWanted,
                   nInForce ? "on" : "off", pszSource);
        pOut->nExit = CTL_EXIT_FAILED;
        return;
    }
    SetMessage(pOut, "autoconnect %s for this user; %s", pszWanted, pszWhen);
}

static void Print(const CtlCommand* pCommand, const CtlOutcome* pOut)
{
    // run's program owns stdout; q5ctl's own word on a run goes to stderr.
    FILE* pFile = pCommand->verb == CTL_VERB_RUN ? stderr : (pCommand->bJson || pOut->nExit == 0 ? stdout : stderr);
    if (pCommand->bJson) {
        static char s_szJson[CTL_JSON_SIZE];
        FormatCtlJson(pOut, s_szJson, sizeof(s_szJson));
        fputs(s_szJson, pFile);
    } else {
        fprintf(pFile, "%s\n", pOut->szMessage);
    }
    fflush(pFile);
}

int main()
{
    HardenDllSearch();
    static CtlCommand s_command;
    static CtlOutcome s_outcome;
    CtlCommand* pCommand = &s_command;
    CtlOutcome* pOut = &s_outcome;
    char szError[CTL_ERROR_SIZE];
    if (!ParseCtlCommandLine(GetCommandLineA(), pCommand, szError, sizeof(szError))) {
        pOut->verb = pCommand->verb;
        pOut->nExit = CTL_EXIT_USAGE;
        SetMessage(pOut, "q5ctl: %s (q5ctl --help lists the verbs)", szError);
        pCommand->verb = CTL_VERB_NONE;   // a usage fault goes to stdout as JSON, else stderr
        Print(pCommand, pOut);
        return CTL_EXIT_USAGE;
    }
    if (pCommand->bHelp) {
        static char s_szHelp[4096];
        FormatCtlHelp(s_szHelp, sizeof(s_szHelp));
        fputs(s_szHelp, stdout);
        return CTL_EXIT_OK;
    }
    if (pCommand->bVersion) {
        printf("q5ctl %s\n", AGENT_VERSION_TEXT);
        return CTL_EXIT_OK;
    }
    pOut->verb = pCommand->verb;
    SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
    if (!OpenCtlReplyWindow()) {
        SetMessage(pOut, "cannot create the window that takes the agent's answers (error %lu)", GetLastError());
        pOut->nExit = CTL_EXIT_FAILED;
        Print(pCommand, pOut);
        return pOut->nExit;
    }
    HWND hAgent = pCommand->bStart ? StartAgent(szError, sizeof(szError)) : FindAgentWindow();
    if (!hAgent && pCommand->bStart) {
        SetMessage(pOut, "no agent: %s", szError);
        pOut->nExit = CTL_EXIT_NO_AGENT;
    } else if (!hAgent && pCommand->verb != CTL_VERB_AUTOCONNECT) {
        AskFailed(CTL_ASK_NO_AGENT, pOut);
    } else {
        switch (pCommand->verb) {
        case CTL_VERB_STATUS:      DoStatus(hAgent, pOut); break;
        case CTL_VERB_CONNECT:     DoConnect(hAgent, pCommand, pOut); break;
        case CTL_VERB_DISCONNECT:  DoDisconnect(hAgent, pCommand, pOut); break;
        case CTL_VERB_RUN:         DoRun(hAgent, pCommand, pOut); break;
        case CTL_VERB_AUTOCONNECT: DoAutoconnect(hAgent, pCommand, pOut); break;
        default:                   break;
        }
    }
    Print(pCommand, pOut);
    CloseCtlReplyWindow();
    return pOut->nExit;
}
