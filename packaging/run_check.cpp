// runcheck.exe "<folder>" <command>: tells the uninstaller whether a Run command starts the
// agent of the folder, by the rule the agent and the MSI's actions apply (rules/run_value).
// The command is the rest of the line after one space, taken verbatim, so a Run value's
// own quotes need no escaping. Exit code: PRODUCT_RUN_CHECK_STARTS, PRODUCT_RUN_CHECK_OTHER,
// or PRODUCT_RUN_CHECK_USAGE for a line it cannot read. A GUI-subsystem program that makes
// no window: nothing flashes on screen while the uninstaller waits for it.
#include "rules/run_value.h"
#include "product.h"
#include <windows.h>
#include <cstring>

// Longest Run command judged; a longer one is refused as a bad argument. The agent
// writes a quoted path of at most PRODUCT_PATH_SIZE bytes.
constexpr int RUN_COMMAND_MAX = 4096;

// The token at p (quoted, or up to the next blank) into [*ppStart, *ppEnd); returns what
// follows it, or null when a quote is not closed.
static const wchar_t* TakeToken(const wchar_t* p, const wchar_t** ppStart, const wchar_t** ppEnd)
{
    if (*p == L'"') {
        const wchar_t* pClose = wcschr(p + 1, L'"');
        if (!pClose)
            return nullptr;
        *ppStart = p + 1;
        *ppEnd = pClose;
        return pClose + 1;
    }
    *ppStart = p;
    while (*p && *p != L' ' && *p != L'\t')
        ++p;
    *ppEnd = p;
    return p;
}

// The folder (shorter than MAX_PATH) with a trailing backslash, in ANSI the way the agent
// spells it: as it is when the code page can, else by its short path. 0 when neither
// fits or converts.
static int FolderInAnsi(const wchar_t* pszStart, const wchar_t* pszEnd, char* pszFolder, int cbFolder)
{
    wchar_t szWide[MAX_PATH];
    size_t nLen = (size_t)(pszEnd - pszStart);
    memcpy(szWide, pszStart, nLen * sizeof(wchar_t));
    szWide[nLen] = L'\0';
    wchar_t szShort[MAX_PATH];
    const wchar_t* apszForms[] = {szWide, szShort};
    DWORD nShort = GetShortPathNameW(szWide, szShort, MAX_PATH);
    int nForms = nShort > 0 && nShort < MAX_PATH ? 2 : 1;
    for (int i = 0; i < nForms; ++i) {
        BOOL bLossy = FALSE;
        // Room is kept for the backslash added below.
        int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, apszForms[i], -1, pszFolder, cbFolder - 1, nullptr,
                                    &bLossy);
        if (n <= 1 || bLossy)
            continue;
        if (pszFolder[n - 2] != '\\') {
            pszFolder[n - 1] = '\\';
            pszFolder[n] = '\0';
        }
        return 1;
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const wchar_t* pszStart = nullptr;
    const wchar_t* pszEnd = nullptr;
    const wchar_t* p = TakeToken(GetCommandLineW(), &pszStart, &pszEnd);   // this program
    while (p && (*p == L' ' || *p == L'\t'))
        ++p;
    p = p ? TakeToken(p, &pszStart, &pszEnd) : nullptr;   // the folder
    if (!p || pszStart == pszEnd || pszEnd - pszStart >= MAX_PATH || *p != L' ')
        return PRODUCT_RUN_CHECK_USAGE;
    const wchar_t* pszCommand = p + 1;

    static char szCommand[RUN_COMMAND_MAX];
    if (!WideCharToMultiByte(CP_ACP, 0, pszCommand, -1, szCommand, sizeof(szCommand), nullptr, nullptr))
        return PRODUCT_RUN_CHECK_USAGE;
    // A folder the agent could not spell has no Run value of its agent.
    char szFolder[MAX_PATH];
    if (!FolderInAnsi(pszStart, pszEnd, szFolder, sizeof(szFolder)))
        return PRODUCT_RUN_CHECK_OTHER;
    return RunCommandStartsAgentIn(szCommand, szFolder) ? PRODUCT_RUN_CHECK_STARTS : PRODUCT_RUN_CHECK_OTHER;
}
