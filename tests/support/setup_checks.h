// What the tests of both setups (the per-user one and the MSI) look at: shell
// folders, shortcuts, files, and agents still running.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

class AgentProcess;

// A shell folder (CSIDL_PROGRAMS, ...); "" when there is none.
std::string ShellFolder(int nCsidl);
// The target of a shortcut file; "" when it cannot be read.
std::string ShortcutTarget(const std::string& lnkPath);
bool Exists(const std::string& path);
// Ends whatever agent runs through its Exit command; false when one would not end.
bool EndRunningAgents();
// Relative paths of the program folder the build laid out, as a setup must install them.
std::vector<std::string> ProgramFiles();
// Runs a command line (UTF-8) to its end: its whole exit code (not the shell's low 8
// bits), or -1 when it could not start or did not end in time; its run time in *pMs.
int RunAndWait(const std::string& commandLine, DWORD nTimeoutMs, ULONGLONG* pMs = nullptr);
// Where a call stands in a stand-in's journal file, looking from nFrom on; npos when absent.
size_t JournalFind(const std::string& journal, const char* pszCall, size_t nFrom = 0);
// Starts an installed agent and waits until its journal shows the device attached; null
// when either never came.
HWND StartInstalledAttached(AgentProcess& agent, const std::string& exePath, const std::string& journal);
// The journal shows the device detached, then the library closed.
void ExpectDetachedAndClosed(const std::string& journal);
