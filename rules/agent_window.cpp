// Finding the running agent of one installation folder by its hidden window.
#include "agent_window.h"
#include "product.h"
#include <cstring>

int GetProcessFolder(DWORD dwPid, char* pszFolder, size_t cbFolder)
{
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwPid);
    if (!hProcess)
        return 0;
    char szImage[MAX_PATH] = {};
    DWORD cch = sizeof(szImage);
    BOOL bOk = QueryFullProcessImageNameA(hProcess, 0, szImage, &cch);
    CloseHandle(hProcess);
    if (!bOk)
        return 0;
    char szLong[MAX_PATH] = {};
    if (GetLongPathNameA(szImage, szLong, sizeof(szLong)) - 1 < sizeof(szLong) - 1)
        lstrcpynA(szImage, szLong, sizeof(szImage));
    char* pSlash = strrchr(szImage, '\\');
    if (!pSlash || (size_t)(pSlash - szImage) + 2 > cbFolder)
        return 0;
    pSlash[1] = '\0';
    lstrcpynA(pszFolder, szImage, (int)cbFolder);
    return 1;
}

struct AgentSearch {
    const char* pszFolder;
    HWND* phWnds;
    int nMax;
    int nFound;
};

static BOOL CALLBACK CollectAgent(HWND hWnd, LPARAM lParam)
{
    AgentSearch* pSearch = reinterpret_cast<AgentSearch*>(lParam);
    char szClass[64] = {};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (strcmp(szClass, PRODUCT_WINDOW_CLASS) != 0)
        return TRUE;
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    char szFolder[MAX_PATH];
    if (GetProcessFolder(dwPid, szFolder, sizeof(szFolder)) && lstrcmpiA(szFolder, pSearch->pszFolder) == 0)
        pSearch->phWnds[pSearch->nFound++] = hWnd;
    return pSearch->nFound < pSearch->nMax;
}

int FindAgentWindows(const char* pszFolder, HWND* phWnds, int nMax)
{
    AgentSearch search = {pszFolder, phWnds, nMax, 0};
    if (nMax > 0)
        EnumWindows(CollectAgent, reinterpret_cast<LPARAM>(&search));
    return search.nFound;
}
