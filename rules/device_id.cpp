// A device type of a device list, read one way everywhere.
#include "device_id.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr size_t VID_PREFIX_LEN = 4;   // "VID_"
constexpr size_t PID_PREFIX_LEN = 5;   // "&PID_"

int ParseDeviceType(const char* pszValue, long* pnVid, long* pnPid)
{
    *pnVid = 0;
    *pnPid = 0;
    if (strlen(pszValue) <= VID_PREFIX_LEN)
        return 0;
    const char* pszVid = pszValue + VID_PREFIX_LEN;
    char* pEnd = nullptr;
    *pnVid = strtol(pszVid, &pEnd, 16);
    if (pEnd == pszVid || strlen(pEnd) <= PID_PREFIX_LEN)
        return 0;
    const char* pszPid = pEnd + PID_PREFIX_LEN;
    *pnPid = strtol(pszPid, &pEnd, 16);
    return pEnd != pszPid;
}

int IsWrittenDeviceType(const char* pszValue, char* pszWritten)
{
    long nVid = 0, nPid = 0;
    if (!ParseDeviceType(pszValue, &nVid, &nPid) || nVid < 0 || nVid > 0xFFFF || nPid < 0 || nPid > 0xFFFF)
        return 0;
    // The reader skips the prefixes and takes signs, blanks and "0x": only the one
    // spelling of what it read is the full form.
    char szWritten[DEVICE_TYPE_TEXT_SIZE];
    snprintf(szWritten, sizeof(szWritten), "VID_%04lX&PID_%04lX", nVid, nPid);
    if (_stricmp(szWritten, pszValue) != 0)
        return 0;
    if (pszWritten)
        memcpy(pszWritten, szWritten, sizeof(szWritten));
    return 1;
}
