// Reading q5ctl's command line, and the table of its exit codes.
#include "ctl_command.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

static const CtlExitInfo EXIT_TABLE[] = {
    {CTL_EXIT_OK, "ok", "done; run: the program ran, and this is its own exit code"},
    {CTL_EXIT_FAILED, "failed", "the agent did not answer, or refused; autoconnect: not written, or not in force"},
    {CTL_EXIT_USAGE, "usage", "usage error: unknown verb or option, missing program, bad --wait"},
    {CTL_EXIT_IN_USE, "in_use", "the device is in use by another computer (its name is printed)"},
    {CTL_EXIT_REFUSED, "refused", "the device is refused by the device filter (not in Setting.ini)"},
    {CTL_EXIT_POOR_SIGNAL, "poor_signal", "poor signal: the bandwidth test measured too little"},
    {CTL_EXIT_TIMED_OUT, "timed_out", "timed out"},
    {CTL_EXIT_NO_DEVICE, "no_device", "no device: no server found, or no device on it"},
    {CTL_EXIT_NO_AGENT, "no_agent", "no agent runs in this session"},
    {CTL_EXIT_NOT_STARTED, "not_started", "run: the program could not be started"},
    {CTL_EXIT_CANCELLED, "cancelled", "cancelled by Ctrl+C; a connect it asked for is withdrawn"},
};

const CtlExitInfo* GetCtlExitTable(int* pnCount)
{
    *pnCount = (int)(sizeof(EXIT_TABLE) / sizeof(EXIT_TABLE[0]));
    return EXIT_TABLE;
}

const char* CtlExitKey(int nCode)
{
    for (const CtlExitInfo& info : EXIT_TABLE)
        if (info.nCode == nCode)
            return info.pszKey;
    return "failed";
}

static const struct { CtlVerb verb; const char* pszName; } VERBS[] = {
    {CTL_VERB_STATUS, "status"},   {CTL_VERB_CONNECT, "connect"},         {CTL_VERB_DISCONNECT, "disconnect"},
    {CTL_VERB_RUN, "run"},         {CTL_VERB_AUTOCONNECT, "autoconnect"},
};

const char* CtlVerbName(CtlVerb verb)
{
    for (const auto& entry : VERBS)
        if (entry.verb == verb)
            return entry.pszName;
    return "";
}

static CtlVerb FindVerb(const char* pszName)
{
    for (const auto& entry : VERBS)
        if (strcmp(entry.pszName, pszName) == 0)
            return entry.verb;
    return CTL_VERB_NONE;
}

static const char* SkipBlanks(const char* p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

// The program's own name ends at the next quote when it starts with one, else at a blank.
static const char* SkipProgramName(const char* p)
{
    if (*p == '"') {
        const char* pszEnd = strchr(p + 1, '"');
        p = pszEnd ? pszEnd + 1 : p + strlen(p);
    }
    while (*p && *p != ' ' && *p != '\t')
        ++p;
    return p;
}

// One argument by the C runtime's rules (2n backslashes and a quote: n backslashes and a
// quote that opens or closes; 2n+1: n and a literal quote; "" inside quotes: a quote).
// Returns the position after it; *pbCut is set when it did not fit.
static const char* NextArgument(const char* p, char* pszOut, size_t cbOut, int* pbCut)
{
    size_t n = 0;
    int bQuoted = 0;
    *pbCut = 0;
    auto put = [&](char c) {
        if (n + 1 < cbOut)
            pszOut[n++] = c;
        else
            *pbCut = 1;
    };
    while (*p && (bQuoted || (*p != ' ' && *p != '\t'))) {
        if (*p == '\\') {
            size_t nSlashes = 0;
            while (p[nSlashes] == '\\')
                ++nSlashes;
            int bQuoteFollows = p[nSlashes] == '"';
            for (size_t i = 0; i < (bQuoteFollows ? nSlashes / 2 : nSlashes); ++i)
                put('\\');
            p += nSlashes;
            if (bQuoteFollows && nSlashes % 2) {
                put('"');
                ++p;
            }
        } else if (*p == '"') {
            if (bQuoted && p[1] == '"') {
                put('"');
                p += 2;
            } else {
                bQuoted = !bQuoted;
                ++p;
            }
        } else {
            put(*p++);
        }
    }
    pszOut[n] = '\0';
    return p;
}

// A whole number of seconds from 0 to the longest wait, in digits only.
static int ParseWait(const char* pszText, int* pnSeconds)
{
    size_t nLen = strlen(pszText);
    if (nLen == 0 || nLen > 5)
        return 0;
    int nValue = 0;
    for (const char* p = pszText; *p; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        nValue = nValue * 10 + (*p - '0');
    }
    if (nValue > CTL_MAX_WAIT_SECONDS)
        return 0;
    *pnSeconds = nValue;
    return 1;
}

struct ParseState {
    CtlCommand* pCommand;
    char* pszError;
    size_t cbError;
    int bFailed;
    int bAutoconnectGiven;
};

// Keeps the first fault only: it is the one the user typed first.
static void Fail(ParseState* pState, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
static void Fail(ParseState* pState, const char* pszFormat, ...)
{
    if (pState->bFailed)
        return;
    pState->bFailed = 1;
    va_list args;
    va_start(args, pszFormat);
    vsnprintf(pState->pszError, pState->cbError, pszFormat, args);
    va_end(args);
}

static void TakeWait(ParseState* pState, const char* pszValue)
{
    CtlCommand* pCommand = pState->pCommand;
    if (pCommand->bWait)
        Fail(pState, "%s given twice", "--wait");
    else if (!pszValue || !ParseWait(pszValue, &pCommand->nWaitSeconds))
        Fail(pState, "--wait takes a whole number of seconds from 0 to %d", CTL_MAX_WAIT_SECONDS);
    pCommand->bWait = 1;
}

// An option; the next argument is fetched through pszNext when the option takes a value.
// Returns 1 when it consumed pszNext.
static int TakeOption(ParseState* pState, const char* pszArg, const char* pszNext)
{
    CtlCommand* pCommand = pState->pCommand;
    if (strcmp(pszArg, "--help") == 0 || strcmp(pszArg, "-h") == 0 || strcmp(pszArg, "/?") == 0)
        pCommand->bHelp = 1;
    else if (strcmp(pszArg, "--version") == 0)
        pCommand->bVersion = 1;
    else if (strcmp(pszArg, "--json") == 0)
        pCommand->bJson = 1;
    else if (strcmp(pszArg, "--start") == 0)
        pCommand->bStart = 1;
    else if (strncmp(pszArg, "--wait=", 7) == 0)
        TakeWait(pState, pszArg + 7);
    else if (strcmp(pszArg, "--wait") == 0) {
        TakeWait(pState, pszNext);
        return pszNext != nullptr;
    } else
        Fail(pState, "unknown option: %.64s", pszArg);
    return 0;
}

static void TakeWord(ParseState* pState, const char* pszArg)
{
    CtlCommand* pCommand = pState->pCommand;
    if (pCommand->verb == CTL_VERB_NONE) {
        pCommand->verb = FindVerb(pszArg);
        if (pCommand->verb == CTL_VERB_NONE)
            Fail(pState, "unknown verb: %.64s", pszArg);
    } else if (pCommand->verb == CTL_VERB_AUTOCONNECT && !pState->bAutoconnectGiven &&
               (strcmp(pszArg, "on") == 0 || strcmp(pszArg, "off") == 0)) {
        pCommand->nAutoconnect = strcmp(pszArg, "on") == 0;
        pState->bAutoconnectGiven = 1;
    } else if (pCommand->verb == CTL_VERB_AUTOCONNECT && !pState->bAutoconnectGiven) {
        Fail(pState, "autoconnect takes on or off, not %.64s", pszArg);
    } else {
        Fail(pState, "unexpected argument: %.64s", pszArg);
    }
}

// Everything after "--": the program and its arguments, kept as typed.
static void TakeProgram(ParseState* pState, const char* pszRest)
{
    CtlCommand* pCommand = pState->pCommand;
    if (pCommand->verb != CTL_VERB_RUN) {
        Fail(pState, "%s belongs to run: run [--wait SECONDS] -- PROGRAM [ARGS...]", "--");
        return;
    }
    pszRest = SkipBlanks(pszRest);
    int bCut = 0;
    NextArgument(pszRest, pCommand->szProgram, sizeof(pCommand->szProgram), &bCut);
    if (!pCommand->szProgram[0])
        Fail(pState, "%s", "missing program after --");
    else if (bCut)
        Fail(pState, "program name too long: %.64s...", pCommand->szProgram);
    else
        pCommand->pszProgramLine = pszRest;
}

static void CheckComplete(ParseState* pState)
{
    const CtlCommand* pCommand = pState->pCommand;
    switch (pCommand->verb) {
    case CTL_VERB_NONE:
        Fail(pState, "%s", "no verb: status, connect, disconnect, run or autoconnect");
        break;
    case CTL_VERB_STATUS:
    case CTL_VERB_AUTOCONNECT:
        if (pCommand->bWait)
            Fail(pState, "--wait is not an option of %s", CtlVerbName(pCommand->verb));
        if (pCommand->verb == CTL_VERB_AUTOCONNECT && !pState->bAutoconnectGiven)
            Fail(pState, "%s", "autoconnect takes on or off");
        break;
    case CTL_VERB_RUN:
        if (!pCommand->pszProgramLine)
            Fail(pState, "%s", "missing program: run [--wait SECONDS] -- PROGRAM [ARGS...]");
        break;
    default:
        break;
    }
}

int ParseCtlCommandLine(const char* pszCommandLine, CtlCommand* pCommand, char* pszError, size_t cbError)
{
    memset(pCommand, 0, sizeof(*pCommand));
    if (cbError)
        pszError[0] = '\0';
    ParseState state = {pCommand, pszError, cbError, 0, 0};
    const char* p = SkipBlanks(SkipProgramName(pszCommandLine ? pszCommandLine : ""));
    char szArg[CTL_ARG_SIZE], szNext[CTL_ARG_SIZE];
    while (*p) {
        int bCut = 0;
        p = SkipBlanks(NextArgument(p, szArg, sizeof(szArg), &bCut));
        if (bCut) {
            Fail(&state, "argument too long: %.64s...", szArg);
            continue;
        }
        if (strcmp(szArg, "--") == 0) {
            TakeProgram(&state, p);
            break;
        }
        if (szArg[0] == '-' || strcmp(szArg, "/?") == 0) {
            // A value may follow (--wait 5); it is taken only when the option wants it.
            const char* pAfter = *p ? SkipBlanks(NextArgument(p, szNext, sizeof(szNext), &bCut)) : p;
            const char* pszNext = *p && !bCut ? szNext : nullptr;
            if (TakeOption(&state, szArg, pszNext))
                p = pAfter;
        } else {
            TakeWord(&state, szArg);
        }
    }
    if (pCommand->bHelp || pCommand->bVersion)
        return 1;
    CheckComplete(&state);
    if (!pCommand->bWait && pCommand->verb == CTL_VERB_RUN)
        pCommand->nWaitSeconds = CTL_RUN_DEFAULT_WAIT_SECONDS;
    return !state.bFailed;
}

void FormatCtlHelp(char* pszOut, size_t cbOut)
{
    int n = snprintf(pszOut, cbOut,
        "usage: q5ctl [--start] [--json] VERB [OPTIONS]\n"
        "  status                       the state as the agent sees it\n"
        "  connect [--wait SECONDS]     the menu's Connect; with --wait, until connected or hopeless\n"
        "  disconnect [--wait SECONDS]  the menu's Disconnect; with --wait, until detached\n"
        "  run [--wait SECONDS] -- PROGRAM [ARGS...]\n"
        "                               connect (waiting %d s unless told), run PROGRAM in this folder,\n"
        "                               wait for it, then disconnect unless the device was connected\n"
        "                               before or another run still runs; ends with PROGRAM's code\n"
        "  autoconnect on|off           this user's choice of connecting at the agent's start,\n"
        "                               applied by the running agent at once\n"
        "  --start     start the agent beside q5ctl when none runs in this session, and wait for it\n"
        "  --json      print the result as one JSON object (run: on stderr, as its line)\n"
        "  --wait      seconds from 0 to %d\n"
        "  --version   print the version\n"
        "Ctrl+C during a wait withdraws the connect q5ctl asked for; during run's program q5ctl\n"
        "waits for the program and then disconnects as above.\n"
        "Exit codes:\n",
        CTL_RUN_DEFAULT_WAIT_SECONDS, CTL_MAX_WAIT_SECONDS);
    for (const CtlExitInfo& info : EXIT_TABLE) {
        if (n < 0 || (size_t)n >= cbOut)
            return;
        n += snprintf(pszOut + n, cbOut - n, "  %2d  %s\n", info.nCode, info.pszMeaning);
    }
}
