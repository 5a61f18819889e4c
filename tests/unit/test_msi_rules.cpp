// The per-machine package's rules, without Windows Installer: one table each.
#include <gtest/gtest.h>
#include "support/test_support.h"
#include "packaging/msi_rules.h"
#include "rules/setting_names.h"
#include <map>

// Properties from "NAME=value" pairs; the shipped languages as the package sets them.
static PropertyReader Properties(std::map<std::string, std::string> values)
{
    values["SHIPPED_LANGUAGES"] = "de;en;fr";
    return [values](const char* pszName) {
        auto it = values.find(pszName);
        return it == values.end() ? std::string() : it->second;
    };
}

TEST(MsiRules, PropertiesRefusedWithTheirReasonAndDevicesWrittenInFull)
{
    const struct {
        const char* pszName;
        const char* pszValue;
        const char* pszReason;   // "" accepted
    } cases[] = {
        {"DEVICES", "vid_3a7c&pid_0105; VID_1234&PID_5678;", ""},
        {"DEVICES", "VID_3A7C&PID_105", "DEVICES entry \"VID_3A7C&PID_105\" is not VID_hhhh&PID_hhhh"},
        {"DEVICES", ";;", "DEVICES names no device"},
        {"SERVER", "10.0.0.1", ""},
        {"SERVER", "10.0.0", "SERVER \"10.0.0\" is not an IPv4 address"},
        {"BITRATE", "0002147483647", ""},
        {"BITRATE", "2147483648", "BITRATE \"2147483648\" is too large (at most 2147483647)"},
        {"TRANSFERSIZE", "1k", "TRANSFERSIZE \"1k\" is not a whole number"},
        {"LANGUAGE", "FR", ""},
        {"LANGUAGE", "xx", "LANGUAGE \"xx\" is not one of the shipped languages (de;en;fr)"},
        {"AUTOSTART", "2", "AUTOSTART \"2\" is neither 1 nor 0"},
        {"RELEASEONLOCK", "yes", "RELEASEONLOCK \"yes\" is neither 1 nor 0"},
        {"RELEASEAFTER", "1440", ""},
        {"RELEASEAFTER", "1441", "RELEASEAFTER \"1441\" is not a number of minutes from 0 to 1440"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> ids;
        const std::string reason = CheckProperties(Properties({{c.pszName, c.pszValue}}), &ids);
        EXPECT_EQ(reason.substr(0, strlen(c.pszReason)), c.pszReason) << c.pszName << "=" << c.pszValue;
        EXPECT_EQ(reason.empty(), c.pszReason[0] == '\0') << reason;
    }
    std::vector<std::string> ids;
    CheckProperties(Properties({{"DEVICES", "vid_3a7c&pid_0105; VID_1234&PID_5678;"}}), &ids);
    EXPECT_EQ(ids, (std::vector<std::string>{"VID_3A7C&PID_0105", "VID_1234&PID_5678"}));
    EXPECT_EQ(ShippedLanguage("de;en;fr", "EN"), "en");
}

TEST(MsiRules, VersionsCompareAllFourFields)
{
    EXPECT_GT(VersionFields("1.0.2.9"), VersionFields("1.0.2.8"));
    EXPECT_GT(VersionFields("1.0.10"), VersionFields("1.0.9.99"));
    EXPECT_EQ(VersionFields("1.0"), VersionFields("1.0.0.0"));
}

TEST(MsiRules, FolderLongerThanTheAgentsPathsAllowIsRefused)
{
    // A language file with the longest code is the longest path below the folder here.
    const int nMax = PRODUCT_PATH_SIZE - (PRODUCT_LANG_CODE_SIZE - 1 + PRODUCT_LANG_FILE_EXTRA) - 1;
    EXPECT_EQ(CheckFolder("C:\\" + std::string(nMax - 3, 'f') + "\\", 0), "");
    EXPECT_NE(CheckFolder("C:\\" + std::string(nMax - 2, 'f') + "\\", 0), "");
    EXPECT_NE(CheckFolder("C:\\" + std::string(nMax - 9, 'f') + "\\", PRODUCT_LANG_CODE_SIZE + PRODUCT_LANG_FILE_EXTRA + 9), "");
}

TEST(MsiRules, PlanSurvivesItsEncodingAndIsWrittenIntoSettingIni)
{
    TempDir dir("msi plan");
    const std::string path = dir.Path() + "\\" + SETTING_INI_FILE;
    SettingsPlan plan;
    plan.folder = dir.Path() + "\\";
    plan.nUiLevel = 5;
    plan.bHavePrevious = true;
    plan.previous = "[device]\r\nidnum=3\r\nid0=a\r\nid1=b\r\nid2=c\r\n[system]\r\nbitrate=0\r\n";
    AddPlanLines(Properties({{"BITRATE", "500"}}), {"VID_3A7C&PID_0105"}, &plan);
    SettingsPlan decoded;
    ASSERT_TRUE(DecodePlan(EncodePlan(plan), &decoded));
    EXPECT_EQ(decoded.folder, plan.folder);
    EXPECT_EQ(decoded.nUiLevel, 5);
    EXPECT_EQ(decoded.lines, plan.lines);
    EXPECT_EQ(decoded.previous, plan.previous);
    EXPECT_FALSE(DecodePlan("no separators", &decoded));

    ASSERT_TRUE(WriteWholeFile(path, decoded.previous));
    ASSERT_TRUE(WritePlanLines(decoded, path));
    char szText[64];
    EXPECT_EQ(GetPrivateProfileIntA(INI_DEVICE_SECTION, INI_DEVICE_COUNT_KEY, -1, path.c_str()), 1);
    GetPrivateProfileStringA(INI_DEVICE_SECTION, "id0", "", szText, sizeof(szText), path.c_str());
    EXPECT_STREQ(szText, "VID_3A7C&PID_0105");
    GetPrivateProfileStringA(INI_DEVICE_SECTION, "id1", "gone", szText, sizeof(szText), path.c_str());
    EXPECT_STREQ(szText, "gone");
    EXPECT_EQ(GetPrivateProfileIntA(INI_SYSTEM_SECTION, INI_BITRATE_KEY, -1, path.c_str()), 500);
    GetPrivateProfileStringA(INI_SERVER_SECTION, INI_ADDRESS_KEY, "absent", szText, sizeof(szText), path.c_str());
    EXPECT_STREQ(szText, "");
}
