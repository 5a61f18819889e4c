// End-to-end harness: program folders copied from the build, and the agent run
// under a debugger thread that collects its traces.
#include "agent_process.h"
#include "agent/connection.h"
#include <cstdio>
#include <cstring>

// ---- ProgramFolder ---------------------------------------------------------
static void CopyInto(const std::string& from, const std::string& to)
{
    CopyFileA(from.c_str(), to.c_str(), FALSE);
}

ProgramFolder::ProgramFolder(const char* pszTag) : m_dir(pszTag)
{
    const std::string dist = DistDir();
    CopyInto(dist + "\\" PRODUCT_EXE, ExePath());
    CopyInto(dist + "\\q5check.exe", CheckExePath());
    CopyInto(dist + "\\" PRODUCT_CTL_EXE, CtlExePath());
    CopyInto(dist + "\\wusb.dll", Path() + "\\wusb.dll");
    CopyInto(dist + "\\Setting.ini", Path() + "\\Setting.ini");
    CopyInto(dist + "\\wusb_sim.ini", ScenarioPath());
    CreateDirectoryA((Path() + "\\lang").c_str(), nullptr);
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((dist + "\\lang\\*.ini").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            CopyInto(dist + "\\lang\\" + fd.cFileName, Path() + "\\lang\\" + fd.cFileName);
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
}

void ProgramFolder::WriteScenario(const std::string& text) const { m_dir.Write("wusb_sim.ini", text); }

void ProgramFolder::SetScenario(const char* pszSection, const char* pszKey, const char* pszValue) const
{
    WritePrivateProfileStringA(pszSection, pszKey, pszValue, ScenarioPath().c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ScenarioPath().c_str());   // flush
}

void ProgramFolder::SetHolder(const char* pszHolder) const
{
    if (*pszHolder)
        SetScenario("server", "status", "3");
    SetScenario("server", "holder", pszHolder);
    if (!*pszHolder)
        SetScenario("server", "status", "1");
}

void ProgramFolder::SetSetting(const char* pszSection, const char* pszKey, const char* pszValue) const
{
    const std::string ini = Path() + "\\Setting.ini";
    WritePrivateProfileStringA(pszSection, pszKey, pszValue, ini.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());   // flush
}

void ProgramFolder::Remove(const std::string& relPath) const { DeleteFileA((Path() + "\\" + relPath).c_str()); }

std::vector<ProgramFolder::Entry> ProgramFolder::Journal() const
{
    std::vector<Entry> entries;
    std::string text = ReadFileText(JournalPath());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t space = line.find(' ');
        if (space == std::string::npos)
            continue;
        entries.push_back(Entry{strtoull(line.c_str(), nullptr, 10), line.substr(space + 1)});
    }
    return entries;
}

std::vector<std::string> ProgramFolder::JournalCalls() const
{
    std::vector<std::string> calls;
    for (const Entry& e : Journal())
        calls.push_back(e.call);
    return calls;
}

int ProgramFolder::CountCalls(const std::string& prefix) const
{
    int n = 0;
    for (const Entry& e : Journal())
        n += e.call.compare(0, prefix.size(), prefix) == 0;
    return n;
}

unsigned long long ProgramFolder::FirstCall(const std::string& prefix, unsigned long long nFrom) const
{
    for (const Entry& e : Journal())
        if (e.nMs >= nFrom && e.call.compare(0, prefix.size(), prefix) == 0)
            return e.nMs;
    return 0;
}

bool ProgramFolder::WaitCalls(const std::string& prefix, int nCount, DWORD nTimeoutMs) const
{
    return WaitUntil(nTimeoutMs, [&] { return CountCalls(prefix) >= nCount; });
}

std::string ProgramFolder::LangText(const char* pszSection, const char* pszKey, const char* pszCode) const
{
    char szText[512] = {};
    std::string file = Path() + "\\lang\\" PRODUCT_LANG_FILE_PREFIX + pszCode + ".ini";
    GetPrivateProfileStringA(pszSection, pszKey, "", szText, sizeof(szText), file.c_str());
    return szText;
}

// ---- AgentProcess ----------------------------------------------------------
AgentProcess::~AgentProcess()
{
    Kill();
    if (m_bCsReady)
        DeleteCriticalSection(&m_cs);
}

bool AgentProcess::Start(const std::string& exePath)
{
    if (!m_bCsReady) {
        InitializeCriticalSection(&m_cs);
        m_bCsReady = true;
    }
    m_exePath = exePath;
    m_hStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Debug events go to the thread that created the process, so the thread does both.
    m_hThread = CreateThread(nullptr, 0, DebugThread, this, 0, nullptr);
    WaitForSingleObject(m_hStarted, 10000);
    CloseHandle(m_hStarted);
    m_hStarted = nullptr;
    return m_hProcess != nullptr;
}

DWORD WINAPI AgentProcess::DebugThread(void* pArg)
{
    static_cast<AgentProcess*>(pArg)->DebugLoop();
    return 0;
}

void AgentProcess::DebugLoop()
{
    // Wide calls, so a folder in any alphabet starts as the user's shell would start it.
    std::wstring exe = WidePath(m_exePath);
    std::wstring cmd = L"\"" + exe + L"\"";
    std::wstring dir = exe.substr(0, exe.rfind(L'\\'));
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> cmdBuf(cmd.begin(), cmd.end());
    cmdBuf.push_back(L'\0');
    if (!CreateProcessW(exe.c_str(), cmdBuf.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, dir.c_str(), &si, &pi)) {
        InterlockedExchange(&m_bExited, 1);
        SetEvent(m_hStarted);
        return;
    }
    CloseHandle(pi.hThread);
    m_hProcess = pi.hProcess;
    m_dwPid = pi.dwProcessId;
    SetEvent(m_hStarted);

    for (;;) {
        DEBUG_EVENT ev = {};
        if (!WaitForDebugEvent(&ev, 200)) {
            if (WaitForSingleObject(m_hProcess, 0) == WAIT_OBJECT_0)
                break;   // ended without telling the debugger (killed)
            continue;
        }
        DWORD dwContinue = DBG_CONTINUE;
        switch (ev.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO& info = ev.u.DebugString;
            std::vector<char> text(info.nDebugStringLength + 1, '\0');
            SIZE_T nRead = 0;
            ReadProcessMemory(m_hProcess, info.lpDebugStringData, text.data(), info.nDebugStringLength, &nRead);
            EnterCriticalSection(&m_cs);
            m_traces.emplace_back(text.data());
            LeaveCriticalSection(&m_cs);
            break;
        }
        case CREATE_PROCESS_DEBUG_EVENT:
            if (ev.u.CreateProcessInfo.hFile)
                CloseHandle(ev.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (ev.u.LoadDll.hFile)
                CloseHandle(ev.u.LoadDll.hFile);
            break;
        case EXCEPTION_DEBUG_EVENT:
            // Only the loader's breakpoint is ours to swallow; the agent's own exceptions go on.
            if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                dwContinue = DBG_EXCEPTION_NOT_HANDLED;
            break;
        default:
            break;
        }
        bool bExit = ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, dwContinue);
        if (bExit)
            break;
    }
    WaitForSingleObject(m_hProcess, 10000);
    GetExitCodeProcess(m_hProcess, &m_dwExitCode);
    m_nExitTick = GetTickCount64();
    InterlockedExchange(&m_bExited, 1);
}

bool AgentProcess::Running() const { return m_hProcess && !m_bExited; }

bool AgentProcess::WaitExit(DWORD nTimeoutMs, DWORD* pCode)
{
    if (!m_hThread)
        return true;
    if (WaitForSingleObject(m_hThread, nTimeoutMs) != WAIT_OBJECT_0)
        return false;
    if (pCode)
        *pCode = m_dwExitCode;
    return true;
}

void AgentProcess::Kill()
{
    if (!m_hThread)
        return;
    if (!m_bExited && m_hProcess)
        TerminateProcess(m_hProcess, 99);
    WaitForSingleObject(m_hThread, 15000);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    if (m_hProcess)
        CloseHandle(m_hProcess);
    m_hProcess = nullptr;
}

struct FindArgs {
    DWORD dwPid;
    const char* pszClass;
    const char* pszCaption;
    bool bVisibleOnly;
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    FindArgs* pArgs = reinterpret_cast<FindArgs*>(lParam);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    if (dwPid != pArgs->dwPid)
        return TRUE;
    char szClass[256] = {}, szCaption[256] = {};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    GetWindowTextA(hWnd, szCaption, sizeof(szCaption));
    if (lstrcmpA(szClass, pArgs->pszClass) != 0)
        return TRUE;
    if (pArgs->pszCaption && lstrcmpA(szCaption, pArgs->pszCaption) != 0)
        return TRUE;
    if (pArgs->bVisibleOnly && !IsWindowVisible(hWnd))
        return TRUE;
    pArgs->found.push_back(hWnd);
    return TRUE;
}

HWND AgentProcess::FindWindowOf(const char* pszClass, const char* pszCaption) const
{
    FindArgs args{m_dwPid, pszClass, pszCaption, false, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&args));
    return args.found.empty() ? nullptr : args.found.front();
}

HWND AgentProcess::WaitWindowOf(const char* pszClass, DWORD nTimeoutMs, const char* pszCaption) const
{
    HWND hWnd = nullptr;
    WaitUntil(nTimeoutMs, [&] { return (hWnd = FindWindowOf(pszClass, pszCaption)) != nullptr; });
    return hWnd;
}

std::vector<HWND> AgentProcess::VisibleDialogs() const
{
    FindArgs args{m_dwPid, "#32770", nullptr, true, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&args));
    return args.found;
}

std::vector<std::string> AgentProcess::Traces() const
{
    if (!m_bCsReady)
        return {};
    EnterCriticalSection(&m_cs);
    std::vector<std::string> copy = m_traces;
    LeaveCriticalSection(&m_cs);
    return copy;
}

bool AgentProcess::HasTrace(const std::string& text) const
{
    for (const std::string& line : Traces())
        if (line == text)
            return true;
    return false;
}

bool AgentProcess::LastTraceAfter(const std::string& prefix, std::string* pRest) const
{
    bool bFound = false;
    for (const std::string& line : Traces()) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        bFound = true;
        if (pRest)
            *pRest = line.substr(prefix.size());
    }
    return bFound;
}

bool AgentProcess::WaitTrace(const std::string& text, DWORD nTimeoutMs) const
{
    return WaitUntil(nTimeoutMs, [&] { return HasTrace(text); });
}

HWND LaunchProgram(AgentProcess& agent, const std::string& exePath)
{
    return agent.Start(exePath) ? agent.WaitWindowOf(AGENT_CLASS, E2E_START_TIMEOUT_MS) : nullptr;
}

HWND LaunchAgent(AgentProcess& agent, const ProgramFolder& folder, const std::string& exePath)
{
    return LaunchProgram(agent, exePath.empty() ? folder.ExePath() : exePath);
}

bool WaitAttached(const ProgramFolder& folder, int nImports, DWORD nTimeoutMs)
{
    return WaitUntil(nTimeoutMs, [&] {
        int nSeen = 0;
        for (const std::string& call : folder.JournalCalls()) {
            nSeen += call == E2E_IMPORT_CALL;
            if (nSeen >= nImports && call.rfind("WUSBGetServerList(", 0) == 0)
                return true;
        }
        return false;
    });
}

int SettledImports(const ProgramFolder& folder)
{
    Sleep(DELAY_IMPORT_MS + 1500);
    return folder.CountCalls("WUSBImportDevice(");
}

HWND LaunchAttached(AgentProcess& agent, const ProgramFolder& folder, const std::string& exePath)
{
    HWND hWnd = LaunchAgent(agent, folder, exePath);
    return hWnd && WaitAttached(folder, 1) ? hWnd : nullptr;
}

HWND WaitVisibleDialog(const AgentProcess& agent, DWORD nTimeoutMs)
{
    std::vector<HWND> dialogs;
    WaitUntil(nTimeoutMs, [&] { return !(dialogs = agent.VisibleDialogs()).empty(); });
    return dialogs.empty() ? nullptr : dialogs.front();
}

HWND StartToDialog(AgentProcess& agent, const std::string& exePath)
{
    return agent.Start(exePath) ? WaitVisibleDialog(agent, E2E_START_TIMEOUT_MS) : nullptr;
}

bool AnswerOkAndWaitExit(AgentProcess& agent, HWND hDlg, DWORD* pCode)
{
    PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
    return agent.WaitExit(E2E_EXIT_TIMEOUT_MS, pCode);
}

bool ExitAgentByMenu(AgentProcess& agent, HWND hWnd, DWORD* pCode)
{
    PostMessageA(hWnd, WM_COMMAND, IDM_EXIT, 0);
    return agent.WaitExit(E2E_EXIT_TIMEOUT_MS, pCode);
}

bool MakeUserInput()
{
    LASTINPUTINFO before = {sizeof(before), 0};
    GetLastInputInfo(&before);
    Sleep(20);   // a tick later than any input before
    // A small move there and back: the pointer ends where it was.
    INPUT moves[2] = {};
    moves[0].type = moves[1].type = INPUT_MOUSE;
    moves[0].mi.dwFlags = moves[1].mi.dwFlags = MOUSEEVENTF_MOVE;
    moves[0].mi.dx = 3;
    moves[1].mi.dx = -3;
    SendInput(2, moves, sizeof(INPUT));
    return WaitUntil(2000, [&] {
        LASTINPUTINFO now = {sizeof(now), 0};
        return GetLastInputInfo(&now) && now.dwTime != before.dwTime;
    });
}
