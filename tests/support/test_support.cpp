// Helpers shared by the tests: fake library, state reset, trace capture, files, registry.
#include "test_support.h"
#include <gtest/gtest.h>
#include "agent/main_window.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "ui/tray_icon.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Fake client library ---------------------------------------------------
FakeWusb g_fake;

static void Log(const char* pszName, unsigned int a = 0, unsigned int b = 0)
{
    g_fake.calls.push_back(FakeCall{pszName, a, b});
}

static int FakeOpen(HWND, unsigned int uMsg, int nArg3, int nArg4)
{
    Log("WUSBOpen", uMsg, (unsigned)nArg3);
    (void)nArg4;
    return g_fake.nOpenResult;
}
static int FakeClose() { Log("WUSBClose"); return 0; }
static int FakeManualScan() { Log("WUSBManualScan"); return 0; }
static int FakeGetServerList(_WUSB_SERVER* pServers, int nCapacity)
{
    Log("WUSBGetServerList", (unsigned)nCapacity);
    if (g_fake.nServerCount > 0 && nCapacity > 0) {
        pServers[0] = g_fake.server;
        pServers[0].pAddress = &g_fake.address;
    }
    for (int i = 0; i < g_fake.nMore && i + 1 < nCapacity; ++i) {
        pServers[i + 1] = g_fake.more[i];
        pServers[i + 1].pAddress = &g_fake.moreAddresses[i];
    }
    return g_fake.nServerCount;
}
static int FakeImport(unsigned int a, unsigned int b) { Log("WUSBImportDevice", a, b); return 0; }
static int FakeUnimport(unsigned int a, unsigned int b) { Log("WUSBUnimportDevice", a, b); return 0; }
static int FakePerfTest(unsigned int a, unsigned int b) { Log("WUSBDoPerformanceTest", a, b); return 0; }
static int FakePerfResult(unsigned int a)
{
    Log("WUSBGetPerformanceResult", a);
    return g_fake.nPerformanceResult;
}

void InstallFakeWusb()
{
    g_fake = FakeWusb{};
    g_wusb = WusbLibrary{};
    g_wusb.pfnOpen = FakeOpen;
    g_wusb.pfnClose = FakeClose;
    g_wusb.pfnManualScan = FakeManualScan;
    g_wusb.pfnGetServerList = FakeGetServerList;
    g_wusb.pfnImportDevice = FakeImport;
    g_wusb.pfnUnimportDevice = FakeUnimport;
    g_wusb.pfnDoPerformanceTest = FakePerfTest;
    g_wusb.pfnGetPerformanceResult = FakePerfResult;
    g_wusb.pszComputerName = g_fake.szComputerName;
}

static void ParseIp(const char* pszIp, unsigned char abAddr[4])
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    sscanf(pszIp, "%u.%u.%u.%u", &a, &b, &c, &d);
    abAddr[0] = (unsigned char)a; abAddr[1] = (unsigned char)b;
    abAddr[2] = (unsigned char)c; abAddr[3] = (unsigned char)d;
}

static void FillFakeServer(_WUSB_SERVER* pServer, WUSB_ADDRESS* pAddress, int nStatus, unsigned short wVid,
                           unsigned short wPid, unsigned int dwDeviceId, const char* pszIp, const char* pszHolder)
{
    *pServer = _WUSB_SERVER{};
    pServer->nDeviceCount = 1;
    pServer->nStatus = nStatus;
    pServer->device.wVendorId = wVid;
    pServer->device.wProductId = wPid;
    pServer->device.dwDeviceId = dwDeviceId;
    lstrcpynA(pServer->szFirmware, "2.1.0.7", sizeof(pServer->szFirmware));
    lstrcpynA(pServer->szHostName, pszHolder ? pszHolder : "", sizeof(pServer->szHostName));
    *pAddress = WUSB_ADDRESS{};
    pAddress->nFamily = 2;
    ParseIp(pszIp, pAddress->abAddr);
}

void FakeSetDevice(int nStatus, unsigned short wVid, unsigned short wPid, unsigned int dwDeviceId,
                   const char* pszIp, const char* pszHolder)
{
    g_fake.nServerCount = 1;
    g_fake.nMore = 0;
    FillFakeServer(&g_fake.server, &g_fake.address, nStatus, wVid, wPid, dwDeviceId, pszIp, pszHolder);
}

void FakeAddServer(int nStatus, unsigned short wVid, unsigned short wPid, unsigned int dwDeviceId,
                   const char* pszIp, const char* pszHolder)
{
    if (g_fake.nMore >= MAX_SERVERS - 1)
        return;
    FillFakeServer(&g_fake.more[g_fake.nMore], &g_fake.moreAddresses[g_fake.nMore], nStatus, wVid, wPid,
                   dwDeviceId, pszIp, pszHolder);
    ++g_fake.nMore;
    g_fake.nServerCount = 1 + g_fake.nMore;
}

int FakeCallCount(const char* pszName)
{
    int n = 0;
    for (const FakeCall& call : g_fake.calls)
        n += call.name == pszName;
    return n;
}

unsigned int FakeServerId(const char* pszIp)
{
    unsigned char abAddr[4];
    ParseIp(pszIp, abAddr);
    unsigned int id;
    memcpy(&id, abAddr, sizeof(id));
    return id;
}

// ---- Agent state -----------------------------------------------------------
void ResetAgentState()
{
    FreeLangLists();
    SetAgentStartValues();
    ResetScreenState();
    static bool bCsReady = false;   // the lock lives for the whole test process
    if (!bCsReady) {
        InitializeCriticalSection(&g_csServer);
        bCsReady = true;
    }
    if (!g_hInst)
        g_hInst = GetModuleHandleA(nullptr);
}

// ---- Trace capture ---------------------------------------------------------
// OutputDebugStringA raises DBG_PRINTEXCEPTION_C; a vectored handler sees it first.
static std::vector<std::string> s_traceLines;
static PVOID s_hTraceHandler = nullptr;

static LONG CALLBACK OnDebugPrint(EXCEPTION_POINTERS* pInfo)
{
    const EXCEPTION_RECORD* pRec = pInfo->ExceptionRecord;
    if (pRec->ExceptionCode == 0x40010006 /* DBG_PRINTEXCEPTION_C */ && pRec->NumberParameters >= 2)
        s_traceLines.emplace_back((const char*)pRec->ExceptionInformation[1]);
    return EXCEPTION_CONTINUE_SEARCH;
}

TraceCapture::TraceCapture()
{
    s_traceLines.clear();
    s_hTraceHandler = AddVectoredExceptionHandler(1, OnDebugPrint);
}
TraceCapture::~TraceCapture()
{
    RemoveVectoredExceptionHandler(s_hTraceHandler);
    s_hTraceHandler = nullptr;
}
const std::vector<std::string>& TraceCapture::Lines() const { return s_traceLines; }
bool TraceCapture::Contains(const std::string& text) const
{
    for (const std::string& line : s_traceLines)
        if (line == text)
            return true;
    return false;
}
void TraceCapture::Clear() { s_traceLines.clear(); }

// ---- Files and folders -----------------------------------------------------
static void RemoveTree(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = dir + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    RemoveDirectoryA(dir.c_str());
}

TempDir::TempDir(const char* pszTag)
{
    static int s_nSerial = 0;
    char szTemp[MAX_PATH];
    GetTempPathA(sizeof(szTemp), szTemp);
    char szDir[MAX_PATH];
    snprintf(szDir, sizeof(szDir), "%s%s-%lu-%d", szTemp, pszTag, GetCurrentProcessId(), ++s_nSerial);
    m_path = szDir;
    RemoveTree(m_path);
    CreateDirectoryA(m_path.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveTree(m_path); }

void TempDir::Write(const std::string& relPath, const std::string& content) const
{
    std::string full = m_path + "\\" + relPath;
    for (size_t i = m_path.size() + 1; i < full.size(); ++i)
        if (full[i] == '\\')
            CreateDirectoryA(full.substr(0, i).c_str(), nullptr);
    HANDLE h = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD nWritten = 0;
    WriteFile(h, content.data(), (DWORD)content.size(), &nWritten, nullptr);
    CloseHandle(h);
}

std::string WinePathOf(const char* pszLinuxPath)
{
    std::string path = std::string("Z:") + pszLinuxPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string DistDir() { return WinePathOf(DIST_DIR_PATH); }

std::wstring WidePath(const std::string& utf8)
{
    int nWide = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(nWide > 0 ? nWide : 1, L'\0');
    if (nWide > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], nWide);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

void UseProgramDir(const std::string& dir)
{
    lstrcpynA(g_szAppDir, dir.c_str(), sizeof(g_szAppDir));
    snprintf(g_szSettingIni, sizeof(g_szSettingIni), "%s\\Setting.ini", g_szAppDir);
}

std::string ReadFileText(const std::string& path)
{
    std::string text;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return text;
    char buf[4096];
    DWORD nRead = 0;
    while (ReadFile(h, buf, sizeof(buf), &nRead, nullptr) && nRead > 0)
        text.append(buf, nRead);
    CloseHandle(h);
    return text;
}

// ---- Registry --------------------------------------------------------------
static void ClearAgentRegistry()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, PRODUCT_AGENT_KEY);
    HKEY hRun;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PRODUCT_RUN_KEY, 0, KEY_ALL_ACCESS, &hRun) == ERROR_SUCCESS) {
        RegDeleteValueA(hRun, PRODUCT_RUN_VALUE);
        RegCloseKey(hRun);
    }
}

RegistrySandbox::RegistrySandbox() { ClearAgentRegistry(); }
RegistrySandbox::~RegistrySandbox() { ClearAgentRegistry(); }

PolicySandbox::PolicySandbox() { Clear(); }
PolicySandbox::~PolicySandbox() { Clear(); }

void PolicySandbox::Clear() const
{
    for (HKEY hRoot : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        RegDeleteTreeA(hRoot, PRODUCT_POLICY_KEY);
}

void PolicySandbox::Set(const PolicyValue& value) const
{
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(value.hRoot, PRODUCT_POLICY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    if (value.dwType == REG_DWORD)
        RegSetValueExA(hKey, value.pszName, 0, REG_DWORD, (const BYTE*)&value.dwNumber, sizeof(value.dwNumber));
    else
        RegSetValueExA(hKey, value.pszName, 0, value.dwType, (const BYTE*)value.pszText,
                       (DWORD)strlen(value.pszText) + 1);
    RegCloseKey(hKey);
}

bool RegReadString(const char* pszKey, const char* pszName, std::string* pValue)
{
    char buf[1024] = {};
    DWORD cb = sizeof(buf) - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, pszKey, pszName, RRF_RT_REG_SZ, nullptr, buf, &cb) != ERROR_SUCCESS)
        return false;
    *pValue = buf;
    return true;
}

bool RegReadDword(const char* pszKey, const char* pszName, DWORD* pValue)
{
    DWORD cb = sizeof(*pValue);
    return RegGetValueA(HKEY_CURRENT_USER, pszKey, pszName, RRF_RT_REG_DWORD, nullptr, pValue, &cb) ==
           ERROR_SUCCESS;
}

bool RegWriteValue(const char* pszKey, const char* pszName, DWORD dwType, const void* pData, DWORD cb)
{
    return RegSetKeyValueA(HKEY_CURRENT_USER, pszKey, pszName, dwType, pData, cb) == ERROR_SUCCESS;
}

bool RegWriteString(const char* pszKey, const char* pszName, const std::string& value)
{
    return RegWriteValue(pszKey, pszName, REG_SZ, value.c_str(), (DWORD)value.size() + 1);
}

bool RegWriteDword(const char* pszKey, const char* pszName, DWORD dwValue)
{
    return RegWriteValue(pszKey, pszName, REG_DWORD, &dwValue, sizeof(dwValue));
}

// ---- Windows ---------------------------------------------------------------
HWND CreateTestMainWindow()
{
    static const char* kClass = "AgentTestMainWindow";
    static bool bRegistered = false;
    if (!bRegistered) {
        RegisterMainWindowClass(GetModuleHandleA(nullptr), kClass);
        bRegistered = true;
    }
    return CreateWindowExA(0, kClass, kClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

bool TakeQuitMessage(WPARAM* pCode)
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    if (pCode)
        *pCode = msg.wParam;
    return true;
}

std::string DlgItemText(HWND hDlg, int nId)
{
    char szText[512] = "";
    GetDlgItemTextA(hDlg, nId, szText, sizeof(szText));
    return szText;
}

void PumpMessages(DWORD nMs)
{
    DWORD dwEnd = GetTickCount() + nMs;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while ((LONG)(dwEnd - GetTickCount()) > 0);
}

DWORD WINAPI WatchFile(void* pArg)
{
    FileWatch* pWatch = static_cast<FileWatch*>(pArg);
    while (!pWatch->bStop) {
        if (ReadFileText(pWatch->path) != pWatch->content) {
            pWatch->nChanged = GetTickCount64();
            break;
        }
        Sleep(5);
    }
    return 0;
}

// ---- Screen DPI ------------------------------------------------------------
static const char DPI_KEY[] = "Control Panel\\Desktop";
static const char DPI_VALUE[] = "LogPixels";
static const char DPI_ENV[] = "AGENT_TEST_DPI";   // tells the child what it was started at
constexpr DWORD DPI_CHILD_TIMEOUT_MS = 120000;

UINT ScreenDpi()
{
    HDC hdc = GetDC(nullptr);
    UINT nDpi = (UINT)GetDeviceCaps(hdc, LOGPIXELSY);
    ReleaseDC(nullptr, hdc);
    return nDpi;
}

UINT RequestedDpi()
{
    char szDpi[16] = "";
    DWORD cch = GetEnvironmentVariableA(DPI_ENV, szDpi, sizeof(szDpi));
    return cch > 0 && cch < sizeof(szDpi) ? (UINT)atoi(szDpi) : DEFAULT_DPI;
}

// Starts this executable with a gtest filter, sharing this process's output; its exit code.
static DWORD RunSelf(const char* pszFilter)
{
    char szExe[MAX_PATH] = "";
    char szCommand[MAX_PATH + 512];
    GetModuleFileNameA(nullptr, szExe, sizeof(szExe));
    snprintf(szCommand, sizeof(szCommand), "\"%s\" --gtest_brief=1 --gtest_filter=%s", szExe, pszFilter);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError})
        SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    fflush(stdout);
    PROCESS_INFORMATION pi = {};
    DWORD dwCode = (DWORD)-1;
    if (!CreateProcessA(nullptr, szCommand, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return dwCode;
    if (WaitForSingleObject(pi.hProcess, DPI_CHILD_TIMEOUT_MS) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &dwCode);
    else
        TerminateProcess(pi.hProcess, dwCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return dwCode;
}

bool RunTestsAtDpi(UINT nDpi, const char* pszFilter)
{
    HKEY hKey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, DPI_KEY, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS)
        return false;
    DWORD dwOld = 0, cbOld = sizeof(dwOld), dwType = 0;
    bool bHadValue = RegQueryValueExA(hKey, DPI_VALUE, nullptr, &dwType, (BYTE*)&dwOld, &cbOld) == ERROR_SUCCESS;
    DWORD dwDpi = nDpi;
    RegSetValueExA(hKey, DPI_VALUE, 0, REG_DWORD, (const BYTE*)&dwDpi, sizeof(dwDpi));
    char szDpi[16];
    snprintf(szDpi, sizeof(szDpi), "%u", nDpi);
    SetEnvironmentVariableA(DPI_ENV, szDpi);
    DWORD dwCode = RunSelf(pszFilter);
    SetEnvironmentVariableA(DPI_ENV, nullptr);
    if (bHadValue)
        RegSetValueExA(hKey, DPI_VALUE, 0, dwType, (const BYTE*)&dwOld, cbOld);
    else
        RegDeleteValueA(hKey, DPI_VALUE);
    RegCloseKey(hKey);
    return dwCode == 0;
}
