// The [Share] texts of the language file.
#include "share_text.h"
#include "product.h"
#include <cstddef>
#include <cstring>

ShareText g_shareText;

#define SHARE_FIELD(field, def) \
    { SHARE_TEXT_SECTION, #field, offsetof(ShareText, field), sizeof(ShareText::field), def }

static const LangField s_shareFields[] = {
    SHARE_FIELD(away_title, PRODUCT_NAME " will be released"),
    SHARE_FIELD(away_text, "Nobody has used this computer for a while, so the device will soon be left to "
                           "the other computers. Move the mouse or press a key to keep it."),
    SHARE_FIELD(back_title, "Welcome back"),
    SHARE_FIELD(back_connected, PRODUCT_NAME " is connected again."),
    SHARE_FIELD(back_in_use, PRODUCT_NAME " is now in use by %1. It connects here again when %1 releases it."),
    SHARE_FIELD(free_title, PRODUCT_NAME " is free"),
    SHARE_FIELD(free_text, "%1 has released the device. Click here to connect it to this computer."),
    SHARE_FIELD(connected_title, PRODUCT_NAME " connected"),
    SHARE_FIELD(connected_text, "The device is now connected to this computer; %1 had it before."),
};

const LangField* GetShareTextFields(int* pnCount)
{
    *pnCount = (int)(sizeof(s_shareFields) / sizeof(s_shareFields[0]));
    return s_shareFields;
}

void LoadShareTexts(const char* pszLangFile)
{
    for (const LangField& field : s_shareFields) {
        char* pszOut = (char*)&g_shareText + field.nOffset;
        if (pszLangFile)
            GetPrivateProfileStringA(field.pszSection, field.pszKey, field.pszDefault, pszOut, (DWORD)field.nSize,
                                     pszLangFile);
        else
            lstrcpynA(pszOut, field.pszDefault, (int)field.nSize);
        pszOut[field.nSize - 1] = '\0';
    }
}

int FormatNoticeText(const char* pszText, const char* pszName, char* pszOut, size_t cbOut)
{
    if (cbOut == 0)
        return 1;
    size_t nOut = 0;
    size_t cbName = pszName ? strlen(pszName) : 0;
    for (const char* p = pszText ? pszText : ""; *p && nOut + 1 < cbOut; ++p) {
        if (p[0] == '%' && p[1] == '1') {
            size_t nCopy = cbName < cbOut - 1 - nOut ? cbName : cbOut - 1 - nOut;
            memcpy(pszOut + nOut, pszName, nCopy);
            nOut += nCopy;
            ++p;
            continue;
        }
        pszOut[nOut++] = *p;
    }
    pszOut[nOut] = '\0';
    return 1;
}
