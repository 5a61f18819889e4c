// The floor the agent's memory is measured against: a tray program that does nothing
// but own a hidden window and one icon, with the agent's manifest. With "dialog" on its
// command line it also creates, hidden, a dialog of the About dialog's kind (Arial,
// push buttons, static texts): what one themed dialog costs, apart from the agent.
#include <windows.h>
#include <shellapi.h>
#include <cstring>

static LRESULT CALLBACK IdleWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

static INT_PTR CALLBACK IdleDlgProc(HWND, UINT uMsg, WPARAM, LPARAM)
{
    return uMsg == WM_INITDIALOG;
}

// An in-memory dialog template, written word by word.
struct DialogTemplate {
    alignas(DWORD) WORD awWords[512];
    int nWords;
};

static void PutWord(DialogTemplate* t, WORD w)
{
    if (t->nWords < (int)(sizeof(t->awWords) / sizeof(t->awWords[0])))
        t->awWords[t->nWords++] = w;
}

static void PutDword(DialogTemplate* t, DWORD dw)
{
    PutWord(t, LOWORD(dw));
    PutWord(t, HIWORD(dw));
}

static void PutText(DialogTemplate* t, const char* psz)
{
    do
        PutWord(t, (WORD)(unsigned char)*psz);
    while (*psz++);
}

static void PutBox(DialogTemplate* t, short x, short y, short cx, short cy)
{
    PutWord(t, (WORD)x);
    PutWord(t, (WORD)y);
    PutWord(t, (WORD)cx);
    PutWord(t, (WORD)cy);
}

static void PutItem(DialogTemplate* t, DWORD dwStyle, short x, short y, short cx, short cy, WORD wId,
                    WORD wClassAtom, const char* pszText)
{
    if (t->nWords % 2)
        PutWord(t, 0);   // items start on a DWORD
    PutDword(t, WS_CHILD | dwStyle);
    PutDword(t, 0);
    PutBox(t, x, y, cx, cy);
    PutWord(t, wId);
    PutWord(t, 0xFFFF);
    PutWord(t, wClassAtom);
    PutText(t, pszText);
    PutWord(t, 0);   // no creation data
}

static HWND CreateHiddenDialog(HINSTANCE hInstance, HWND hOwner)
{
    const WORD BUTTON_ATOM = 0x0080, STATIC_ATOM = 0x0082;
    static DialogTemplate t;
    memset(&t, 0, sizeof(t));
    PutDword(&t, DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION);
    PutDword(&t, 0);
    PutWord(&t, 4);   // items
    PutBox(&t, 0, 0, 135, 84);
    PutWord(&t, 0);   // no menu
    PutWord(&t, 0);   // the standard class
    PutText(&t, "IdleTray");
    PutWord(&t, 10);
    PutText(&t, "Arial");
    PutItem(&t, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 42, 61, 50, 10, IDOK, BUTTON_ATOM, "OK");
    PutItem(&t, WS_VISIBLE | SS_LEFT, 23, 23, 38, 10, 1001, STATIC_ATOM, "Application");
    PutItem(&t, WS_VISIBLE | SS_LEFT, 68, 23, 28, 8, 1002, STATIC_ATOM, "v1.0.0.0");
    PutItem(&t, BS_PUSHBUTTON, 4, 4, 20, 10, 1003, BUTTON_ATOM, "Button1");
    return CreateDialogIndirectParamA(hInstance, (LPCDLGTEMPLATEA)t.awWords, hOwner, IdleDlgProc, 0);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR pszCmdLine, int)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = IdleWndProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "IdleTray";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowA("IdleTray", "IdleTray", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                              hInstance, nullptr);
    NOTIFYICONDATAA nid = {};
    nid.cbSize = sizeof(nid);
    nid.hWnd = hWnd;
    nid.uID = 1;
    nid.uFlags = NIF_ICON | NIF_TIP;
    nid.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));   // IDI_APPLICATION
    lstrcpynA(nid.szTip, "idle", sizeof(nid.szTip));
    Shell_NotifyIconA(NIM_ADD, &nid);
    if (pszCmdLine && strstr(pszCmdLine, "dialog"))
        CreateHiddenDialog(hInstance, hWnd);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    Shell_NotifyIconA(NIM_DELETE, &nid);
    return 0;
}
