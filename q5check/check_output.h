// A bounded text buffer the two printers write into: never past its end, always terminated.
#pragma once
#include <cstddef>

struct Out {
    char* psz;
    size_t cb;
    size_t n;
};

Out StartOut(char* pszOut, size_t cbOut);
void Put(Out* pOut, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
