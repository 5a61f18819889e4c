// The printers' bounded buffer.
#include "check_output.h"
#include <cstdarg>
#include <cstdio>

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
