// The About dialog (three version rows) and the already-running dialog.
#include "dialogs.h"
#include "../agent/agent_state.h"
#include "../agent/file_version.h"
#include "../agent/program_path.h"
#include "../agent/server_choice.h"
#include "../settings/language.h"
#include "../settings/settings.h"
#include "../res/resource.h"
#include <shlobj.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

HWND g_hAboutDlg;

constexpr int VERSION_TEXT_SIZE = 50;
static const char VERSION_FORMAT[] = "v%d.%d.%d.%d";
static const char FIRMWARE_FORMAT[] = "v%.*s";
static const char FIRMWARE_UNKNOWN[] = "v_._._._";
static const char DRIVER_PATH_FORMAT[] = "%s\\drivers\\" PRODUCT_DRIVER_FILE;
static_assert(APP_PATH_SIZE >= MAX_PATH, "the shell writes up to MAX_PATH characters of a folder");

// Sets a control from a fixed text field, never reading past the field.
static void SetItemFromField(HWND hDlg, int nId, const char* pszField, size_t cbField)
{
    char szText[256];
    snprintf(szText, sizeof(szText), "%.*s", (int)strnlen(pszField, cbField), pszField);
    SetDlgItemTextA(hDlg, nId, szText);
}

// "v%d.%d.%d.%d" from the product version of a file; 0 when it has no readable version.
static int FormatProductVersion(const char* pszPath, char* pszOut, size_t cbOut)
{
    VS_FIXEDFILEINFO fixed;
    if (!ReadFixedFileVersion(pszPath, &fixed))
        return 0;
    snprintf(pszOut, cbOut, VERSION_FORMAT, HIWORD(fixed.dwProductVersionMS), LOWORD(fixed.dwProductVersionMS),
             HIWORD(fixed.dwProductVersionLS), LOWORD(fixed.dwProductVersionLS));
    return 1;
}

// An unreadable version resource leaves the row's template text.
static void SetVersionRow(HWND hDlg, int nId, const char* pszPath)
{
    char szVersion[VERSION_TEXT_SIZE];
    if (FormatProductVersion(pszPath, szVersion, sizeof(szVersion)))
        SetDlgItemTextA(hDlg, nId, szVersion);
}

static void RefreshAppVersion(HWND hDlg)
{
    char szPath[APP_PATH_SIZE] = "";
    if (GetModulePathAnsi(nullptr, szPath, sizeof(szPath)))
        SetVersionRow(hDlg, IDC_APP_VERSION, szPath);
}

static void RefreshDriverVersion(HWND hDlg)
{
    // The path form of the shell's query: the item-list form allocates through COM,
    // which would load the COM libraries into the agent for one folder name.
    char szSystem[APP_PATH_SIZE] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT, szSystem)))
        szSystem[0] = '\0';
    // Without the system folder the path would name a file on the current drive's root.
    if (szSystem[0] == '\0')
        return;
    char szDriver[APP_PATH_SIZE];
    snprintf(szDriver, sizeof(szDriver), DRIVER_PATH_FORMAT, szSystem);
    SetVersionRow(hDlg, IDC_DRV_VERSION, szDriver);
}

static void RefreshFirmwareVersion(HWND hDlg)
{
    g_nServerNum = WUSBGetServerList(g_servers, MAX_SERVERS);
    const _WUSB_SERVER* pServer = ChosenServer();
    if (pServer && pServer->nDeviceCount > 0) {
        // The library's text need not be terminated within its field; cut it to the row.
        const char* pszFirmware = pServer->szFirmware;
        char szVersion[VERSION_TEXT_SIZE];
        snprintf(szVersion, sizeof(szVersion), FIRMWARE_FORMAT,
                 (int)strnlen(pszFirmware, WUSB_FIRMWARE_SIZE), pszFirmware);
        SetDlgItemTextA(hDlg, IDC_FW_VERSION, szVersion);
    } else {
        SetDlgItemTextA(hDlg, IDC_FW_VERSION, FIRMWARE_UNKNOWN);
    }
}

int RefreshAboutDialog(HWND hDlg)
{
    SetItemFromField(hDlg, IDC_APP_LABEL, g_text.msg4, sizeof(g_text.msg4));
    SetItemFromField(hDlg, IDC_DRV_LABEL, g_text.msg5, sizeof(g_text.msg5));
    SetItemFromField(hDlg, IDC_FW_LABEL, g_text.msg6, sizeof(g_text.msg6));
    RefreshAppVersion(hDlg);
    RefreshDriverVersion(hDlg);
    RefreshFirmwareVersion(hDlg);
    return 1;
}

int CenterDialog(HWND hDlg)
{
    HWND hRef = GetWindow(hDlg, GW_OWNER);
    if (!hRef)
        hRef = GetDesktopWindow();
    RECT rcRef = {}, rcDlg = {};
    GetWindowRect(hRef, &rcRef);
    GetWindowRect(hDlg, &rcDlg);
    int x = rcRef.left + ((rcRef.right - rcRef.left) - (rcDlg.right - rcDlg.left)) / 2;
    int y = rcRef.top + ((rcRef.bottom - rcRef.top) - (rcDlg.bottom - rcDlg.top)) / 2;
    SetWindowPos(hDlg, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
    return 1;
}

// Painting is validated here so the dialog manager does not repaint in a loop.
static void ValidatePaint(HWND hDlg)
{
    PAINTSTRUCT ps;
    BeginPaint(hDlg, &ps);
    EndPaint(hDlg, &ps);
}

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        CenterDialog(hDlg);
        return TRUE;
    case WM_ACTIVATE:
        RefreshAboutDialog(hDlg);
        return TRUE;
    case WM_COMMAND:
        // Hidden, not destroyed: the same window serves every About command until exit.
        if (LOWORD(wParam) != IDOK)
            return FALSE;
        ShowWindow(hDlg, SW_HIDE);
        return TRUE;
    case WM_PAINT:
        ValidatePaint(hDlg);
        return FALSE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return FALSE;
    default:
        return FALSE;
    }
}

int CreateAboutDialog(HWND hOwner)
{
    g_hAboutDlg = CreateDialogParamA(g_hInst, MAKEINTRESOURCEA(IDD_ABOUT), hOwner, AboutDlgProc, 0);
    ShowWindow(g_hAboutDlg, SW_HIDE);
    return g_hAboutDlg != nullptr;
}

int DestroyAboutDialog()
{
    DestroyWindow(g_hAboutDlg);
    g_hAboutDlg = nullptr;
    return 1;
}

INT_PTR CALLBACK AlreadyRunningDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        CenterDialog(hDlg);
        return TRUE;
    case WM_COMMAND:
        // Only OK ends the second process; the close box's IDCANCEL is ignored.
        if (LOWORD(wParam) != IDOK)
            return FALSE;
        ShowWindow(hDlg, SW_HIDE);
        DestroyWindow(hDlg);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return FALSE;
    default:
        return FALSE;
    }
}
