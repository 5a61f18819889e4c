// What one q5ctl command came to, told as one English line or as one ASCII JSON object.
#pragma once
#include <cstddef>
#include "agent/control_channel.h"
#include "ctl_command.h"

constexpr int CTL_MESSAGE_SIZE = 768;
constexpr int CTL_JSON_SIZE = 4096;

struct CtlOutcome {
    CtlVerb verb;                       // CTL_VERB_NONE for a command line not understood
    int nExit;                          // CtlExitCode, or the program's own code
    char szMessage[CTL_MESSAGE_SIZE];   // the line, without its end
    int bAnswered;                      // reply holds the agent's last answer
    ControlReply reply;
    int bProgramRan;                    // run: the program was started and has ended
    unsigned long dwProgramExit;
    const char* pszProgram;             // run: the program's name; null otherwise
};

// The state as the agent sees it, by its JSON name: "connected", "free", "in_use",
// "no_device", "refused", "poor_signal".
const char* CtlStateKey(const ControlReply* pReply);
// The same for people: "in use by PC-1", "device VID_3A7C&PID_0105 refused by ...".
void FormatCtlState(const ControlReply* pReply, char* pszOut, size_t cbOut);
// The state with the server, the wish and autoconnect: status's line.
void FormatCtlStatusLine(const ControlReply* pReply, char* pszOut, size_t cbOut);
// One JSON object and its line end, ASCII only; always terminated.
void FormatCtlJson(const CtlOutcome* pOutcome, char* pszOut, size_t cbOut);
