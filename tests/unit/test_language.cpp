// The language step: lists from Setting.ini, texts from the language file, and the switch.
#include <gtest/gtest.h>
#include "support/unit_fixture.h"
#include "res/resource.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "ui/tray_icon.h"
#include "ui/tray_menu.h"
#include <malloc.h>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kEnFile[] =
    "[Languages]\r\nL1=German\r\nL2=English\r\n"
    "[Title]\r\nt1=Title EN\r\nt2=Nothing\r\nt3=Free\r\nt4=Used by\r\nt5=Attached\r\nt6=Weak\r\n"
    "[Message]\r\nmsg1=Running\r\nmsg2=Broken\r\nmsg3=Spare\r\nmsg4=App\r\nmsg5=Drv\r\nmsg6=Fw\r\n"
    "[Tip]\r\ntip1=Hello\r\ntip2=T2\r\ntip3=T3\r\ntip4=T4\r\n"
    "[Menu]\r\nM1=Go\r\nM2=Stop\r\nM3=Quit\r\nM4=Info\r\nM5=Lang\r\nM6=Autostart\r\nM7=Setup\r\nM8=More\r\n";

// Every field of the text table: where it lies in g_text, and its built-in text.
struct FieldDefault { const char* pszName; const char* pszText; const char* pszDefault; };
std::vector<FieldDefault> Defaults()
{
    int nCount = 0;
    const LangField* pFields = GetLangFields(&nCount);
    std::vector<FieldDefault> fields;
    for (int i = 0; i < nCount; ++i)
        fields.push_back({pFields[i].pszKey, (const char*)&g_text + pFields[i].nOffset, pFields[i].pszDefault});
    return fields;
}

// The built-in text of a field, what it holds when no file supplies it.
std::string BuiltIn(const char* pszKey)
{
    for (const FieldDefault& field : Defaults())
        if (strcmp(field.pszName, pszKey) == 0)
            return field.pszDefault;
    return "(no such field)";
}

void StoreRegistryLang(const std::string& code) { RegWriteString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, code); }

std::string RegistryLang()
{
    std::string value;
    RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &value);
    return value;
}

std::vector<std::string> List(char** ppList)
{
    std::vector<std::string> items;
    for (int i = 0; ppList && i < g_nLangCount; ++i)
        items.push_back(ppList[i]);
    return items;
}

// Busy blocks of the C runtime's heap, where the lists live.
int HeapBlocks()
{
    HANDLE hHeap = (HANDLE)_get_heap_handle();
    PROCESS_HEAP_ENTRY entry = {};
    int n = 0;
    HeapLock(hHeap);
    while (HeapWalk(hHeap, &entry))
        n += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    HeapUnlock(hHeap);
    return n;
}

class Language : public ProgramDirTest {
protected:
    void WriteSettings(const std::string& langSection) const
    {
        m_dir.Write("Setting.ini", "[lang]\r\n" + langSection + "[system]\r\nbitrate=0\r\n");
    }
    void WriteLangFile(const std::string& code, const std::string& text) const
    {
        m_dir.Write("lang\\" PRODUCT_LANG_FILE_PREFIX + code + ".ini", text);
    }
};

}  // namespace

TEST_F(Language, RegistryCodeSelectsEntryAndFile)
{
    WriteSettings("num=2\r\nlang0=de\r\nlang1=en\r\n");
    WriteLangFile("en", kEnFile);
    StoreRegistryLang("en");
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(g_nLangCount, 2);
    EXPECT_EQ(g_nCurLang, 1);
    EXPECT_EQ(List(g_ppLangCodes), (std::vector<std::string>{"de", "en"}));
    EXPECT_EQ(List(g_ppLangNames), (std::vector<std::string>{"German", "English"}));
    const char* apszExpected[] = {"Title EN", "Nothing", "Free", "Used by", "Attached", "Weak",
                                  "Running", "Broken", "Spare", "App", "Drv", "Fw",
                                  "Hello", "T2", "T3", "T4",
                                  "Go", "Stop", "Quit", "Info", "Lang", "Autostart", "Setup", "More"};
    std::vector<FieldDefault> fields = Defaults();
    for (size_t i = 0; i < fields.size(); ++i)
        EXPECT_STREQ(fields[i].pszText, apszExpected[i]) << fields[i].pszName;
}

TEST_F(Language, CodeNotListedKeepsIndexAndReadsItsFile)
{
    WriteSettings("num=2\r\nlang0=de\r\nlang1=en\r\n");
    StoreRegistryLang("fr");
    g_nCurLang = 1;   // from an earlier load
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(g_nCurLang, 1);
    EXPECT_EQ(List(g_ppLangNames), (std::vector<std::string>{"", ""}));
    for (const FieldDefault& field : Defaults())   // no language file for fr yet
        EXPECT_STREQ(field.pszText, field.pszDefault) << field.pszName;

    WriteLangFile("fr", "[Languages]\r\nL1=Allemand\r\n[Title]\r\nt1=Titre\r\n");
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(List(g_ppLangNames), (std::vector<std::string>{"Allemand", ""}));
    EXPECT_STREQ(g_text.t1, "Titre");
    EXPECT_EQ(g_text.t4, BuiltIn("t4"));   // missing key: its default
    EXPECT_EQ(g_text.M1, BuiltIn("M1"));
}

TEST_F(Language, ListShapes)
{
    struct Row { const char* pszSection; const char* pszReg; int nCur; std::vector<std::string> codes; };
    const Row rows[] = {
        {"num=3\r\nlang0=de\r\nlang1=en\r\nlang2=de\r\n", "de", 2, {"de", "en", "de"}},  // last match wins
        {"num=4\r\nlang0=de\r\nlang1=en\r\n", "en", 1, {"de", "en", "", ""}},            // missing keys
        {"num=2\r\nlang0=DE\r\nlang1=de\r\n", "de", 1, {"DE", "de"}},                   // case counts
        {"num=1\r\nlang0=abcdefghijklmnop\r\n", "abcdefghi", 0, {"abcdefghi"}},         // cut to 9
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszSection);
        WriteSettings(row.pszSection);
        StoreRegistryLang(row.pszReg);
        g_nCurLang = 0;
        EXPECT_EQ(LoadSettings(), 1);
        EXPECT_EQ(g_nCurLang, row.nCur);
        EXPECT_EQ(List(g_ppLangCodes), row.codes);
    }
}

TEST_F(Language, NoLanguagesLeaveTextsAlone)
{
    struct Row { const char* pszSection; int nCount; };
    const Row rows[] = {{nullptr, 0}, {"", 0}, {"num=0\r\n", 0}, {"num=-5\r\nlang0=de\r\n", 0}, {"num=abc\r\n", 0}};
    WriteLangFile("de", kEnFile);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszSection ? row.pszSection : "no Setting.ini");
        if (row.pszSection)
            WriteSettings(row.pszSection);
        lstrcpynA(g_text.t1, "kept", sizeof(g_text.t1));
        EXPECT_EQ(LoadSettings(), 0);
        EXPECT_EQ(g_nLangCount, row.nCount);
        EXPECT_EQ(g_ppLangCodes, nullptr);
        EXPECT_EQ(g_ppLangNames, nullptr);
        EXPECT_STREQ(g_text.t1, "kept");
        EXPECT_STREQ(g_text.M1, "");
    }
}

TEST_F(Language, HugeCountIsCapped)
{
    struct Row { const char* pszNum; int nCount; };
    const Row rows[] = {{"2147483647", MAX_LANGUAGES}, {"101", MAX_LANGUAGES}, {"100", 100}, {"99", 99}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszNum);
        WriteSettings(std::string("num=") + row.pszNum + "\r\nlang0=de\r\nlang1=en\r\n");
        EXPECT_EQ(LoadSettings(), 1);
        ASSERT_EQ(g_nLangCount, row.nCount);
        EXPECT_STREQ(g_ppLangCodes[1], "en");
        EXPECT_STREQ(g_ppLangCodes[row.nCount - 1], "");
        EXPECT_EQ(g_text.t1, BuiltIn("t1"));
    }
}

TEST_F(Language, MissingSectionsAndOverlongTexts)
{
    WriteSettings("num=1\r\nlang0=de\r\n");
    std::string longText(600, 'x');
    WriteLangFile("de", "[Languages]\r\nL1=" + longText + "\r\n[Title]\r\nt2=" + longText +
                            "\r\n[Menu]\r\nM1=" + longText + "\r\n");
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(std::string(g_ppLangNames[0]), std::string(LANG_NAME_SIZE - 1, 'x'));
    EXPECT_EQ(g_text.t1, BuiltIn("t1"));
    EXPECT_EQ(std::string(g_text.t2), std::string(sizeof(g_text.t2) - 1, 'x'));
    EXPECT_EQ(g_text.t4, BuiltIn("t4"));
    EXPECT_EQ(std::string(g_text.M1), std::string(sizeof(g_text.M1) - 1, 'x'));
    EXPECT_STREQ(g_text.msg1, "");   // no [Message], no [Tip]: empty
    EXPECT_STREQ(g_text.tip1, "");

    WriteLangFile("de", "[Message]\r\nmsg1=" + longText + "\r\nmsg4=" + longText + "\r\n[Tip]\r\ntip4=" +
                            longText + "\r\n");
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(std::string(g_text.msg1), std::string(sizeof(g_text.msg1) - 1, 'x'));
    EXPECT_EQ(std::string(g_text.msg4), std::string(sizeof(g_text.msg4) - 1, 'x'));
    EXPECT_EQ(std::string(g_text.tip4), std::string(sizeof(g_text.tip4) - 1, 'x'));
    EXPECT_STREQ(g_text.msg5, "");
}

TEST_F(Language, PathThatWouldNotFitCountsAsMissingFile)
{
    WriteSettings("num=1\r\nlang0=de\r\n");
    // The language file's path: PRODUCT_LANG_FILE_EXTRA characters besides the folder and the code.
    size_t nFits = APP_PATH_SIZE - 1 - PRODUCT_LANG_FILE_EXTRA - m_dir.Path().size();
    for (size_t nLen : {nFits, nFits + 1, (size_t)APP_PATH_SIZE + 100}) {
        SCOPED_TRACE(nLen);
        std::string code(nLen, 'c');
        if (nLen == nFits)
            WriteLangFile(code, "[Title]\r\nt1=Longest path\r\n");
        EXPECT_EQ(LoadLanguage(code.c_str()), 1);
        EXPECT_EQ(g_text.t1, nLen == nFits ? "Longest path" : BuiltIn("t1"));
    }
    // A registry value filling the code buffer without a terminator is cut, not overrun.
    std::string full(APP_PATH_SIZE, 'c');
    RegWriteValue(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, REG_BINARY, full.data(), (DWORD)full.size());
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(g_text.t1, BuiltIn("t1"));
    EXPECT_EQ(g_nCurLang, 0);
}

TEST_F(Language, FreeTwiceAndIndexPastShorterList)
{
    WriteSettings("num=3\r\nlang0=de\r\nlang1=en\r\nlang2=fr\r\n");
    StoreRegistryLang("fr");
    LoadSettings();
    EXPECT_EQ(g_nCurLang, 2);
    WriteSettings("num=1\r\nlang0=de\r\n");
    StoreRegistryLang("it");
    LoadSettings();
    EXPECT_EQ(g_nCurLang, 0);   // 2 would point past the one entry
    FreeLangLists();
    FreeLangLists();
    EXPECT_EQ(g_ppLangCodes, nullptr);
    EXPECT_EQ(g_ppLangNames, nullptr);
    EXPECT_EQ(g_nLangCount, 0);
}

TEST_F(Language, SwitchStoresCodeReloadsAndRetitles)
{
    WriteSettings("num=4\r\nlang0=de\r\nlang1=en\r\n");
    WriteLangFile("en", kEnFile);
    WriteLangFile("", "[Title]\r\nt1=Empty code\r\n");
    StoreRegistryLang("de");
    LoadSettings();
    HWND hWnd = CreateTestMainWindow();
    ASSERT_NE(hWnd, nullptr);
    AddTrayIcon(hWnd);
    HICON hIconBefore = g_nid.hIcon;

    struct Row { int nStatus; UINT nCommand; const char* pszCode; int nCur; std::string tip; };
    const Row rows[] = {
        {STATUS_OCCUPIED, IDM_LANGUAGE_FIRST + 1, "en", 1, "Title EN - Used by"},
        {STATUS_NO_DEVICE, IDM_LANGUAGE_FIRST + 0, "de", 0, BuiltIn("t1") + " - " + BuiltIn("t2")},
        {STATUS_DISCONNECTED, IDM_LANGUAGE_FIRST + 1, "en", 1, "Title EN - Free"},
        {STATUS_CONNECTED, IDM_LANGUAGE_FIRST + 3, "", 3, "Empty code - Connected"},
        {STATUS_NONE, IDM_LANGUAGE_FIRST + 1, "en", 1, "unchanged"},
        {6, IDM_LANGUAGE_FIRST + 0, "de", 0, "unchanged"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tip);
        g_nStatus = row.nStatus;
        lstrcpynA(g_nid.szTip, "unchanged", sizeof(g_nid.szTip));
        TraceCapture capture;
        SwitchLanguage(hWnd, row.nCommand);
        EXPECT_EQ(RegistryLang(), row.pszCode);
        EXPECT_EQ(g_nCurLang, row.nCur);
        EXPECT_EQ(g_nLangCount, 4);
        EXPECT_EQ(g_nid.szTip, row.tip);
        EXPECT_EQ(g_nid.hIcon, hIconBefore);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{"win value = 1"});
    }
    RemoveTrayIcon();
    DestroyWindow(hWnd);
}

TEST_F(Language, SwitchIgnoresCommandsOutsideTheList)
{
    WriteSettings("num=2\r\nlang0=de\r\nlang1=en\r\n");
    StoreRegistryLang("de");
    LoadSettings();
    char** ppCodesBefore = g_ppLangCodes;
    const UINT anCommands[] = {0, IDM_LANGUAGE_FIRST - 1, IDM_LANGUAGE_FIRST + 2, 0xFFFFFFFFu};
    for (UINT nCommand : anCommands) {
        TraceCapture capture;
        SwitchLanguage(nullptr, nCommand);
        EXPECT_EQ(RegistryLang(), "de") << nCommand;
        EXPECT_EQ(g_ppLangCodes, ppCodesBefore) << nCommand;
        EXPECT_TRUE(capture.Lines().empty()) << nCommand;
    }
    FreeLangLists();
    SwitchLanguage(nullptr, IDM_LANGUAGE_FIRST);   // no languages: ignored
    EXPECT_EQ(RegistryLang(), "de");
}

TEST_F(Language, ManySwitchesHoldOnlyTheLastLists)
{
    WriteSettings("num=100\r\nlang0=de\r\nlang1=en\r\n");
    StoreRegistryLang("de");
    LoadSettings();
    SwitchLanguage(nullptr, IDM_LANGUAGE_FIRST + 1);
    int nBlocksAfterOne = HeapBlocks();
    for (int i = 0; i < 40; ++i)
        SwitchLanguage(nullptr, IDM_LANGUAGE_FIRST + (i % 2));
    EXPECT_EQ(g_nLangCount, 100);
    EXPECT_EQ(g_nCurLang, 1);
    EXPECT_EQ(RegistryLang(), "en");
    // Each load holds 202 blocks; a leak of even one load stands out of the runtime's churn.
    EXPECT_LT(HeapBlocks() - nBlocksAfterOne, 50);
}
