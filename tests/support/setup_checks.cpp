// Shared checks of the setup tests.
#include "setup_checks.h"
#include "agent_process.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <cstring>

std::string ShellFolder(int nCsidl)
{
    char szPath[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, nCsidl, nullptr, SHGFP_TYPE_CURRENT, szPath);
    return szPath;
}

std::string ShortcutTarget(const std::string& lnkPath)
{
    std::string target;
    CoInitialize(nullptr);
    IShellLinkA* pLink = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   (void**)&pLink))) {
        IPersistFile* pFile = nullptr;
        WCHAR wszPath[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, lnkPath.c_str(), -1, wszPath, MAX_PATH);
        char szTarget[MAX_PATH] = {};
        if (SUCCEEDED(pLink->QueryInterface(IID_IPersistFile, (void**)&pFile)) &&
            SUCCEEDED(pFile->Load(wszPath, STGM_READ)) && SUCCEEDED(pLink->GetPath(szTarget, MAX_PATH, nullptr, 0)))
            target = szTarget;
        if (pFile)
            pFile->Release();
        pLink->Release();
    }
    CoUninitialize();
    return target;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool EndRunningAgents()
{
    for (HWND hWnd; (hWnd = FindWindowA(AGENT_CLASS, nullptr)) != nullptr;) {
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hWnd, &dwPid);
        HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, dwPid);
        PostMessageA(hWnd, WM_COMMAND, IDM_EXIT, 0);
        bool bEnded = hProcess && WaitForSingleObject(hProcess, E2E_EXIT_TIMEOUT_MS) == WAIT_OBJECT_0;
        if (hProcess)
            CloseHandle(hProcess);
        if (!bEnded)
            return false;
    }
    return true;
}

std::vector<std::string> ProgramFiles()
{
    std::vector<std::string> files;
    for (const char* pszPattern : {"*.exe", "*.dll", "Setting.ini", "wusb_sim.ini", "lang\\*.ini"}) {
        std::string prefix = strchr(pszPattern, '\\') ? "lang\\" : "";
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA((DistDir() + "\\" + pszPattern).c_str(), &fd);
        if (hFind == INVALID_HANDLE_VALUE)
            continue;
        do {
            files.push_back(prefix + fd.cFileName);
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    return files;
}

int RunAndWait(const std::string& commandLine, DWORD nTimeoutMs, ULONGLONG* pMs)
{
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = WidePath(commandLine);   // folders in any alphabet
    ULONGLONG nStart = GetTickCount64();
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD dwCode = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, nTimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &dwCode);
    if (pMs)
        *pMs = GetTickCount64() - nStart;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)dwCode;
}

size_t JournalFind(const std::string& journal, const char* pszCall, size_t nFrom)
{
    return ReadFileText(journal).find(std::string(" ") + pszCall + "\r\n", nFrom);
}

HWND StartInstalledAttached(AgentProcess& agent, const std::string& exePath, const std::string& journal)
{
    HWND hWnd = LaunchProgram(agent, exePath);
    auto attached = [&] { return JournalFind(journal, E2E_IMPORT_CALL) != std::string::npos; };
    return hWnd && WaitUntil(E2E_START_TIMEOUT_MS, attached) ? hWnd : nullptr;
}

void ExpectDetachedAndClosed(const std::string& journal)
{
    size_t nUnimport = JournalFind(journal, E2E_UNIMPORT_CALL);
    EXPECT_NE(nUnimport, std::string::npos);
    EXPECT_NE(JournalFind(journal, "WUSBClose() = 0", nUnimport), std::string::npos);
}
