// The user's Run value and the agent it starts.
#include "run_value.h"
#include "product.h"
#include <windows.h>
#include <cstdio>
#include <cstring>

int RunCommandProgram(const char* pszCommand, char* pszProgram, size_t cbProgram)
{
    const char* pszStart = pszCommand[0] == '"' ? pszCommand + 1 : pszCommand;
    size_t nLen = strlen(pszStart);
    if (pszCommand[0] == '"') {
        const char* pQuote = strchr(pszStart, '"');
        if (!pQuote)
            return 0;
        nLen = (size_t)(pQuote - pszStart);
    }
    if (nLen == 0 || nLen >= cbProgram)
        return 0;
    memcpy(pszProgram, pszStart, nLen);
    pszProgram[nLen] = '\0';
    return 1;
}

int RunCommandStartsAgentIn(const char* pszCommand, const char* pszFolder)
{
    char szProgram[MAX_PATH * 2];
    if (!RunCommandProgram(pszCommand, szProgram, sizeof(szProgram)))
        return 0;
    // A folder the ANSI code page cannot spell is written by its short path.
    char szShort[MAX_PATH] = {};
    DWORD nShort = GetShortPathNameA(pszFolder, szShort, sizeof(szShort));
    if (nShort >= sizeof(szShort))
        szShort[0] = '\0';
    const char* apszDirs[] = {pszFolder, szShort};
    for (const char* pszDir : apszDirs) {
        char szExe[MAX_PATH * 2];
        int n = snprintf(szExe, sizeof(szExe), "%s%s", pszDir, PRODUCT_EXE);
        if (pszDir[0] && n > 0 && n < (int)sizeof(szExe) && lstrcmpiA(szProgram, szExe) == 0)
            return 1;
    }
    return 0;
}
