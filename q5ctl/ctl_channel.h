// q5ctl's end of the channel to this session's agent: a hidden message-only window
// that takes the answers, the request itself, and starting the agent beside q5ctl.
#pragma once
#include <windows.h>
#include "agent/control_channel.h"

// The longest wait for the agent to take a request and answer it.
constexpr UINT CTL_REQUEST_TIMEOUT_MS = 10000;
// --start: the longest wait for a started agent to answer.
constexpr DWORD CTL_START_TIMEOUT_MS = 30000;
// How often a request put off by a starting agent is sent again.
constexpr DWORD CTL_NOT_YET_POLL_MS = 100;

enum CtlAsk {
    CTL_ASK_ANSWERED,    // *pReply holds the answer
    CTL_ASK_NO_AGENT,    // no agent window (any more)
    CTL_ASK_REFUSED,     // the agent refused the request
    CTL_ASK_NO_ANSWER,   // no answer in time
};

// Creates the answer window of this thread; 1 on success.
int OpenCtlReplyWindow();
void CloseCtlReplyWindow();
// The agent's main window in this session; null when none runs.
HWND FindAgentWindow();
// One request and its answer.
CtlAsk AskAgent(HWND hAgent, DWORD dwVerb, DWORD dwArg, ControlReply* pReply);
// Starts the agent beside this program unless one runs, and waits until it answers.
// The agent's window, or null with the reason in pszError.
HWND StartAgent(char* pszError, size_t cbError);
