// The policy reader (types, lengths, ranges, computer over user) and each setting's
// sources in their order: policy, Setting.ini, the user's registry, built in.
#include <gtest/gtest.h>
#include "support/unit_fixture.h"
#include "settings/policy.h"
#include "rules/reg_key.h"
#include "settings/settings.h"
#include "settings/share_settings.h"
#include "agent/connection.h"
#include "agent/device_filter.h"
#include "agent/server_choice.h"
#include "settings/language.h"
#include <functional>
#include <string>
#include <vector>

namespace {

const HKEY HKLM = HKEY_LOCAL_MACHINE;
const HKEY HKCU = HKEY_CURRENT_USER;


class Policy : public ProgramDirTest {
protected:
    PolicySandbox m_policies;
};

}  // namespace

TEST_F(Policy, ReaderTakesSoundValuesComputerFirstAndNotesTheRest)
{
    const std::string longText(PRODUCT_POLICY_TEXT_MAX + 1, 'A');
    const std::string longType = "VID_3A7C&PID_0105;" + std::string(DEVICE_TYPE_SIZE, 'B');
    const struct {
        const char* pszCase;
        std::vector<PolicyValue> values;
        const char* pszName;
        int bInForce;
        std::string value;            // number or text in force
        SettingSource source;
        std::string ignored;
    } cases[] = {
        {"none", {}, PRODUCT_POLICY_BITRATE_VALUE, 0, "", SOURCE_BUILT_IN, ""},
        {"computer over user", {PolicyNumber(HKLM, "bitrate", 5000), PolicyNumber(HKCU, "bitrate", 7)}, "bitrate", 1, "5000",
         SOURCE_COMPUTER_POLICY, ""},
        {"user alone", {PolicyNumber(HKCU, "bitrate", 7)}, "bitrate", 1, "7", SOURCE_USER_POLICY, ""},
        {"lowest and highest", {PolicyNumber(HKLM, "bitrate", 0)}, "bitrate", 1, "0", SOURCE_COMPUTER_POLICY, ""},
        {"highest", {PolicyNumber(HKLM, "bitrate", PRODUCT_POLICY_BITRATE_MAX)}, "bitrate", 1, "1000000000",
         SOURCE_COMPUTER_POLICY, ""},
        {"text for a number", {PolicyText(HKLM, "bitrate", "5000"), PolicyNumber(HKCU, "bitrate", 7)}, "bitrate", 1, "7",
         SOURCE_USER_POLICY, "bitrate=(type 1) in computer policy"},
        {"above range", {PolicyNumber(HKLM, "bitrate", PRODUCT_POLICY_BITRATE_MAX + 1u)}, "bitrate", 0, "",
         SOURCE_BUILT_IN, "bitrate=1000000001 in computer policy"},
        {"negative", {PolicyNumber(HKCU, "release_after", 0xFFFFFFFF)}, "release_after", 0, "", SOURCE_BUILT_IN,
         "release_after=4294967295 in user policy"},
        {"binary", {{HKLM, "startwin", REG_BINARY, 0, "\x01\x02\x03\x04\x05\x06\x07"}}, "startwin", 0, "",
         SOURCE_BUILT_IN, "startwin=(type 3) in computer policy"},
        {"switch of 2", {PolicyNumber(HKLM, "notices", 2), PolicyNumber(HKCU, "notices", 1)}, "notices", 1, "1",
         SOURCE_USER_POLICY, "notices=2 in computer policy"},
        {"address", {PolicyText(HKLM, "server", "192.168.1.20")}, "server", 1, "192.168.1.20", SOURCE_COMPUTER_POLICY,
         ""},
        {"no address", {PolicyText(HKLM, "server", "192.168.1"), PolicyText(HKCU, "server", "10.0.0.1")}, "server", 1,
         "10.0.0.1", SOURCE_USER_POLICY, "server=192.168.1 in computer policy"},
        {"number for a text", {PolicyNumber(HKLM, "server", 5)}, "server", 0, "", SOURCE_BUILT_IN,
         "server=(type 4) in computer policy"},
        {"too long", {PolicyText(HKLM, "devices", longText.c_str())}, "devices", 0, "", SOURCE_BUILT_IN,
         "devices=(1025 bytes) in computer policy"},
        {"device list", {PolicyText(HKLM, "devices", ";VID_3A7C&PID_0105;;VID_1&PID_2;")}, "devices", 1,
         ";VID_3A7C&PID_0105;;VID_1&PID_2;", SOURCE_COMPUTER_POLICY, ""},
        {"device type too long", {PolicyText(HKLM, "devices", longType.c_str())}, "devices", 0, "", SOURCE_BUILT_IN,
         "devices=" + longType.substr(0, 47) + " in computer policy"},
        {"no device type", {PolicyText(HKCU, "devices", ";;")}, "devices", 0, "", SOURCE_BUILT_IN,
         "devices=;; in user policy"},
        {"empty", {PolicyText(HKCU, "lang", "")}, "lang", 0, "", SOURCE_BUILT_IN, "lang= in user policy"},
        {"language", {PolicyText(HKCU, "lang", "fr")}, "lang", 1, "fr", SOURCE_USER_POLICY, ""},
        {"language as a path", {PolicyText(HKLM, "lang", "..\\x")}, "lang", 0, "", SOURCE_BUILT_IN,
         "lang=..\\x in computer policy"},
        {"language code too long", {PolicyText(HKLM, "lang", "abcdefghij")}, "lang", 0, "", SOURCE_BUILT_IN,
         "lang=abcdefghij in computer policy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        m_policies.Clear();
        for (const PolicyValue& value : c.values)
            m_policies.Set(value);
        int nRules = 0;
        const PolicyRule* pRules = GetPolicyRules(&nRules);
        const PolicyRule* pRule = nullptr;
        for (int i = 0; i < nRules; ++i)
            if (std::string(pRules[i].pszName) == c.pszName)
                pRule = &pRules[i];
        ASSERT_NE(pRule, nullptr);
        SettingValue value;
        SetBuiltIn(&value, -1);
        std::string got;
        if (pRule->kind == POLICY_NUMBER) {
            EXPECT_EQ(ReadPolicyNumber(c.pszName, &value), c.bInForce);
            got = c.bInForce ? std::to_string(value.nValue) : "";
        } else {
            char szText[POLICY_TEXT_SIZE] = "";
            EXPECT_EQ(ReadPolicyText(c.pszName, szText, sizeof(szText), &value), c.bInForce);
            got = c.bInForce ? szText : "";
        }
        EXPECT_EQ(got, c.value);
        EXPECT_EQ(value.source, c.source);
        EXPECT_EQ(std::string(value.szIgnored), c.ignored);
        char szList[1024];
        EXPECT_EQ(ListIgnoredPolicies(szList, sizeof(szList)), c.ignored.empty() ? 0 : 1) << szList;
    }
}

// Each setting read where the agent reads it: the user policy over Setting.ini and the
// user's own value, the computer policy over both.
TEST_F(Policy, EverySettingTakesPolicyFirstComputerOverUser)
{
    m_dir.Write("Setting.ini",
                "[device]\r\nidnum=1\r\nid0=VID_3A7C&PID_0105\r\n[server]\r\naddress=10.0.0.1\r\n"
                "[system]\r\nbitrate=100\r\n[share]\r\nautoconnect=0\r\nrelease_after=5\r\n");
    RegKey user;
    ASSERT_EQ(user.Create(HKCU, PRODUCT_AGENT_KEY, KEY_ALL_ACCESS), ERROR_SUCCESS);
    user.SetString(PRODUCT_LANG_VALUE, "de");
    user.SetDword(PRODUCT_STARTWIN_VALUE, 1);
    user.Close();

    using Reader = std::function<std::string(SettingValue*)>;
    const struct {
        const char* pszName;
        Reader read;
        std::string base;
        SettingSource baseSource;
        PolicyValue user, computer;
        std::string userValue, computerValue;
    } settings[] = {
        {"device list", [](SettingValue* p) { char sz[POLICY_TEXT_SIZE]; return std::to_string(ReadDeviceList(sz, p)); },
         "1", SOURCE_SETTING_INI, PolicyText(HKCU, "devices", "VID_1&PID_1;VID_2&PID_2"),
         PolicyText(HKLM, "devices", "VID_1&PID_1;VID_2&PID_2;VID_3&PID_3"), "2", "3"},
        {"server",
         [](SettingValue* p) {
             ServerChoice choice;
             ReadServerChoice(g_szSettingIni, &choice);
             p->source = choice.source;
             return std::string(choice.szAddress);
         },
         "10.0.0.1", SOURCE_SETTING_INI, PolicyText(HKCU, "server", "10.0.0.2"), PolicyText(HKLM, "server", "10.0.0.3"),
         "10.0.0.2", "10.0.0.3"},
        {"bitrate", [](SettingValue* p) { return std::to_string(ReadBitRateThreshold(p)); }, "100",
         SOURCE_SETTING_INI, PolicyNumber(HKCU, "bitrate", 200), PolicyNumber(HKLM, "bitrate", 300), "200", "300"},
        {"language",
         [](SettingValue* p) { char sz[APP_PATH_SIZE]; ReadLangSetting(sz, sizeof(sz), p); return std::string(sz); },
         "de", SOURCE_USER, PolicyText(HKCU, "lang", "en"), PolicyText(HKLM, "lang", "fr"), "en", "fr"},
        {"startwin", [](SettingValue* p) { return std::to_string(ReadStartWinSetting(p)); }, "1", SOURCE_USER,
         PolicyNumber(HKCU, "startwin", 0), PolicyNumber(HKLM, "startwin", 1), "0", "1"},
        {"autoconnect",
         [](SettingValue* p) { ShareSettings share; ReadShareSettings(g_szSettingIni, &share); *p = share.autoconnect;
                               return std::to_string(p->nValue); },
         "0", SOURCE_SETTING_INI, PolicyNumber(HKCU, "autoconnect", 1), PolicyNumber(HKLM, "autoconnect", 0), "1", "0"},
        {"release after",
         [](SettingValue* p) { ShareSettings share; ReadShareSettings(g_szSettingIni, &share); *p = share.releaseAfter;
                               return std::to_string(p->nValue); },
         "5", SOURCE_SETTING_INI, PolicyNumber(HKCU, "release_after", 1440), PolicyNumber(HKLM, "release_after", 0), "1440", "0"},
    };
    for (const auto& s : settings) {
        SCOPED_TRACE(s.pszName);
        m_policies.Clear();
        SettingValue value;
        SetBuiltIn(&value, 0);
        EXPECT_EQ(s.read(&value), s.base);
        EXPECT_EQ(value.source, s.baseSource);
        m_policies.Set(s.user);
        EXPECT_EQ(s.read(&value), s.userValue);
        EXPECT_EQ(value.source, SOURCE_USER_POLICY);
        m_policies.Set(s.computer);
        EXPECT_EQ(s.read(&value), s.computerValue);
        EXPECT_EQ(value.source, SOURCE_COMPUTER_POLICY);
    }
    m_policies.Clear();
}

// The policy's list decides for a device that Setting.ini lists and for one it does not.
TEST_F(Policy, DeviceListOfAPolicyDecidesAtEachCall)
{
    m_dir.Write("Setting.ini", "[device]\r\nidnum=1\r\nid0=VID_3A7C&PID_0105\r\n");
    _WUSB_DEVICE listed = {}, other = {};
    listed.wVendorId = 0x3A7C;
    listed.wProductId = 0x0105;
    other.wVendorId = 0x1234;
    other.wProductId = 0x5678;
    EXPECT_EQ(IsSupportedDevice(&listed), 1);
    EXPECT_EQ(IsSupportedDevice(&other), 0);
    m_policies.Set(PolicyText(HKLM, "devices", "VID_0000&PID_0001;vid_1234&pid_5678"));
    EXPECT_EQ(IsSupportedDevice(&listed), 0);
    char szValue[DEVICE_TYPE_SIZE] = "";
    EXPECT_EQ(FindDeviceType(&other, szValue), 1);
    EXPECT_STREQ(szValue, "vid_1234&pid_5678");
    // A broken policy is ignored: Setting.ini's list applies again.
    m_policies.Set(PolicyNumber(HKLM, "devices", 1));
    EXPECT_EQ(IsSupportedDevice(&listed), 1);
}

// Start with Windows and the language a policy fixes: in force at LoadSettings, the Run
// value follows, the user's own values stay for when the policy goes, and the toggle
// changes nothing.
TEST_F(Policy, LoadSettingsTakesFixedChoicesAndKeepsTheUsers)
{
    m_dir.Write("Setting.ini", "[lang]\r\nnum=2\r\nlang0=de\r\nlang1=en\r\n");
    RegKey user;
    ASSERT_EQ(user.Create(HKCU, PRODUCT_AGENT_KEY, KEY_ALL_ACCESS), ERROR_SUCCESS);
    user.SetString(PRODUCT_LANG_VALUE, "de");
    user.SetDword(PRODUCT_STARTWIN_VALUE, 1);
    user.Close();
    m_policies.Set(PolicyNumber(HKLM, "startwin", 0));
    m_policies.Set(PolicyText(HKCU, "lang", "en"));
    LoadSettings();
    EXPECT_EQ(g_bStartWithWindows, 0);
    EXPECT_EQ(g_nCurLang, 1);
    std::string run;
    EXPECT_FALSE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
    ToggleStartWithWindows();
    EXPECT_EQ(g_bStartWithWindows, 0);
    DWORD dwStartWin = 0;
    std::string lang;
    EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_STARTWIN_VALUE, &dwStartWin));
    EXPECT_EQ(dwStartWin, 1u);
    EXPECT_TRUE(RegReadString(PRODUCT_AGENT_KEY, PRODUCT_LANG_VALUE, &lang));
    EXPECT_EQ(lang, "de");
    m_policies.Clear();
    LoadSettings();
    EXPECT_EQ(g_bStartWithWindows, 1);
    EXPECT_EQ(g_nCurLang, 0);
    EXPECT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
}
