// Appends call records to the journal file.
#include "sim_journal.h"
#include "sim_state.h"
#include <cstdarg>
#include <cstdio>

// Longest journal line; a call record is far shorter.
static const int JOURNAL_LINE_SIZE = 512;

// Opened per line, shared, so a test can read or remove it while the agent runs.
static HANDLE OpenJournal(const char* pszPath)
{
    return CreateFileA(pszPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void SimJournal(const char* pszFormat, ...)
{
    char szLine[JOURNAL_LINE_SIZE];
    int nHead = snprintf(szLine, sizeof(szLine), "%llu ", (unsigned long long)GetTickCount64());
    va_list args;
    va_start(args, pszFormat);
    vsnprintf(szLine + nHead, sizeof(szLine) - nHead - 2, pszFormat, args);
    va_end(args);
    lstrcatA(szLine, "\r\n");   // room for it was kept above

    // Named by the environment, else beside the DLL when that folder can be written, else
    // (Program Files for a standard user) in the user's temporary folder.
    char szPath[MAX_PATH];
    HANDLE hFile = INVALID_HANDLE_VALUE;
    DWORD nLen = GetEnvironmentVariableA(SIM_JOURNAL_ENV, szPath, sizeof(szPath));
    if (nLen > 0 && nLen < sizeof(szPath)) {
        hFile = OpenJournal(szPath);
    } else {
        if (SimPathBesideDll(SIM_JOURNAL_FILE, szPath, sizeof(szPath)))
            hFile = OpenJournal(szPath);
        if (hFile == INVALID_HANDLE_VALUE && SimPathInTemp(SIM_JOURNAL_FILE, szPath, sizeof(szPath)))
            hFile = OpenJournal(szPath);
    }
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD nWritten = 0;
    WriteFile(hFile, szLine, (DWORD)lstrlenA(szLine), &nWritten, nullptr);
    CloseHandle(hFile);
}
