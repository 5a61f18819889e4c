// The command-line tools' bounded buffer and their JSON strings.
#include "text_out.h"
#include <windows.h>
#include <cstdarg>
#include <cstdio>

// Longest text a JSON string is written from, in UTF-16 units; longer is cut.
constexpr int JSON_TEXT_SIZE = 1024;

Out StartOut(char* pszOut, size_t cbOut)
{
    if (cbOut > 0)
        pszOut[0] = '\0';
    return Out{pszOut, cbOut, 0};
}

void Put(Out* pOut, const char* pszFormat, ...)
{
    if (pOut->n + 1 >= pOut->cb)
        return;
    va_list args;
    va_start(args, pszFormat);
    int nLen = vsnprintf(pOut->psz + pOut->n, pOut->cb - pOut->n, pszFormat, args);
    va_end(args);
    if (nLen > 0)
        pOut->n += (size_t)nLen < pOut->cb - pOut->n ? (size_t)nLen : pOut->cb - pOut->n - 1;
}

void PutJsonString(Out* pOut, const char* pszAnsi)
{
    wchar_t szWide[JSON_TEXT_SIZE];
    // A text longer than the buffer fails as a whole: keep what fits instead.
    int nWide = MultiByteToWideChar(CP_ACP, 0, pszAnsi, -1, szWide, JSON_TEXT_SIZE);
    if (!nWide && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        nWide = MultiByteToWideChar(CP_ACP, 0, pszAnsi, JSON_TEXT_SIZE - 1, szWide, JSON_TEXT_SIZE - 1);
        szWide[nWide > 0 ? nWide : 0] = L'\0';
    } else if (!nWide) {
        lstrcpyW(szWide, L"?");
    }
    Put(pOut, "\"");
    for (const wchar_t* p = szWide; *p; ++p) {
        if (*p == L'"' || *p == L'\\')
            Put(pOut, "\\%c", (char)*p);
        else if (*p < 0x20 || *p > 0x7E)
            Put(pOut, "\\u%04x", (unsigned)*p);
        else
            Put(pOut, "%c", (char)*p);
    }
    Put(pOut, "\"");
}

void PutJsonStringOrNull(Out* pOut, const char* pszAnsi)
{
    if (pszAnsi && pszAnsi[0])
        PutJsonString(pOut, pszAnsi);
    else
        Put(pOut, "null");
}

const char* JsonBool(long b) { return b ? "true" : "false"; }
