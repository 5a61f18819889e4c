// The tray popup menu, built afresh at each opening from the agent state,
// and the commands it carries.
#include "tray_menu.h"
#include "dialogs.h"
#include "tray_icon.h"
#include "../agent/agent_state.h"
#include "../agent/connection.h"
#include "../agent/shutdown.h"
#include "../settings/language.h"
#include "../settings/policy.h"
#include "../settings/settings.h"
#include "../res/resource.h"
#include <cstring>

HMENU g_hMenuBar, g_hPopupMenu, g_hDeviceMenu, g_hOptionMenu, g_hLangMenu;

// Caption of the root's one item; the root itself is never shown.
static const char MENU_ROOT_TEXT[] = "menu";
// Command ids are 16 bits wide in WM_COMMAND; languages past that cannot be told apart.
constexpr int MAX_LANG_ITEMS = 0xFFFF - IDM_LANGUAGE_FIRST + 1;

// Disconnect while attached here; otherwise Connect, grayed while it cannot succeed.
static void FillDeviceMenu()
{
    if (g_bConnected) {
        AppendMenuA(g_hDeviceMenu, MF_STRING, IDM_DISCONNECT, g_text.M2);
    } else {
        UINT uFlags = MF_STRING;
        if (g_nConnectItem == CONNECT_ITEM_POOR_SIGNAL || g_nConnectItem == CONNECT_ITEM_OCCUPIED)
            uFlags |= MF_GRAYED;
        AppendMenuA(g_hDeviceMenu, uFlags, IDM_CONNECT, g_text.M1);
    }
    AppendMenuA(g_hDeviceMenu, MF_STRING, IDM_SETTINGS, g_text.M7);
}

// A language a policy fixes: its item checked and every item grayed, read as the menu
// opens so a policy set meanwhile shows at once.
static void FillLanguageMenu()
{
    char szPolicyCode[LANG_CODE_SIZE];
    SettingValue policy;
    SetBuiltIn(&policy, 0);
    int bFixed = ReadPolicyText(PRODUCT_LANG_VALUE, szPolicyCode, sizeof(szPolicyCode), &policy);
    int nCount = g_nLangCount < MAX_LANG_ITEMS ? g_nLangCount : MAX_LANG_ITEMS;
    for (int i = 0; i < nCount; ++i) {
        const char* pszName = (g_ppLangNames && g_ppLangNames[i]) ? g_ppLangNames[i] : "";
        int bCurrent = bFixed ? g_ppLangCodes && g_ppLangCodes[i] && strcmp(g_ppLangCodes[i], szPolicyCode) == 0
                              : i == g_nCurLang;
        UINT uFlags = MF_STRING | (bCurrent ? MF_CHECKED : MF_UNCHECKED) | (bFixed ? MF_GRAYED : 0);
        AppendMenuA(g_hLangMenu, uFlags, IDM_LANGUAGE_FIRST + i, pszName);
    }
}

// Start with Windows as the user set it, or as a policy fixes it, grayed.
static void AppendStartWinItem()
{
    SettingValue policy;
    SetBuiltIn(&policy, 0);
    int bFixed = ReadPolicyNumber(PRODUCT_STARTWIN_VALUE, &policy);
    int bOn = bFixed ? policy.nValue == 1 : g_bStartWithWindows;
    AppendMenuA(g_hOptionMenu, MF_STRING | (bOn ? MF_CHECKED : MF_UNCHECKED) | (bFixed ? MF_GRAYED : 0), IDM_STARTWIN,
                g_text.M6);
}

int BuildTrayMenu()
{
    EnterCriticalSection(&g_csServer);
    g_hMenuBar = CreateMenu();
    if (!g_hMenuBar) {
        // Nothing could hang below a missing root, so make nothing that would leak.
        LeaveCriticalSection(&g_csServer);
        return 1;
    }
    g_hPopupMenu = CreatePopupMenu();
    g_hLangMenu = CreatePopupMenu();
    g_hOptionMenu = CreatePopupMenu();
    g_hDeviceMenu = nullptr;

    if (g_bDeviceAccepted) {
        g_hDeviceMenu = CreatePopupMenu();
        FillDeviceMenu();
        AppendMenuA(g_hPopupMenu, MF_POPUP, (UINT_PTR)g_hDeviceMenu, g_szDeviceMenu);
        AppendMenuA(g_hPopupMenu, MF_SEPARATOR, 0, nullptr);
    }

    FillLanguageMenu();
    AppendMenuA(g_hOptionMenu, MF_POPUP, (UINT_PTR)g_hLangMenu, g_text.M5);
    AppendStartWinItem();

    AppendMenuA(g_hPopupMenu, MF_POPUP, (UINT_PTR)g_hOptionMenu, g_text.M8);
    AppendMenuA(g_hPopupMenu, MF_STRING, IDM_ABOUT, g_text.M4);
    AppendMenuA(g_hPopupMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(g_hPopupMenu, MF_STRING, IDM_EXIT, g_text.M3);

    AppendMenuA(g_hMenuBar, MF_POPUP, (UINT_PTR)g_hPopupMenu, MENU_ROOT_TEXT);
    LeaveCriticalSection(&g_csServer);
    return 1;
}

int ShowTrayMenu(HWND hWnd)
{
    BuildTrayMenu();
    // Kept locally: a menu opened from inside this one's tracking rebuilds the globals.
    HMENU hMenuBar = g_hMenuBar;
    if (!hMenuBar)
        return 0;
    HMENU hPopup = GetSubMenu(hMenuBar, 0);
    if (hPopup) {
        SetMenuDefaultItem(hPopup, 0, TRUE);
        // Without the foreground the menu would not close when the user clicks elsewhere.
        SetForegroundWindow(hWnd);
        POINT pt = {};
        GetCursorPos(&pt);
        TrackPopupMenu(hPopup, TPM_BOTTOMALIGN, pt.x, pt.y, 0, hWnd, nullptr);
    }
    DestroyMenu(hMenuBar);
    g_hMenuBar = g_hPopupMenu = g_hDeviceMenu = g_hOptionMenu = g_hLangMenu = nullptr;
    return 0;
}

// The dialog fills itself in when it becomes active.
static void ShowAboutDialog()
{
    if (!g_hAboutDlg)
        return;
    ShowWindow(g_hAboutDlg, SW_SHOW);
    SetActiveWindow(g_hAboutDlg);
}

void SwitchLanguage(HWND hWnd, UINT nCommandId)
{
    if (nCommandId < (UINT)IDM_LANGUAGE_FIRST || g_nLangCount <= 0 || !g_ppLangCodes)
        return;
    UINT nIndex = nCommandId - IDM_LANGUAGE_FIRST;
    if (nIndex >= (UINT)g_nLangCount)
        return;
    SettingValue policy;
    SetBuiltIn(&policy, 0);
    char szPolicyCode[LANG_CODE_SIZE];
    if (ReadPolicyText(PRODUCT_LANG_VALUE, szPolicyCode, sizeof(szPolicyCode), &policy)) {
        Trace("lang is fixed by %s\n", SettingSourceName(policy.source));
        return;
    }
    StoreLangCode(g_ppLangCodes[nIndex]);
    LoadSettings();
    RetitleTrayIcon(hWnd);
}

// Only ids that name an entry of the current lists; the lists may have changed since the menu was built.
static void OnLanguageCommand(HWND hWnd, UINT nId)
{
    if (nId >= IDM_LANGUAGE_FIRST && (int)(nId - IDM_LANGUAGE_FIRST) < g_nLangCount)
        SwitchLanguage(hWnd, nId);
}

int OnCommand(HWND hWnd, WPARAM wParam)
{
    UINT nId = LOWORD(wParam);
    switch (nId) {
    case IDM_CONNECT:    ConnectDevice(hWnd); break;
    case IDM_SETTINGS:   OpenDeviceSettings(); break;
    case IDM_EXIT:       ExitAgent(hWnd); break;
    case IDM_ABOUT:      ShowAboutDialog(); break;
    case IDM_DISCONNECT: DisconnectDevice(hWnd); break;
    case IDM_STARTWIN:   ToggleStartWithWindows(); break;
    default:             OnLanguageCommand(hWnd, nId); break;
    }
    return 0;
}

int OpenDeviceSettings()
{
    // No address yet: an empty file name would make the shell open a folder instead.
    if (g_szDeviceUrl[0] == '\0')
        return 0;
    SHELLEXECUTEINFOA sei = {};
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_NOCLOSEPROCESS;
    sei.hwnd = nullptr;
    sei.lpVerb = "open";
    sei.lpFile = g_szDeviceUrl;
    sei.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&sei);
    if (sei.hProcess)
        CloseHandle(sei.hProcess);
    return 1;
}
