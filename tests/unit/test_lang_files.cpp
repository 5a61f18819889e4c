// The shipped Setting.ini and language files, as the build lays them out in the program folder.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "res/resource.h"
#include <string>
#include <vector>

namespace {

std::string SettingIni() { return DistDir() + "\\Setting.ini"; }

std::vector<std::string> ShippedCodes()
{
    std::vector<std::string> codes;
    int nCount = (int)GetPrivateProfileIntA("lang", "num", 0, SettingIni().c_str());
    for (int i = 0; i < nCount && i < MAX_LANGUAGES; ++i) {
        char szKey[16], szCode[LANG_CODE_SIZE] = {};
        snprintf(szKey, sizeof(szKey), "lang%d", i);
        GetPrivateProfileStringA("lang", szKey, "", szCode, sizeof(szCode), SettingIni().c_str());
        codes.push_back(szCode);
    }
    return codes;
}

std::string LangFile(const std::string& code) { return DistDir() + "\\lang\\" PRODUCT_LANG_FILE_PREFIX + code + ".ini"; }

// A key's whole text ("" when missing), read far past any field's size.
std::string ReadKey(const std::string& file, const char* pszSection, const char* pszKey)
{
    char szValue[2048] = {};
    GetPrivateProfileStringA(pszSection, pszKey, "", szValue, sizeof(szValue), file.c_str());
    return szValue;
}

struct Key { const char* pszSection; const char* pszKey; size_t nSize; };
// Every key a shipped file must hold: the agent's text table, and the six language names.
std::vector<Key> Keys()
{
    int nCount = 0;
    const LangField* pFields = GetLangFields(&nCount);
    std::vector<Key> keys;
    for (int i = 0; i < nCount; ++i)
        keys.push_back({pFields[i].pszSection, pFields[i].pszKey, pFields[i].nSize});
    for (const char* pszName : {"L1", "L2", "L3", "L4", "L5", "L6"})
        keys.push_back({"Languages", pszName, LANG_NAME_SIZE});
    return keys;
}

// Each language as it names itself, in Windows-1252.
struct Endonym { const char* pszCode; const char* pszName; };
const Endonym kEndonyms[] = {
    {"de", "Deutsch"}, {"en", "English"}, {"fr", "Fran\xE7" "ais"},
    {"es", "Espa\xF1" "ol"}, {"it", "Italiano"}, {"nl", "Nederlands"},
};

}  // namespace

TEST(LangFiles, SettingListsEveryShippedLanguageInOrder)
{
    std::vector<std::string> expected;
    for (const Endonym& e : kEndonyms)
        expected.push_back(e.pszCode);
    EXPECT_EQ(ShippedCodes(), expected);
    EXPECT_EQ(GetPrivateProfileIntA("device", "idnum", -1, SettingIni().c_str()), 1u);
    EXPECT_EQ(ReadKey(SettingIni(), "device", "id0"), "VID_3A7C&PID_0105");
    EXPECT_EQ(GetPrivateProfileIntA("system", "bitrate", -1, SettingIni().c_str()), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("system", "transfersize", -1, SettingIni().c_str()), 1024u);
}

TEST(LangFiles, EveryKeyPresentAndWithinItsBuffer)
{
    for (const std::string& code : ShippedCodes()) {
        for (const Key& key : Keys()) {
            std::string text = ReadKey(LangFile(code), key.pszSection, key.pszKey);
            EXPECT_FALSE(text.empty()) << code << " " << key.pszKey;
            EXPECT_LE(text.size(), key.nSize - 1) << code << " " << key.pszKey << ": " << text;
        }
        EXPECT_EQ(ReadKey(LangFile(code), "Title", "t1"), PRODUCT_NAME) << code;
    }
}

TEST(LangFiles, NamesFollowTheListAndEachFileNamesItsOwnLanguage)
{
    for (size_t i = 0; i < sizeof(kEndonyms) / sizeof(kEndonyms[0]); ++i) {
        std::string key = "L" + std::to_string(i + 1);
        EXPECT_EQ(ReadKey(LangFile(kEndonyms[i].pszCode), "Languages", key.c_str()), kEndonyms[i].pszName);
    }
}

TEST(LangFiles, BytesAreWindows1252WithCrlf)
{
    for (const std::string& code : ShippedCodes()) {
        SCOPED_TRACE(code);
        std::string bytes = ReadFileText(LangFile(code));
        ASSERT_FALSE(bytes.empty());
        // Offsets of offending bytes, by kind; each list must stay empty.
        std::vector<size_t> undefined, utf8, bareLf, control;
        for (size_t i = 0; i < bytes.size(); ++i) {
            unsigned char c = (unsigned char)bytes[i];
            unsigned char next = i + 1 < bytes.size() ? (unsigned char)bytes[i + 1] : 0;
            if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D)
                undefined.push_back(i);
            if (c >= 0xC2 && c <= 0xF4 && next >= 0x80 && next <= 0xBF)
                utf8.push_back(i);
            if (c == '\n' && (i == 0 || bytes[i - 1] != '\r'))
                bareLf.push_back(i);
            if (c < 0x20 && c != '\r' && c != '\n')
                control.push_back(i);
        }
        EXPECT_EQ(undefined, std::vector<size_t>{});
        EXPECT_EQ(utf8, std::vector<size_t>{});
        EXPECT_EQ(bareLf, std::vector<size_t>{});
        EXPECT_EQ(control, std::vector<size_t>{});
    }
}

TEST(LangFiles, AgentLoadsTheShippedFiles)
{
    RegistrySandbox registry;
    ResetAgentState();
    UseProgramDir(DistDir());
    RegWriteString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, "fr");
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(g_nLangCount, 6);
    EXPECT_EQ(g_nCurLang, 2);
    EXPECT_STREQ(g_ppLangNames[2], "Fran\xE7" "ais");
    EXPECT_STREQ(g_ppLangNames[0], "Allemand");
    EXPECT_STREQ(g_text.t1, PRODUCT_NAME);
    EXPECT_STREQ(g_text.M3, "Quitter");
    ResetAgentState();
}

// Every dialog text of every shipped language fits its control, measured with the dialog's
// own font the way a left-aligned static draws it (word-wrapped, '&' as a prefix), at the
// DPI this process runs at.
static INT_PTR CALLBACK PlainDlgProc(HWND, UINT uMsg, WPARAM, LPARAM) { return uMsg == WM_INITDIALOG; }

TEST(LangFiles, EveryDialogTextFitsItsControl)
{
    EXPECT_EQ(ScreenDpi(), RequestedDpi());
    const struct { int nDialog; int nControl; const char* pszKey; } kTexts[] = {
        {IDD_ABOUT, IDC_APP_LABEL, "msg4"},
        {IDD_ABOUT, IDC_DRV_LABEL, "msg5"},
        {IDD_ABOUT, IDC_FW_LABEL, "msg6"},
        {IDD_ALREADY_RUNNING, IDC_RUNNING_TEXT, "msg1"},
    };
    for (const auto& t : kTexts) {
        HWND hDlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(t.nDialog), nullptr,
                                       PlainDlgProc, 0);
        ASSERT_NE(hDlg, nullptr);
        HWND hCtl = GetDlgItem(hDlg, t.nControl);
        RECT rcClient;
        GetClientRect(hCtl, &rcClient);
        HDC hdc = GetDC(hCtl);
        HGDIOBJ hOld = SelectObject(hdc, (HFONT)SendMessageA(hCtl, WM_GETFONT, 0, 0));
        for (const std::string& code : ShippedCodes()) {
            std::string text = ReadKey(LangFile(code), "Message", t.pszKey);
            // A word wider than the control pushes the right edge out; extra lines push the bottom.
            RECT rcText = {0, 0, rcClient.right, 0};
            DrawTextA(hdc, text.c_str(), -1, &rcText, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
            EXPECT_LE(rcText.right, rcClient.right) << code << " " << t.pszKey << ": " << text;
            EXPECT_LE(rcText.bottom, rcClient.bottom) << code << " " << t.pszKey << ": " << text;
        }
        SelectObject(hdc, hOld);
        ReleaseDC(hCtl, hdc);
        DestroyWindow(hDlg);
    }
}

// The dialogs' fonts are given in points, so the dialogs scale with the DPI: the texts must
// fit at 125, 150 and 200 % too, each measured in a process started at that DPI.
TEST(LangFiles, EveryDialogTextFitsAtEveryScale)
{
    for (UINT nDpi : {120u, 144u, 192u})
        EXPECT_TRUE(RunTestsAtDpi(nDpi, "LangFiles.EveryDialogTextFitsItsControl")) << nDpi << " dpi";
}
