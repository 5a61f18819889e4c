// Gathering what the agent would see, with the agent's own binding, record
// helpers, filter and Setting.ini readers. Nothing is ever imported or unimported.
#include "check_run.h"
#include "agent/connection.h"
#include "agent/file_version.h"
#include "agent/program_path.h"
#include "settings/settings.h"
#include "settings/share_settings.h"
#include <cstdio>
#include <cstring>

static const char CHECK_CLASS[] = PRODUCT_NAME " check";

static HWND s_hWnd = nullptr;
static int s_nNotifications = 0;
static int s_bOpenCalled = 0;

static LRESULT CALLBACK CheckWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_WUSB_NOTIFY) {
        ++s_nNotifications;
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

HWND CreateCheckWindow()
{
    if (s_hWnd)
        return s_hWnd;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CheckWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = CHECK_CLASS;
    RegisterClassA(&wc);
    // Message-only: it can be posted to, and no window list ever shows it.
    s_hWnd = CreateWindowExA(0, CHECK_CLASS, CHECK_CLASS, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    return s_hWnd;
}

static void DispatchPending()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static void RefreshServerList(CheckFacts* pFacts)
{
    memset(pFacts->servers, 0, sizeof(pFacts->servers));
    pFacts->nServerCount = WUSBGetServerList(pFacts->servers, MAX_SERVERS);
}

void WaitForServer(DWORD dwMs, CheckFacts* pFacts)
{
    DWORD dwStart = GetTickCount();
    int nSeen = -1;
    for (;;) {
        DispatchPending();
        if (s_nNotifications != nSeen) {
            nSeen = s_nNotifications;
            RefreshServerList(pFacts);
        }
        DWORD dwElapsed = GetTickCount() - dwStart;
        int nChosen = FindChosenServer(pFacts->servers, pFacts->nServerCount, &pFacts->choice);
        if ((nChosen >= 0 && pFacts->servers[nChosen].nDeviceCount > 0) || dwElapsed >= dwMs)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, dwMs - dwElapsed, QS_ALLINPUT);
    }
    pFacts->nNotifications = s_nNotifications;
    pFacts->dwWaitedMs = GetTickCount() - dwStart;
}

// Messages keep flowing while the test runs, as in the agent's delay.
static void PumpFor(DWORD dwMs)
{
    DWORD dwStart = GetTickCount();
    for (DWORD dwElapsed = 0; dwElapsed < dwMs; dwElapsed = GetTickCount() - dwStart) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, dwMs - dwElapsed, QS_ALLINPUT);
        DispatchPending();
    }
}

// The test the agent starts when it arms the delayed import, read when the delay ends.
static void RunBandwidthTest(CheckFacts* pFacts, const _WUSB_SERVER* pServer)
{
    unsigned int dwServerId = 0;
    if (!pServer || !GetServerId(pServer, &dwServerId))
        return;
    WUSBDoPerformanceTest(dwServerId, pFacts->nTransferSize);
    PumpFor(DELAY_IMPORT_MS);
    pFacts->nMeasured = WUSBGetPerformanceResult(dwServerId);
    pFacts->bBandwidthRun = 1;
}

static void ReadSettings(CheckFacts* pFacts)
{
    if (!UseSettingIniIn(pFacts->szFolder)) {
        pFacts->dwSettingError = ERROR_FILENAME_EXCED_RANGE;
        return;
    }
    lstrcpynA(pFacts->szSettingIni, g_szSettingIni, sizeof(pFacts->szSettingIni));
    // The profile functions read a missing or locked file as empty: ask the file itself.
    HANDLE hFile = CreateFileA(g_szSettingIni, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        pFacts->dwSettingError = dwError ? dwError : ERROR_ACCESS_DENIED;
    } else {
        CloseHandle(hFile);
    }
    ReadServerChoice(g_szSettingIni, &pFacts->choice);
    pFacts->nDeviceTypeCount = ReadDeviceTypeCount();
    pFacts->nBitRate = ReadBitRateThreshold();
    pFacts->nTransferSize = ReadTransferSize();
    pFacts->bShareRead = ReadShareSettings(g_szSettingIni, &pFacts->share);
    ReadSettingSources(&pFacts->choice, &pFacts->sources);
}

static void ReadLibraryFile(CheckFacts* pFacts)
{
    const char* pszPath = pFacts->bind.szPath;
    pFacts->bLibraryFile = pszPath[0] && GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
    VS_FIXEDFILEINFO fixed;
    if (pFacts->bLibraryFile && ReadFixedFileVersion(pszPath, &fixed))
        snprintf(pFacts->szLibraryVersion, sizeof(pFacts->szLibraryVersion), "%u.%u.%u.%u",
                 HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS), HIWORD(fixed.dwFileVersionLS),
                 LOWORD(fixed.dwFileVersionLS));
}

static int IsAgentRunning()
{
    // The agent holds this for its whole life.
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE, FALSE, PRODUCT_INSTANCE_MUTEX);
    if (!hMutex)
        return 0;
    CloseHandle(hMutex);
    return 1;
}

void RunCheck(const CheckOptions* pOptions, CheckFacts* pFacts)
{
    memset(pFacts, 0, sizeof(*pFacts));
    pFacts->nMatch = -1;
    pFacts->nWaitSeconds = pOptions->nWaitSeconds;
    pFacts->bAgentRunning = IsAgentRunning();
    // Found exactly as the agent finds it, also in folders outside the code page.
    if (!GetModuleFolderAnsi(nullptr, pFacts->szFolder, sizeof(pFacts->szFolder)))
        return;
    ReadSettings(pFacts);
    int bBound = BindWusbLibrary(pFacts->szFolder, &pFacts->bind);
    ReadLibraryFile(pFacts);
    if (!bBound)
        return;

    pFacts->bOpenCalled = s_bOpenCalled = 1;
    pFacts->nOpenResult = WUSBOpen(CreateCheckWindow(), WM_WUSB_NOTIFY, WUSB_OPEN_ARG3, WUSB_OPEN_ARG4);
    if (pFacts->nOpenResult != 0)
        return;
    lstrcpynA(pFacts->szComputerName, WUSBComputerName(), sizeof(pFacts->szComputerName));
    WUSBManualScan();
    WaitForServer((DWORD)pOptions->nWaitSeconds * 1000, pFacts);

    // The server the agent would act on, found by its own choice.
    int nChosen = FindChosenServer(pFacts->servers, pFacts->nServerCount, &pFacts->choice);
    const _WUSB_SERVER* pServer = nChosen >= 0 ? &pFacts->servers[nChosen] : nullptr;
    int bListRead = !pFacts->dwSettingError || IsPolicySource(pFacts->sources.deviceList.source);
    if (pServer && pServer->pAddress && pServer->nDeviceCount > 0 && bListRead)
        pFacts->nMatch = FindDeviceType(&pServer->device, pFacts->szMatchValue);
    if (pOptions->bBandwidth)
        RunBandwidthTest(pFacts, pServer);
}

void EndCheck()
{
    // Closed as the agent closes it, also after a failed start.
    if (s_bOpenCalled)
        WUSBClose();
    s_bOpenCalled = 0;
}
