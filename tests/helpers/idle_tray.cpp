// The floor the agent's memory is measured against: a tray program that does nothing
// but own a hidden window and one icon, with the agent's manifest.
#include <windows.h>
#include <shellapi.h>

static LRESULT CALLBACK IdleWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
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
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    Shell_NotifyIconA(NIM_DELETE, &nid);
    return 0;
}
