// Reading small texts the same way everywhere: blanks and whole numbers.
#include "text_rules.h"

const char* SkipBlanks(const char* p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

int IsDecimalText(const char* pszText)
{
    if (!pszText[0])
        return 0;
    for (const char* p = pszText; *p; ++p)
        if (*p < '0' || *p > '9')
            return 0;
    return 1;
}

int ParseBoundedNumber(const char* pszText, long nMin, long nMax, long* pnValue)
{
    if (!IsDecimalText(pszText))
        return 0;
    long nValue = 0;
    for (const char* p = pszText; *p; ++p) {
        const int nDigit = *p - '0';
        if (nValue > (nMax - nDigit) / 10)   // the next step would pass nMax (or overflow)
            return 0;
        nValue = nValue * 10 + nDigit;
    }
    if (nValue < nMin || nValue > nMax)
        return 0;
    *pnValue = nValue;
    return 1;
}
