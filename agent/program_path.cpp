// Where the running program lies, as a path the ANSI functions can use.
//
// GetModuleFileNameA turns letters outside the ANSI code page into '?': a
// program below a user profile named in another alphabet would then look for
// its files, and write its autostart entry, under a folder that does not exist.
#include "program_path.h"
#include <cstring>
#include <cwchar>
#include <cstdio>

// Long enough for any module path the loader hands out.
constexpr DWORD WIDE_PATH_SIZE = 32768;

int WideToAnsiFaithful(const wchar_t* pszWide, char* pszAnsi, int cbAnsi)
{
    if (!pszWide || !pszAnsi || cbAnsi <= 0)
        return 0;
    pszAnsi[0] = '\0';
    int nBytes = WideCharToMultiByte(CP_ACP, 0, pszWide, -1, pszAnsi, cbAnsi, nullptr, nullptr);
    if (nBytes <= 0) {
        pszAnsi[0] = '\0';   // too long for the buffer, or not convertible
        return 0;
    }
    // A round trip tells substituted and best-fit letters from faithful ones,
    // in every code page (UTF-8 included).
    int nWide = MultiByteToWideChar(CP_ACP, 0, pszAnsi, -1, nullptr, 0);
    wchar_t* pszBack = nWide > 0 ? (wchar_t*)HeapAlloc(GetProcessHeap(), 0, nWide * sizeof(wchar_t)) : nullptr;
    int bSame = pszBack && MultiByteToWideChar(CP_ACP, 0, pszAnsi, -1, pszBack, nWide) == nWide &&
                wcscmp(pszBack, pszWide) == 0;
    if (pszBack)
        HeapFree(GetProcessHeap(), 0, pszBack);
    if (!bSame)
        pszAnsi[0] = '\0';
    return bSame;
}

// The short path of a file or folder, faithful in ANSI; 0 when there is none
// (short names can be switched off on a volume).
static int ShortPathAnsi(const wchar_t* pszLong, char* pszAnsi, int cbAnsi)
{
    wchar_t* pszShort = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, WIDE_PATH_SIZE * sizeof(wchar_t));
    if (!pszShort)
        return 0;
    DWORD nLen = GetShortPathNameW(pszLong, pszShort, WIDE_PATH_SIZE);
    int bDone = nLen > 0 && nLen < WIDE_PATH_SIZE && WideToAnsiFaithful(pszShort, pszAnsi, cbAnsi);
    HeapFree(GetProcessHeap(), 0, pszShort);
    return bDone;
}

// Short folder plus the file name (long when it can be spelled, else short too).
static int RebuildFromShortFolder(wchar_t* pszWidePath, char* pszPath, int cbPath)
{
    wchar_t* pSlash = wcsrchr(pszWidePath, L'\\');
    if (!pSlash)
        return 0;
    char szName[MAX_PATH];
    if (!WideToAnsiFaithful(pSlash + 1, szName, sizeof(szName))) {
        char szShortFile[MAX_PATH];
        if (!ShortPathAnsi(pszWidePath, szShortFile, sizeof(szShortFile)))
            return 0;
        const char* pName = strrchr(szShortFile, '\\');
        lstrcpynA(szName, pName ? pName + 1 : szShortFile, sizeof(szName));
    }
    *pSlash = L'\0';
    char szFolder[MAX_PATH];
    int bFolder = ShortPathAnsi(pszWidePath, szFolder, sizeof(szFolder));
    *pSlash = L'\\';
    if (!bFolder)
        return 0;
    int nLen = snprintf(pszPath, cbPath, "%s\\%s", szFolder, szName);
    return nLen > 0 && nLen < cbPath;
}

int AnsiPathFromWide(wchar_t* pszWidePath, char* pszPath, int cbPath)
{
    if (!pszWidePath || !pszPath || cbPath <= 0)
        return 0;
    memset(pszPath, 0, cbPath);
    if (WideToAnsiFaithful(pszWidePath, pszPath, cbPath) || RebuildFromShortFolder(pszWidePath, pszPath, cbPath))
        return 1;
    memset(pszPath, 0, cbPath);
    return 0;
}

int GetModulePathAnsi(HMODULE hModule, char* pszPath, int cbPath)
{
    if (!pszPath || cbPath <= 0)
        return 0;
    memset(pszPath, 0, cbPath);
    wchar_t* pszWide = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, WIDE_PATH_SIZE * sizeof(wchar_t));
    if (!pszWide)
        return 0;
    DWORD nLen = GetModuleFileNameW(hModule, pszWide, WIDE_PATH_SIZE);
    int bDone = nLen > 0 && nLen < WIDE_PATH_SIZE && AnsiPathFromWide(pszWide, pszPath, cbPath);
    HeapFree(GetProcessHeap(), 0, pszWide);
    return bDone;
}

int GetModuleFolderAnsi(HMODULE hModule, char* pszFolder, int cbFolder)
{
    if (!GetModulePathAnsi(hModule, pszFolder, cbFolder))
        return 0;
    char* pSlash = strrchr(pszFolder, '\\');
    if (!pSlash) {
        pszFolder[0] = '\0';
        return 0;
    }
    *pSlash = '\0';
    return 1;
}
