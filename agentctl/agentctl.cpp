// agentctl: drives a running agent from outside, as a user would, for scripts/run.sh.
//   agentctl <desktop> exit|about|connect|disconnect   chooses that item of the tray menu
//                                (posts its command to the agent's window)
//   agentctl <desktop> language N   chooses the N-th language of the Language menu (from 0)
//   agentctl <desktop> tooltip   prints the tray icon's tooltip as the shell holds it
//   agentctl <desktop> watch     prints "tooltip: <text>" at every change until the agent ends
//   agentctl <desktop> rect <class> [<text>]  prints "left top right bottom" around the
//                                    visible windows of a class (menus: #32768; dialogs:
//                                    #32770), and of that text when given
//   agentctl <desktop> count <class>  prints how many windows of a class are visible (an
//                                    open submenu makes two menus)
// <desktop> is the Wine virtual desktop the agent runs on. Output is UTF-8.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "res/resource.h"
#include "settings/language.h"

constexpr DWORD WATCH_POLL_MS = 100;
constexpr DWORD AGENT_START_TIMEOUT_MS = 30000;
constexpr int TIP_CHARS = 1024;   // a tooltip control's own limit
constexpr int CLASS_SIZE = 100;

static HWND FindAgent()
{
    char szClass[CLASS_SIZE] = "";
    LoadStringA(GetModuleHandleA(nullptr), IDS_APP_CLASS, szClass, sizeof(szClass));
    return FindWindowA(szClass, nullptr);
}

// The tooltip control lives in the shell's process and reads and writes its
// TOOLINFO by pointer, so the request is laid out in that process's memory.
struct RemoteTip {
    TTTOOLINFOW ti;
    WCHAR szText[TIP_CHARS];
};

static std::string ToolText(HWND hTip)
{
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hTip, &dwPid);
    HANDLE hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, dwPid);
    if (!hProcess)
        return "";
    RemoteTip* pRemote = (RemoteTip*)VirtualAllocEx(hProcess, nullptr, sizeof(RemoteTip), MEM_COMMIT, PAGE_READWRITE);
    RemoteTip local = {};
    if (pRemote) {
        // The first tool names the icon; its text is then asked for by that name.
        local.ti.cbSize = sizeof(local.ti);
        WriteProcessMemory(hProcess, pRemote, &local, sizeof(local), nullptr);
        if (SendMessageW(hTip, TTM_ENUMTOOLSW, 0, (LPARAM)&pRemote->ti)) {
            ReadProcessMemory(hProcess, pRemote, &local, sizeof(local), nullptr);
            local.ti.lpszText = pRemote->szText;
            local.szText[0] = 0;
            WriteProcessMemory(hProcess, pRemote, &local, sizeof(local), nullptr);
            SendMessageW(hTip, TTM_GETTEXTW, TIP_CHARS, (LPARAM)&pRemote->ti);
            ReadProcessMemory(hProcess, pRemote, &local, sizeof(local), nullptr);
        }
        VirtualFreeEx(hProcess, pRemote, 0, MEM_RELEASE);
    }
    CloseHandle(hProcess);
    local.szText[TIP_CHARS - 1] = 0;
    char szUtf8[TIP_CHARS * 3];
    if (!WideCharToMultiByte(CP_UTF8, 0, local.szText, -1, szUtf8, sizeof(szUtf8), nullptr, nullptr))
        return "";
    return szUtf8;
}

// The notification area's tooltips belong to the taskbar; on the agent's own desktop
// the agent's icon is the only one, so the first tool with a text is its tooltip.
static BOOL CALLBACK FindTip(HWND hWnd, LPARAM lParam)
{
    char szClass[CLASS_SIZE] = "";
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    HWND hOwner = GetWindow(hWnd, GW_OWNER);
    char szOwner[CLASS_SIZE] = "";
    if (hOwner)
        GetClassNameA(hOwner, szOwner, sizeof(szOwner));
    // The balloon that carries a notice is a tooltip control of the taskbar too.
    bool bBalloon = (GetWindowLongA(hWnd, GWL_STYLE) & TTS_BALLOON) != 0;
    if (strcmp(szClass, TOOLTIPS_CLASSA) != 0 || strcmp(szOwner, "Shell_TrayWnd") != 0 || bBalloon)
        return TRUE;
    std::string* pText = (std::string*)lParam;
    *pText = ToolText(hWnd);
    return pText->empty();
}

static std::string TrayTooltip()
{
    std::string text;
    EnumWindows(FindTip, (LPARAM)&text);
    return text;
}

static int WatchTooltip()
{
    DWORD dwStart = GetTickCount();
    while (!FindAgent()) {
        if (GetTickCount() - dwStart > AGENT_START_TIMEOUT_MS)
            return 1;
        Sleep(WATCH_POLL_MS);
    }
    std::string last;
    while (FindAgent()) {
        std::string text = TrayTooltip();
        if (!text.empty() && text != last) {
            printf("tooltip: %s\n", text.c_str());
            fflush(stdout);
            last = text;
        }
        Sleep(WATCH_POLL_MS);
    }
    return 0;
}

struct ClassRect {
    const char* pszClass;
    const char* pszText;   // null: any
    RECT rc;
    bool bFound;
    int nCount;
};

static BOOL CALLBACK UniteRect(HWND hWnd, LPARAM lParam)
{
    ClassRect* p = (ClassRect*)lParam;
    char szClass[CLASS_SIZE] = "", szText[CLASS_SIZE] = "";
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    GetWindowTextA(hWnd, szText, sizeof(szText));
    RECT rc;
    if (strcmp(szClass, p->pszClass) != 0 || (p->pszText && strcmp(szText, p->pszText) != 0) ||
        !IsWindowVisible(hWnd) || !GetWindowRect(hWnd, &rc))
        return TRUE;
    if (p->bFound)
        UnionRect(&p->rc, &p->rc, &rc);
    else
        p->rc = rc;
    p->bFound = true;
    ++p->nCount;
    return TRUE;
}

static BOOL CALLBACK UniteChildRects(HWND hWnd, LPARAM lParam)
{
    if (IsWindowVisible(hWnd))
        EnumChildWindows(hWnd, UniteRect, lParam);
    return TRUE;
}

struct MenuItem {
    const char* pszName;
    int nId;
};
static const MenuItem kMenuItems[] = {
    {"exit", IDM_EXIT}, {"about", IDM_ABOUT}, {"connect", IDM_CONNECT}, {"disconnect", IDM_DISCONNECT},
};

// A menu command as the user gives it by choosing the item; 1 when no agent runs.
static int PostCommand(int nId)
{
    HWND hAgent = FindAgent();
    return hAgent && PostMessageA(hAgent, WM_COMMAND, nId, 0) ? 0 : 1;
}

// Window lookups see only the windows of the calling thread's desktop.
static bool UseDesktop(const char* pszName, DWORD dwWaitMs)
{
    DWORD dwStart = GetTickCount();
    HDESK hDesk;
    while (!(hDesk = OpenDesktopA(pszName, 0, FALSE, GENERIC_ALL)) && GetTickCount() - dwStart < dwWaitMs)
        Sleep(WATCH_POLL_MS);
    return hDesk && SetThreadDesktop(hDesk);
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: agentctl <desktop> exit|about|connect|disconnect|language N|tooltip|watch|"
                        "rect <class> [<text>]|count <class>\n");
        return 2;
    }
    const char* pszCommand = argv[2];
    // The watch starts beside the agent, so its desktop may still be coming up.
    DWORD dwWait = strcmp(pszCommand, "watch") == 0 ? AGENT_START_TIMEOUT_MS : 0;
    if (!UseDesktop(argv[1], dwWait)) {
        fprintf(stderr, "agentctl: no desktop %s\n", argv[1]);
        return 1;
    }
    for (const MenuItem& item : kMenuItems)
        if (strcmp(pszCommand, item.pszName) == 0)
            return PostCommand(item.nId);
    if (strcmp(pszCommand, "language") == 0 && argc == 4) {
        int nIndex = atoi(argv[3]);
        return nIndex >= 0 && nIndex < MAX_LANGUAGES ? PostCommand(IDM_LANGUAGE_FIRST + nIndex) : 2;
    }
    if (strcmp(pszCommand, "tooltip") == 0) {
        std::string text = TrayTooltip();
        printf("%s\n", text.c_str());
        return text.empty() ? 1 : 0;
    }
    if (strcmp(pszCommand, "watch") == 0)
        return WatchTooltip();
    if (strcmp(pszCommand, "count") == 0 && argc == 4) {
        ClassRect found = {argv[3], nullptr, {}, false, 0};
        EnumWindows(UniteRect, (LPARAM)&found);
        printf("%d\n", found.nCount);
        return 0;
    }
    if (strcmp(pszCommand, "rect") == 0 && (argc == 4 || argc == 5)) {
        ClassRect found = {argv[3], argc == 5 ? argv[4] : nullptr, {}, false, 0};
        EnumWindows(UniteRect, (LPARAM)&found);
        EnumWindows(UniteChildRects, (LPARAM)&found);
        if (!found.bFound)
            return 1;
        printf("%ld %ld %ld %ld\n", found.rc.left, found.rc.top, found.rc.right, found.rc.bottom);
        return 0;
    }
    fprintf(stderr, "agentctl: unknown command %s\n", pszCommand);
    return 2;
}
