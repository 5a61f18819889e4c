// Version resources of files, read with bounds on what the file claims.
#include "file_version.h"
#include <cstdlib>
#include <cstring>

// A version resource's length is a 16-bit field; the ANSI size query asks for
// room to convert it as well, so four times that covers every well-formed one.
constexpr DWORD VERSION_INFO_MAX_SIZE = 4 * 0x10000;

int ReadFixedFileVersion(const char* pszPath, VS_FIXEDFILEINFO* pFixed)
{
    DWORD dwHandle = 0;
    DWORD cbInfo = GetFileVersionInfoSizeA(pszPath, &dwHandle);
    if (cbInfo == 0 || cbInfo > VERSION_INFO_MAX_SIZE)
        return 0;
    BYTE* pInfo = (BYTE*)calloc(1, cbInfo);
    if (!pInfo)
        return 0;
    int nDone = 0;
    VS_FIXEDFILEINFO* pFound = nullptr;
    UINT cbFound = 0;
    if (GetFileVersionInfoA(pszPath, 0, cbInfo, pInfo) &&
        VerQueryValueA(pInfo, "\\", (void**)&pFound, &cbFound) && pFound &&
        cbFound >= sizeof(VS_FIXEDFILEINFO) && (BYTE*)pFound >= pInfo &&
        (BYTE*)pFound + sizeof(VS_FIXEDFILEINFO) <= pInfo + cbInfo) {
        memcpy(pFixed, pFound, sizeof(*pFixed));
        nDone = 1;
    }
    free(pInfo);
    return nDone;
}
