// Requests to the agent by WM_COPYDATA; the agent answers by WM_COPYDATA to our window
// while our SendMessageTimeoutA waits, since a thread waiting on a sent message takes
// the messages sent to it.
#include "ctl_channel.h"
#include "agent/program_path.h"
#include "product.h"
#include <cstdio>
#include <cstring>

static HWND s_hReply;
static HWND s_hAsked;          // the agent whose answer is awaited
static ControlReply s_reply;
static int s_bReplied;

static LRESULT CALLBACK ReplyWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != WM_COPYDATA)
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    const COPYDATASTRUCT* pCopy = (const COPYDATASTRUCT*)lParam;
    if ((HWND)wParam != s_hAsked || !pCopy || pCopy->dwData != CONTROL_MAGIC ||
        pCopy->cbData != sizeof(ControlReply) || !pCopy->lpData)
        return FALSE;
    ControlReply reply;
    memcpy(&reply, pCopy->lpData, sizeof(reply));
    if (reply.dwMagic != CONTROL_MAGIC || reply.dwVersion != CONTROL_VERSION)
        return FALSE;
    // Texts from another process are terminated here, whatever it sent.
    reply.szHolder[sizeof(reply.szHolder) - 1] = '\0';
    reply.szAddress[sizeof(reply.szAddress) - 1] = '\0';
    reply.szFirmware[sizeof(reply.szFirmware) - 1] = '\0';
    s_reply = reply;
    s_bReplied = 1;
    return TRUE;
}

int OpenCtlReplyWindow()
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ReplyWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = PRODUCT_CTL_REPLY_CLASS;
    RegisterClassExA(&wc);
    s_hReply = CreateWindowExA(0, PRODUCT_CTL_REPLY_CLASS, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    // An elevated q5ctl still takes the answer of the user's agent.
    if (s_hReply)
        ChangeWindowMessageFilterEx(s_hReply, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    return s_hReply != nullptr;
}

void CloseCtlReplyWindow()
{
    if (s_hReply)
        DestroyWindow(s_hReply);
    s_hReply = nullptr;
}

HWND FindAgentWindow()
{
    return FindWindowA(PRODUCT_WINDOW_CLASS, nullptr);
}

CtlAsk AskAgent(HWND hAgent, DWORD dwVerb, DWORD dwArg, ControlReply* pReply)
{
    if (!hAgent || !IsWindow(hAgent))
        return CTL_ASK_NO_AGENT;
    ControlRequest request = {CONTROL_MAGIC, CONTROL_VERSION, dwVerb, dwArg};
    COPYDATASTRUCT copy = {CONTROL_MAGIC, sizeof(request), &request};
    s_hAsked = hAgent;
    s_bReplied = 0;
    DWORD_PTR dwResult = FALSE;
    LRESULT lSent = 0;
    // An agent still starting (a script run at logon) puts the request off: ask again
    // until it is ready, as long as a start may take.
    ULONGLONG nStart = GetTickCount64();
    for (;;) {
        lSent = SendMessageTimeoutA(hAgent, WM_COPYDATA, (WPARAM)s_hReply, (LPARAM)&copy, SMTO_ABORTIFHUNG,
                                    CTL_REQUEST_TIMEOUT_MS, &dwResult);
        if (!lSent || dwResult != (DWORD_PTR)CONTROL_NOT_YET || GetTickCount64() - nStart >= CTL_START_TIMEOUT_MS)
            break;
        Sleep(CTL_NOT_YET_POLL_MS);
    }
    s_hAsked = nullptr;
    if (lSent && dwResult == (DWORD_PTR)CONTROL_NOT_YET)
        return CTL_ASK_NO_ANSWER;
    if (!lSent)
        return IsWindow(hAgent) ? CTL_ASK_NO_ANSWER : CTL_ASK_NO_AGENT;
    if (!dwResult)
        return CTL_ASK_REFUSED;
    if (!s_bReplied || s_reply.dwVerb != dwVerb)
        return CTL_ASK_NO_ANSWER;
    *pReply = s_reply;
    return CTL_ASK_ANSWERED;
}

// Polls for a window that answers, while the started process lives.
static HWND WaitForAgent(HANDLE hProcess)
{
    constexpr DWORD POLL_MS = 100;
    ULONGLONG nStart = GetTickCount64();
    ControlReply reply;
    do {
        HWND hAgent = FindAgentWindow();
        if (hAgent && AskAgent(hAgent, CONTROL_STATUS, 0, &reply) == CTL_ASK_ANSWERED)
            return hAgent;
        // A start that found an agent of its own ends at once: that one answers then.
        if (WaitForSingleObject(hProcess, POLL_MS) == WAIT_OBJECT_0) {
            hAgent = FindAgentWindow();
            return hAgent && AskAgent(hAgent, CONTROL_STATUS, 0, &reply) == CTL_ASK_ANSWERED ? hAgent : nullptr;
        }
    } while (GetTickCount64() - nStart < CTL_START_TIMEOUT_MS);
    return nullptr;
}

HWND StartAgent(char* pszError, size_t cbError)
{
    HWND hAgent = FindAgentWindow();
    if (hAgent)
        return hAgent;
    char szFolder[MAX_PATH], szExe[MAX_PATH], szCommand[MAX_PATH + 2];
    if (!GetModuleFolderAnsi(nullptr, szFolder, sizeof(szFolder)) ||
        snprintf(szExe, sizeof(szExe), "%s\\%s", szFolder, PRODUCT_EXE) >= (int)sizeof(szExe)) {
        snprintf(pszError, cbError, "cannot tell the folder of q5ctl");
        return nullptr;
    }
    snprintf(szCommand, sizeof(szCommand), "\"%s\"", szExe);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    // Nothing of ours is inherited: the agent outlives q5ctl and holds none of its pipes.
    if (!CreateProcessA(szExe, szCommand, nullptr, nullptr, FALSE, 0, nullptr, szFolder, &si, &pi)) {
        snprintf(pszError, cbError, "cannot start %s (error %lu)", szExe, GetLastError());
        return nullptr;
    }
    CloseHandle(pi.hThread);
    hAgent = WaitForAgent(pi.hProcess);
    CloseHandle(pi.hProcess);
    if (!hAgent)
        snprintf(pszError, cbError, "%s was started but did not answer within %lu s", szExe,
                 CTL_START_TIMEOUT_MS / 1000);
    return hAgent;
}
