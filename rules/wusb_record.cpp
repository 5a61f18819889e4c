// Reading the library's server record safely.
#include "wusb_record.h"
#include "text_rules.h"
#include <cstdio>
#include <cstring>

int GetServerId(const _WUSB_SERVER* pServer, unsigned int* pdwServerId)
{
    if (!pServer->pAddress)
        return 0;
    memcpy(pdwServerId, pServer->pAddress->abAddr, sizeof(*pdwServerId));
    return 1;
}

void CopyRecordText(const char* pszField, size_t cbField, char* pszDst, size_t cbDst)
{
    if (cbDst == 0)
        return;
    size_t n = strnlen(pszField, cbField);
    if (n > cbDst - 1)
        n = cbDst - 1;
    memcpy(pszDst, pszField, n);
    pszDst[n] = '\0';
}

int FormatServerAddress(const _WUSB_SERVER* pServer, char* pszAddress, size_t cbAddress)
{
    if (cbAddress == 0)
        return 0;
    pszAddress[0] = '\0';
    if (!pServer->pAddress)
        return 0;
    const unsigned char* pAddr = pServer->pAddress->abAddr;
    snprintf(pszAddress, cbAddress, "%u.%u.%u.%u", pAddr[0], pAddr[1], pAddr[2], pAddr[3]);
    return 1;
}

int ParseServerAddress(const char* pszText, unsigned char abAddr[4])
{
    unsigned char abParsed[4];
    const char* p = SkipBlanks(pszText);
    for (int i = 0; i < 4; ++i) {
        int nValue = 0, nDigits = 0;
        for (; *p >= '0' && *p <= '9'; ++p) {
            if (++nDigits > 3)
                return 0;
            nValue = nValue * 10 + (*p - '0');
        }
        if (nDigits == 0 || nValue > 255)
            return 0;
        abParsed[i] = (unsigned char)nValue;
        if (i < 3 && *p++ != '.')
            return 0;
    }
    if (*SkipBlanks(p) != '\0')
        return 0;
    memcpy(abAddr, abParsed, sizeof(abParsed));
    return 1;
}

unsigned int ServerIdOfAddress(const unsigned char abAddr[4])
{
    unsigned int dwId = 0;
    memcpy(&dwId, abAddr, sizeof(dwId));
    return dwId;
}

int IsHeldBy(const _WUSB_SERVER* pServer, const char* pszComputer)
{
    char szHolder[WUSB_HOSTNAME_SIZE + 1];
    CopyRecordText(pServer->szHostName, sizeof(pServer->szHostName), szHolder, sizeof(szHolder));
    return pServer->nStatus == WUSB_STATUS_IN_USE && lstrcmpiA(szHolder, pszComputer) == 0;
}

int FormatServerUrl(const _WUSB_SERVER* pServer, char* pszUrl, size_t cbUrl)
{
    char szAddress[WUSB_ADDRESS_TEXT_SIZE];
    if (cbUrl == 0)
        return 0;
    pszUrl[0] = '\0';
    if (!FormatServerAddress(pServer, szAddress, sizeof(szAddress)))
        return 0;
    snprintf(pszUrl, cbUrl, "http://%s", szAddress);
    return 1;
}
