// Reads the simulated world from the scenario INI and writes device changes back.
#include "sim_scenario.h"
#include "rules/text_rules.h"
#include "rules/wusb_record.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>

static const char SECTION_LIBRARY[] = "library";
static const char SECTION_SERVER[] = "server";

// Defaults of a missing file or key: one free device on a server at 192.168.1.10.
static const int DEFAULT_OPEN_RESULT = 0;
// Longest work the library may leave running after it was closed.
static const int MAX_CLOSE_LINGER_MS = 10000;
static const int DEFAULT_PRESENT = 1;
static const char DEFAULT_FIRMWARE[] = "2.1.0.7";
static const int DEFAULT_DEVICE_COUNT = 1;
static const unsigned int DEFAULT_DEVICE_ID = 1;
static const unsigned short DEFAULT_VID = 0x3A7C;
static const unsigned short DEFAULT_PID = 0x0105;
static const unsigned char DEFAULT_ADDRESS[4] = {192, 168, 1, 10};
static const int DEFAULT_STATUS = WUSB_STATUS_FREE;
static const int DEFAULT_BITRATE = 1000;

// Room for any number a key may hold; longer values are malformed anyway.
static const int NUMBER_TEXT_SIZE = 64;
// sockaddr_in family of the address record (winsock is not pulled in for one number).
static const short SIM_AF_INET = 2;

// Set once the scenario beside the DLL proved unwritable and was copied to the temporary folder.
static char s_szMovedScenario[MAX_PATH];

// 1 when the file cannot be written there (a file in use for a moment is not that).
static int ScenarioUnwritable(const char* pszPath)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(hFile);
        return 0;
    }
    DWORD dwError = GetLastError();
    return dwError == ERROR_ACCESS_DENIED || dwError == ERROR_PATH_NOT_FOUND || dwError == ERROR_WRITE_PROTECT;
}

int SimScenarioPath(char* pszOut, int cbOut)
{
    if (s_szMovedScenario[0]) {
        lstrcpynA(pszOut, s_szMovedScenario, cbOut);
        return lstrlenA(s_szMovedScenario) < cbOut;
    }
    if (!SimPathFromEnv(SIM_SCENARIO_ENV, SIM_SCENARIO_FILE, pszOut, cbOut))
        return 0;
    // Another process (the agent beside q5check) may have moved this world to the
    // temporary folder already: every process of the user then reads that one copy.
    char szTemp[MAX_PATH];
    if (SimPathInTemp(SIM_SCENARIO_FILE, szTemp, sizeof(szTemp)) &&
        GetFileAttributesA(szTemp) != INVALID_FILE_ATTRIBUTES && ScenarioUnwritable(pszOut)) {
        lstrcpynA(s_szMovedScenario, szTemp, sizeof(s_szMovedScenario));
        lstrcpynA(pszOut, szTemp, cbOut);
        return lstrlenA(szTemp) < cbOut;
    }
    return 1;
}

int MoveSimScenarioToTemp()
{
    char szFrom[MAX_PATH], szTo[MAX_PATH];
    if (s_szMovedScenario[0] || !SimScenarioPath(szFrom, sizeof(szFrom)) ||
        !SimPathInTemp(SIM_SCENARIO_FILE, szTo, sizeof(szTo)))
        return 0;
    // A missing scenario is the default world: the copy may fail, the new file then starts empty.
    CopyFileA(szFrom, szTo, FALSE);
    lstrcpynA(s_szMovedScenario, szTo, sizeof(s_szMovedScenario));
    return 1;
}

// Texts longer than the buffer are cut to fit; returns the length read.
static int ReadText(const char* pszSection, const char* pszKey, const char* pszDefault, char* pszOut,
                    int cbOut, const char* pszFile)
{
    // No usable path reads as a missing file.
    if (!pszFile[0])
        lstrcpynA(pszOut, pszDefault, cbOut);
    else
        GetPrivateProfileStringA(pszSection, pszKey, pszDefault, pszOut, cbOut, pszFile);
    pszOut[cbOut - 1] = '\0';
    return (int)strlen(pszOut);
}

// A number text that filled its buffer was cut, and a cut number is not the number written.
static int ReadNumberText(const char* pszSection, const char* pszKey, char* pszOut, int cbOut,
                          const char* pszFile)
{
    return ReadText(pszSection, pszKey, "", pszOut, cbOut, pszFile) < cbOut - 1;
}

static int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The whole text must be the number (blanks around it allowed); 1 when it was.
// Anything beyond 32 bits is refused here, so no later conversion can overflow.
static int ParseWhole(const char* pszText, int nBase, int bSigned, long long* pnOut)
{
    const char* p = SkipBlanks(pszText);
    int bNegative = 0;
    if (bSigned && (*p == '-' || *p == '+')) {
        bNegative = *p == '-';
        ++p;
    }
    if (nBase == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        p += 2;
    long long n = 0;
    int nDigits = 0;
    for (int nDigit = DigitValue(*p); nDigit >= 0 && nDigit < nBase; nDigit = DigitValue(*++p)) {
        n = n * nBase + nDigit;
        if (n > 0xFFFFFFFFLL)
            return 0;
        ++nDigits;
    }
    if (nDigits == 0 || *SkipBlanks(p) != '\0')
        return 0;
    *pnOut = bNegative ? -n : n;
    return 1;
}

static int ReadInt(const char* pszSection, const char* pszKey, int nDefault, const char* pszFile)
{
    char szText[NUMBER_TEXT_SIZE];
    long long n = 0;
    if (!ReadNumberText(pszSection, pszKey, szText, sizeof(szText), pszFile) ||
        !ParseWhole(szText, 10, 1, &n) || n < INT_MIN || n > INT_MAX)
        return nDefault;
    return (int)n;
}

static unsigned int ReadUnsigned(const char* pszSection, const char* pszKey, unsigned int nDefault,
                                 const char* pszFile)
{
    char szText[NUMBER_TEXT_SIZE];
    long long n = 0;
    if (!ReadNumberText(pszSection, pszKey, szText, sizeof(szText), pszFile) ||
        !ParseWhole(szText, 10, 0, &n) || n > 0xFFFFFFFFLL)
        return nDefault;
    return (unsigned int)n;
}

// USB ids are written in hex, with or without 0x.
static unsigned short ReadHex16(const char* pszSection, const char* pszKey, unsigned short wDefault,
                                const char* pszFile)
{
    char szText[NUMBER_TEXT_SIZE];
    long long n = 0;
    if (!ReadNumberText(pszSection, pszKey, szText, sizeof(szText), pszFile) ||
        !ParseWhole(szText, 16, 0, &n) || n > 0xFFFF)
        return wDefault;
    return (unsigned short)n;
}

// Section of server n (0-based): [server] for the first, [server2] ... [server8] after it.
static void ServerSection(int nServer, char* pszOut, int cbOut)
{
    if (nServer == 0)
        lstrcpynA(pszOut, SECTION_SERVER, cbOut);
    else
        snprintf(pszOut, cbOut, "%s%d", SECTION_SERVER, nServer + 1);
}

// Room for "server8" and a terminator.
static const int SECTION_NAME_SIZE = 16;
// Room for the names of a section's keys, enough to tell that it has one.
static const int KEY_NAMES_SIZE = 64;

static int SectionExists(const char* pszSection, const char* pszFile)
{
    char szKeys[KEY_NAMES_SIZE] = "";
    return pszFile[0] && GetPrivateProfileStringA(pszSection, nullptr, "", szKeys, sizeof(szKeys), pszFile) > 0;
}

// Exactly four decimal parts 0..255 separated by dots; anything else keeps the default.
static void ReadAddress(const char* pszSection, const char* pszFile, unsigned char abOut[4])
{
    char szText[NUMBER_TEXT_SIZE];
    if (ReadNumberText(pszSection, "address", szText, sizeof(szText), pszFile))
        ParseServerAddress(szText, abOut);
}

// The first server is on the network unless told otherwise; the others when their section exists.
static void ReadSimServer(int nServer, const char* pszFile, SimServer* pServer)
{
    char szSection[SECTION_NAME_SIZE];
    ServerSection(nServer, szSection, sizeof(szSection));
    int bDefaultPresent = nServer == 0 ? DEFAULT_PRESENT : SectionExists(szSection, pszFile);
    pServer->bPresent = ReadInt(szSection, "present", bDefaultPresent, pszFile) != 0;
    ReadText(szSection, "firmware", DEFAULT_FIRMWARE, pServer->szFirmware, sizeof(pServer->szFirmware), pszFile);
    pServer->nDeviceCount = ReadInt(szSection, "device_count", DEFAULT_DEVICE_COUNT, pszFile);
    pServer->dwDeviceId = ReadUnsigned(szSection, "device_id", DEFAULT_DEVICE_ID, pszFile);
    pServer->wVendorId = ReadHex16(szSection, "vid", DEFAULT_VID, pszFile);
    pServer->wProductId = ReadHex16(szSection, "pid", DEFAULT_PID, pszFile);
    memcpy(pServer->abAddress, DEFAULT_ADDRESS, sizeof(DEFAULT_ADDRESS));
    pServer->abAddress[3] = (unsigned char)(DEFAULT_ADDRESS[3] + nServer);   // 192.168.1.10, .11, ...
    ReadAddress(szSection, pszFile, pServer->abAddress);
    pServer->nStatus = ReadInt(szSection, "status", DEFAULT_STATUS, pszFile);
    ReadText(szSection, "holder", "", pServer->szHolder, sizeof(pServer->szHolder), pszFile);
    pServer->nBitrate = ReadInt(szSection, "bitrate", DEFAULT_BITRATE, pszFile);
}

// [library] "order": section numbers (1 for [server], 2 for [server2]...) in list order,
// e.g. "2,1"; present servers it leaves out follow in their own order.
static void ReadListOrder(const char* pszFile, SimWorld* pWorld)
{
    char szOrder[NUMBER_TEXT_SIZE];
    ReadText(SECTION_LIBRARY, "order", "", szOrder, sizeof(szOrder), pszFile);
    int abListed[SIM_MAX_SERVERS] = {};
    pWorld->nListed = 0;
    for (const char* p = szOrder; *p;) {
        char* pEnd = nullptr;
        long n = strtol(p, &pEnd, 10);
        if (pEnd == p) {
            ++p;
            continue;
        }
        p = pEnd;
        int i = (int)n - 1;
        if (i >= 0 && i < SIM_MAX_SERVERS && pWorld->servers[i].bPresent && !abListed[i]) {
            abListed[i] = 1;
            pWorld->anListed[pWorld->nListed++] = i;
        }
    }
    for (int i = 0; i < SIM_MAX_SERVERS; ++i)
        if (pWorld->servers[i].bPresent && !abListed[i])
            pWorld->anListed[pWorld->nListed++] = i;
}

void LoadSimWorld()
{
    char szFile[MAX_PATH];
    SimWorld w = {};
    if (!SimScenarioPath(szFile, sizeof(szFile)))
        szFile[0] = '\0';
    const char* pszFile = szFile;

    w.nOpenResult = ReadInt(SECTION_LIBRARY, "open_result", DEFAULT_OPEN_RESULT, pszFile);
    w.nCloseLingerMs = ReadInt(SECTION_LIBRARY, "close_linger_ms", 0, pszFile);
    if (w.nCloseLingerMs < 0 || w.nCloseLingerMs > MAX_CLOSE_LINGER_MS)
        w.nCloseLingerMs = 0;
    ReadText(SECTION_LIBRARY, "computer_name", "", w.szComputerName, sizeof(w.szComputerName), pszFile);
    for (int i = 0; i < SIM_MAX_SERVERS; ++i)
        ReadSimServer(i, pszFile, &w.servers[i]);
    ReadListOrder(pszFile, &w);
    g_simWorld = w;

    // This process's own name wins over the world's, which every computer sharing the
    // file reads alike; an overlong one is ignored rather than cut into another name.
    char szOwnName[SIM_COMPUTER_NAME_SIZE];
    DWORD nOwn = GetEnvironmentVariableA(SIM_COMPUTER_NAME_ENV, szOwnName, sizeof(szOwnName));
    if (nOwn == 0 || nOwn >= sizeof(szOwnName))
        szOwnName[0] = '\0';
    // Only rewrite the exported name when it changes: the agent may be reading it.
    const char* pszName = szOwnName[0] ? szOwnName : w.szComputerName[0] ? w.szComputerName : g_szSimHostName;
    if (strcmp(g_szSimComputerName, pszName) != 0)
        lstrcpynA(g_szSimComputerName, pszName, sizeof(g_szSimComputerName));

    for (int i = 0; i < SIM_MAX_SERVERS; ++i) {
        g_simAddresses[i].nFamily = SIM_AF_INET;
        g_simAddresses[i].nPort = 0;
        memcpy(g_simAddresses[i].abAddr, w.servers[i].abAddress, sizeof(g_simAddresses[i].abAddr));
    }
}

int SaveSimDeviceState(int nServer)
{
    char szFile[MAX_PATH];
    if (!SimScenarioPath(szFile, sizeof(szFile)))
        return 0;
    char szSection[SECTION_NAME_SIZE];
    ServerSection(nServer, szSection, sizeof(szSection));
    const SimServer* pServer = &g_simWorld.servers[nServer];
    char szStatus[NUMBER_TEXT_SIZE];
    snprintf(szStatus, sizeof(szStatus), "%d", pServer->nStatus);
    if (!WritePrivateProfileStringA(szSection, "status", szStatus, szFile))
        return 0;
    if (!WritePrivateProfileStringA(szSection, "holder", pServer->szHolder, szFile))
        return 0;
    // Flush now: the file time taken next must be that of this write.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, szFile);
    return 1;
}

SimFileStamp GetSimScenarioStamp()
{
    SimFileStamp stamp = {};
    char szFile[MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (SimScenarioPath(szFile, sizeof(szFile)) && GetFileAttributesExA(szFile, GetFileExInfoStandard, &data)) {
        stamp.ftWrite = data.ftLastWriteTime;
        stamp.dwSizeHigh = data.nFileSizeHigh;
        stamp.dwSizeLow = data.nFileSizeLow;
        stamp.bExists = 1;
    }
    return stamp;
}

int SameSimStamp(const SimFileStamp& a, const SimFileStamp& b)
{
    return a.bExists == b.bExists && CompareFileTime(&a.ftWrite, &b.ftWrite) == 0 &&
           a.dwSizeHigh == b.dwSizeHigh && a.dwSizeLow == b.dwSizeLow;
}

unsigned int SimServerId(int nServer)
{
    return ServerIdOfAddress(g_simAddresses[nServer].abAddr);
}

int FindSimServer(unsigned int dwServerId)
{
    for (int i = 0; i < g_simWorld.nListed; ++i)
        if (SimServerId(g_simWorld.anListed[i]) == dwServerId)
            return g_simWorld.anListed[i];
    return -1;
}
