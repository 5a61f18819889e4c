// End-to-end harness: lays out a program folder from the build, starts the real
// agent in it under a debugger thread (to collect its OutputDebugStringA traces),
// and judges it from outside: windows, journal, registry, exit code.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "test_support.h"
#include "res/resource.h"
#include "product.h"

// A program folder of one test, copied from the build; removed at the end.
class ProgramFolder {
public:
    explicit ProgramFolder(const char* pszTag);
    const std::string& Path() const { return m_dir.Path(); }
    std::string ExePath() const { return Path() + "\\" PRODUCT_EXE; }
    std::string ScenarioPath() const { return Path() + "\\wusb_sim.ini"; }
    std::string JournalPath() const { return Path() + "\\" PRODUCT_SIM_JOURNAL; }
    std::string CheckExePath() const { return Path() + "\\q5check.exe"; }   // the diagnostics command
    std::string CtlExePath() const { return Path() + "\\" PRODUCT_CTL_EXE; }   // the command line for scripts
    // Replaces the stand-in's scenario file (INI text).
    void WriteScenario(const std::string& text) const;
    // Sets one scenario key, keeping the rest (the stand-in notices the change).
    void SetScenario(const char* pszSection, const char* pszKey, const char* pszValue) const;
    void Write(const std::string& relPath, const std::string& content) const { m_dir.Write(relPath, content); }
    // Puts the default device in use by the named computer, or frees it ("").
    void SetHolder(const char* pszHolder) const;
    // Sets one key of the folder's Setting.ini, keeping the rest.
    void SetSetting(const char* pszSection, const char* pszKey, const char* pszValue) const;
    void Remove(const std::string& relPath) const;
    // Journal lines without their time stamps ("WUSBOpen(32868,3000,0) = 0").
    std::vector<std::string> JournalCalls() const;
    // Journal lines with time stamps split off.
    struct Entry { unsigned long long nMs; std::string call; };
    std::vector<Entry> Journal() const;
    int CountCalls(const std::string& prefix) const;   // calls starting with prefix
    // Time stamp of the first call starting with prefix at or after nFrom; 0 when none.
    unsigned long long FirstCall(const std::string& prefix, unsigned long long nFrom = 0) const;
    // Waits until nCount calls start with prefix.
    bool WaitCalls(const std::string& prefix, int nCount = 1, DWORD nTimeoutMs = 10000) const;
    // A text of the folder's language file for the code ("de": what a fresh registry speaks).
    std::string LangText(const char* pszSection, const char* pszKey, const char* pszCode = "de") const;
private:
    TempDir m_dir;
};

// One run of the agent.
class AgentProcess {
public:
    AgentProcess() = default;
    ~AgentProcess();   // ends the process if it still runs
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    // exePath in UTF-8 (plain ASCII for most tests).
    bool Start(const std::string& exePath);
    DWORD Pid() const { return m_dwPid; }
    bool Running() const;
    // Waits for the process to end; false on time-out. Exit code in *pCode.
    bool WaitExit(DWORD nTimeoutMs, DWORD* pCode = nullptr);
    unsigned long long ExitTick() const { return m_nExitTick; }
    void Kill();

    // Top-level window of this process with the class (and caption, when given).
    HWND FindWindowOf(const char* pszClass, const char* pszCaption = nullptr) const;
    HWND WaitWindowOf(const char* pszClass, DWORD nTimeoutMs, const char* pszCaption = nullptr) const;
    // All visible top-level dialog boxes (#32770) of the process.
    std::vector<HWND> VisibleDialogs() const;

    std::vector<std::string> Traces() const;
    bool HasTrace(const std::string& text) const;
    // The rest of the last trace that starts with prefix (into *pRest); false when none does.
    bool LastTraceAfter(const std::string& prefix, std::string* pRest = nullptr) const;
    // Waits until a trace equal to text has arrived.
    bool WaitTrace(const std::string& text, DWORD nTimeoutMs) const;

private:
    static DWORD WINAPI DebugThread(void* pArg);
    void DebugLoop();

    std::string m_exePath;
    HANDLE m_hThread = nullptr;
    HANDLE m_hStarted = nullptr;
    HANDLE m_hProcess = nullptr;
    DWORD m_dwPid = 0;
    volatile LONG m_bExited = 0;
    DWORD m_dwExitCode = STILL_ACTIVE;
    unsigned long long m_nExitTick = 0;
    mutable CRITICAL_SECTION m_cs;
    bool m_bCsReady = false;
    std::vector<std::string> m_traces;
};

// Class of the agent's main window.
constexpr const char* AGENT_CLASS = PRODUCT_WINDOW_CLASS;
// Polls a condition every 20 ms until it holds or the time is up.
template <typename F>
bool WaitUntil(DWORD nTimeoutMs, F done)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - dwStart >= nTimeoutMs)
            return false;
        Sleep(20);
    }
}

// Time limits of the end-to-end tests: generous, since Wine starts slowly on a busy machine.
constexpr DWORD E2E_START_TIMEOUT_MS = 20000;
constexpr DWORD E2E_EXIT_TIMEOUT_MS = 20000;

// The default scenario's device (192.168.1.10, device 1) attached and detached.
constexpr const char* E2E_IMPORT_CALL = "WUSBImportDevice(167880896,1) = 0";
constexpr const char* E2E_UNIMPORT_CALL = "WUSBUnimportDevice(167880896,1) = 0";

// Waits for the n-th attach of the default free device and the list refresh after it,
// which shows the device held here.
bool WaitAttached(const ProgramFolder& folder, int nImports, DWORD nTimeoutMs = 20000);
// Waits as long as an automatic attach that would come takes (its delay and a margin),
// then counts the attaches of the journal.
int SettledImports(const ProgramFolder& folder);
// Starts the agent in the folder (or the exe given) and waits for its main window;
// null when it never came.
HWND LaunchAgent(AgentProcess& agent, const ProgramFolder& folder, const std::string& exePath = "");
HWND LaunchProgram(AgentProcess& agent, const std::string& exePath);
// The same, then waits for the automatic attach of the default free device and for
// the agent's list refresh that follows it, as the folder's journal shows them;
// null when either never happened.
HWND LaunchAttached(AgentProcess& agent, const ProgramFolder& folder, const std::string& exePath = "");
// Waits for a visible dialog box of the process; null when none came.
HWND WaitVisibleDialog(const AgentProcess& agent, DWORD nTimeoutMs);
// Starts the program and waits for a visible dialog box of it (a second start's, an error
// box); null when it never came.
HWND StartToDialog(AgentProcess& agent, const std::string& exePath);
// Answers a dialog box of the process with OK and waits for the process to end.
bool AnswerOkAndWaitExit(AgentProcess& agent, HWND hDlg, DWORD* pCode = nullptr);
// Keyboard or mouse input on the desktop, as a user's: GetLastInputInfo moves on
// (under Wine it stays 0 until the first input). False when the time did not move.
bool MakeUserInput();
// Asks the agent to exit through its menu command and waits for the process to end.
bool ExitAgentByMenu(AgentProcess& agent, HWND hWnd, DWORD* pCode = nullptr);
