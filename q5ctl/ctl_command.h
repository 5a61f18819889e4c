// q5ctl's command line: its verbs and options, read straight from the process's
// command line so that run's program keeps its quoting exactly; its exit codes and
// the help that lists them.
#pragma once
#include <cstddef>
#include "product.h"

enum CtlVerb {
    CTL_VERB_NONE,
    CTL_VERB_STATUS,
    CTL_VERB_CONNECT,
    CTL_VERB_DISCONNECT,
    CTL_VERB_RUN,
    CTL_VERB_AUTOCONNECT,
};

// Exit codes; 3, 4, 5 and 7 mean what they mean for q5check.
enum CtlExitCode {
    CTL_EXIT_OK = 0,
    CTL_EXIT_FAILED = 1,
    CTL_EXIT_USAGE = 2,
    CTL_EXIT_IN_USE = 3,
    CTL_EXIT_REFUSED = 4,
    CTL_EXIT_POOR_SIGNAL = 5,
    CTL_EXIT_TIMED_OUT = 6,
    CTL_EXIT_NO_DEVICE = 7,
    CTL_EXIT_NO_AGENT = 8,
    CTL_EXIT_NOT_STARTED = 9,
    CTL_EXIT_CANCELLED = 10,
};

struct CtlExitInfo {
    int nCode;
    const char* pszKey;       // "result" of the JSON object
    const char* pszMeaning;   // the line of the help's table
};
// The table, in code order; *pnCount gets its length.
const CtlExitInfo* GetCtlExitTable(int* pnCount);
// The JSON key of a code; "failed" for a code not in the table.
const char* CtlExitKey(int nCode);

constexpr int CTL_MAX_WAIT_SECONDS = PRODUCT_CTL_MAX_WAIT;
// run waits this long for the device when --wait is not given.
constexpr int CTL_RUN_DEFAULT_WAIT_SECONDS = 60;
// Longest single argument before "--" (verbs, options and their values are short).
constexpr int CTL_ARG_SIZE = 260;
constexpr int CTL_ERROR_SIZE = 320;

struct CtlCommand {
    CtlVerb verb;
    int bHelp;
    int bVersion;
    int bJson;
    int bStart;
    int bWait;                      // --wait was given
    int nWaitSeconds;
    int nAutoconnect;               // autoconnect: 1 on, 0 off
    const char* pszProgramLine;     // run: the command line after "--", as typed
    char szProgram[CTL_ARG_SIZE];   // run: the program's name, for messages
};

// Reads a whole command line (GetCommandLineA's, the program's own name first) by the
// platform's quoting rules. 1 when it is understood; otherwise 0 with the reason in
// pszError. bJson is set whenever --json came before the fault, so that the fault can
// be told as JSON too. pszProgramLine points into pszCommandLine.
int ParseCtlCommandLine(const char* pszCommandLine, CtlCommand* pCommand, char* pszError, size_t cbError);
// The name of a verb as typed ("status", ...); "" for none.
const char* CtlVerbName(CtlVerb verb);
// The help text with the exit-code table, always terminated.
void FormatCtlHelp(char* pszOut, size_t cbOut);
