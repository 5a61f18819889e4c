// Helpers shared by the unit and end-to-end tests.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "agent/agent_state.h"

// ---- Fake client library ---------------------------------------------------
// A programmable stand-in installed straight into g_wusb, with a call log.
struct FakeCall {
    std::string name;
    unsigned int a = 0, b = 0;
};

struct FakeWusb {
    int nOpenResult = 0;
    int nServerCount = 0;          // what GetServerList returns
    _WUSB_SERVER server = {};      // copied into record 0 on every list call
    WUSB_ADDRESS address = {};     // server.pAddress points here
    int nMore = 0;                 // servers listed after record 0 (FakeAddServer)
    _WUSB_SERVER more[MAX_SERVERS - 1] = {};
    WUSB_ADDRESS moreAddresses[MAX_SERVERS - 1] = {};
    int nPerformanceResult = 0;
    char szComputerName[64] = "THIS-PC";
    std::vector<FakeCall> calls;
};
extern FakeWusb g_fake;

// Resets g_fake and points every entry of g_wusb at it.
void InstallFakeWusb();
// Server 0 with one device: status, VID, PID, device id, IPv4 a.b.c.d, holder host name.
void FakeSetDevice(int nStatus, unsigned short wVid, unsigned short wPid, unsigned int dwDeviceId,
                   const char* pszIp, const char* pszHolder);
// One more server after those set: the same shape as FakeSetDevice's.
void FakeAddServer(int nStatus, unsigned short wVid, unsigned short wPid, unsigned int dwDeviceId,
                   const char* pszIp, const char* pszHolder);
// Number of logged calls of the given name ("WUSBImportDevice", ...).
int FakeCallCount(const char* pszName);
// Server id the fake reports for a.b.c.d (the u32 of the address bytes).
unsigned int FakeServerId(const char* pszIp);

// ---- Agent state -----------------------------------------------------------
// Puts every AgentState variable back to its start value (frees language lists).
void ResetAgentState();

// ---- Trace capture ---------------------------------------------------------
// Collects OutputDebugStringA output of this process while alive.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    const std::vector<std::string>& Lines() const;
    bool Contains(const std::string& text) const;   // some trace equals text exactly
    void Clear();
};

// ---- Files and folders -----------------------------------------------------
// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempDir {
public:
    explicit TempDir(const char* pszTag = "agent");
    ~TempDir();
    const std::string& Path() const { return m_path; }
    // Writes bytes to a file relative to the folder, creating sub-folders.
    void Write(const std::string& relPath, const std::string& content) const;
private:
    std::string m_path;
};

// The build's program folder (exe, wusb.dll, Setting.ini, lang\) as a Windows path:
// the build's Linux path, which Wine shows under Z:.
std::string DistDir();
// A file of the build (a Linux path) as Windows programs under Wine see it, below Z:.
std::string WinePathOf(const char* pszLinuxPath);
// Points g_szAppDir and g_szSettingIni at a folder (as InitAppDir/LoadSettings would).
void UseProgramDir(const std::string& dir);
// A UTF-8 path (ASCII paths unchanged) for the wide functions.
std::wstring WidePath(const std::string& utf8);
// Reads a whole file; "" when missing.
std::string ReadFileText(const std::string& path);
// Notes when a file's content first differs from what it was: a thread runs
// WatchFile on it until the content changes or bStop is set.
struct FileWatch {
    std::string path;
    std::string content;
    volatile bool bStop = false;
    volatile ULONGLONG nChanged = 0;
};
DWORD WINAPI WatchFile(void* pArg);

// ---- Registry --------------------------------------------------------------
// Clears the agent key and the Run value now and again when it ends.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
};
// Policy values of the computer and the user, removed now and again when it ends (the
// end-to-end tests share one registry, so nothing a test sets may outlive it).
struct PolicyValue {
    HKEY hRoot;              // HKEY_LOCAL_MACHINE: computer policy; HKEY_CURRENT_USER: user policy
    const char* pszName;
    DWORD dwType;            // REG_DWORD takes dwNumber, REG_SZ and others take pszText's bytes
    DWORD dwNumber;
    const char* pszText;
};
inline PolicyValue PolicyNumber(HKEY hRoot, const char* pszName, DWORD dw) { return {hRoot, pszName, REG_DWORD, dw, nullptr}; }
inline PolicyValue PolicyText(HKEY hRoot, const char* pszName, const char* psz) { return {hRoot, pszName, REG_SZ, 0, psz}; }
class PolicySandbox {
public:
    PolicySandbox();
    ~PolicySandbox();
    void Set(const PolicyValue& value) const;
    void Clear() const;
};
// Reads a value under HKCU; false when missing.
bool RegReadString(const char* pszKey, const char* pszName, std::string* pValue);
bool RegReadDword(const char* pszKey, const char* pszName, DWORD* pValue);
// Writes a value under HKCU, creating the key; false when it could not.
bool RegWriteValue(const char* pszKey, const char* pszName, DWORD dwType, const void* pData, DWORD cb);
bool RegWriteString(const char* pszKey, const char* pszName, const std::string& value);
bool RegWriteDword(const char* pszKey, const char* pszName, DWORD dwValue);

// ---- Windows ---------------------------------------------------------------
// A hidden window run by MainWndProc, under a test class name.
HWND CreateTestMainWindow();
// Takes a pending WM_QUIT off this thread's queue (a destroyed window posted it);
// false when there is none. Its exit code goes to *pCode.
bool TakeQuitMessage(WPARAM* pCode = nullptr);
// Text of a dialog control, also of another process's dialog.
std::string DlgItemText(HWND hDlg, int nId);
// Dispatches whatever is queued for this thread, for up to nMs milliseconds.
void PumpMessages(DWORD nMs);

// ---- Screen DPI ------------------------------------------------------------
// Wine, like Windows, takes the system DPI (the prefix's LogPixels) once, at a process's start.
constexpr UINT DEFAULT_DPI = 96;
// The system DPI this process runs at.
UINT ScreenDpi();
// The DPI RunTestsAtDpi started this process at; DEFAULT_DPI for a plain start.
UINT RequestedDpi();
// Runs the tests of this executable that match the gtest filter in a child process started
// at nDpi, then puts the prefix's DPI back. The child prints to this process's output.
// True when the child ran and its tests passed.
bool RunTestsAtDpi(UINT nDpi, const char* pszFilter);
