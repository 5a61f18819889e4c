// Finding the running agent of one installation folder by its hidden window.
#pragma once
#include <windows.h>
#include <cstddef>

// The folder of a process's program, long form, with its trailing backslash; 0 when unknown.
int GetProcessFolder(DWORD dwPid, char* pszFolder, size_t cbFolder);
// The main windows of this session's agents that run from the folder (long form, with its
// trailing backslash), at most nMax of them; their number.
int FindAgentWindows(const char* pszFolder, HWND* phWnds, int nMax);
