// A bounded text buffer the command-line tools print into: never past its end, always
// terminated. Also their JSON form of a text, so that q5check and q5ctl agree on it.
#pragma once
#include <cstddef>

struct Out {
    char* psz;
    size_t cb;
    size_t n;
};

Out StartOut(char* pszOut, size_t cbOut);
void Put(Out* pOut, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
// An ANSI text as a JSON string of pure ASCII: what is not printable ASCII goes as \u
// escapes of its UTF-16 form in the system code page.
void PutJsonString(Out* pOut, const char* pszAnsi);
// The same, or null when the text is missing or empty.
void PutJsonStringOrNull(Out* pOut, const char* pszAnsi);
const char* JsonBool(long b);
