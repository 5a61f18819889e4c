// The per-machine package's own rules, apart from Windows Installer's handles.
#include "msi_rules.h"
#include "product.h"
#include "rules/device_id.h"
#include "rules/setting_names.h"
#include "rules/text_rules.h"
#include "rules/wusb_record.h"
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Separates the parts of WriteSettings' data (a byte no Setting.ini holds).
constexpr char DATA_SEPARATOR = '\x01';
// Largest number Setting.ini's [system] keys hold: the agent reads them as int.
constexpr long MAX_SETTING_NUMBER = 2147483647L;
// The properties an administrator passes, and the Setting.ini keys they set.
struct IniProperty {
    const char* pszProperty;
    const char* pszSection;
    const char* pszKey;
};
const IniProperty kIniProperties[] = {
    {"SERVER", INI_SERVER_SECTION, INI_ADDRESS_KEY},
    {"BITRATE", INI_SYSTEM_SECTION, INI_BITRATE_KEY},
    {"TRANSFERSIZE", INI_SYSTEM_SECTION, INI_TRANSFER_SIZE_KEY},
    {"AUTOCONNECT", PRODUCT_SHARE_SECTION, PRODUCT_AUTOCONNECT_VALUE},
    {"RELEASEAFTER", PRODUCT_SHARE_SECTION, PRODUCT_RELEASE_AFTER_VALUE},
    {"RELEASEONLOCK", PRODUCT_SHARE_SECTION, PRODUCT_RELEASE_ON_LOCK_VALUE},
    {"NOTICES", PRODUCT_SHARE_SECTION, PRODUCT_NOTICES_VALUE},
};

// An address the agent takes for a box of Setting.ini's [server], by the agent's own reading.
bool IsIpv4(const std::string& text)
{
    unsigned char abAddr[4];
    return ParseServerAddress(text.c_str(), abAddr) != 0;
}

// The device types of DEVICES, or the reason they are refused.
bool ParseDevices(const std::string& devices, std::vector<std::string>* pIds, std::string* pReason)
{
    for (const std::string& id : SplitList(devices, ';')) {
        if (id.empty())
            continue;   // "a;b;" is a list of two
        char szWritten[DEVICE_TYPE_TEXT_SIZE];   // Setting.ini's spelling: "VID_3A7C&PID_0105"
        if (!IsWrittenDeviceType(id.c_str(), szWritten)) {
            *pReason = "DEVICES entry \"" + id + "\" is not VID_hhhh&PID_hhhh (hexadecimal)";
            return false;
        }
        pIds->push_back(szWritten);
    }
    if (pIds->empty()) {
        *pReason = "DEVICES names no device";
        return false;
    }
    if ((int)pIds->size() > MAX_DEVICE_TYPES) {
        *pReason = "DEVICES lists " + std::to_string(pIds->size()) + " devices; the agent reads at most " +
                   std::to_string(MAX_DEVICE_TYPES);
        return false;
    }
    return true;
}

// Entry i of Setting.ini's [device].
std::string DeviceKey(int i)
{
    char szKey[16];
    snprintf(szKey, sizeof(szKey), INI_DEVICE_KEY_FORMAT, i);
    return szKey;
}

}  // namespace

// "a.b.c.d" as four numbers (missing fields 0).
std::vector<unsigned long> VersionFields(const std::string& version)
{
    std::vector<unsigned long> fields(4, 0);
    const char* p = version.c_str();
    for (int i = 0; i < 4 && *p; i++) {
        fields[i] = strtoul(p, const_cast<char**>(&p), 10);
        if (*p == '.')
            p++;
    }
    return fields;
}

std::vector<std::string> SplitList(const std::string& text, char cSeparator)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= text.size()) {
        size_t nEnd = text.find(cSeparator, i);
        if (nEnd == std::string::npos)
            nEnd = text.size();
        std::string part = text.substr(i, nEnd - i);
        size_t nFirst = part.find_first_not_of(' ');
        size_t nLast = part.find_last_not_of(' ');
        parts.push_back(nFirst == std::string::npos ? "" : part.substr(nFirst, nLast - nFirst + 1));
        i = nEnd + 1;
    }
    return parts;
}

// The shipped spelling of a language code given in any case ("FR" is "fr"); "" when
// none is shipped.
std::string ShippedLanguage(const std::string& shipped, const std::string& language)
{
    for (const std::string& code : SplitList(shipped, ';'))
        if (lstrcmpiA(code.c_str(), language.c_str()) == 0)
            return code;
    return "";
}

// "" when every property passed is well formed, else why not.
std::string CheckProperties(const PropertyReader& property, std::vector<std::string>* pDeviceIds)
{
    std::string reason;
    const std::string devices = property("DEVICES");
    if (!devices.empty() && !ParseDevices(devices, pDeviceIds, &reason))
        return reason;
    const std::string server = property("SERVER");
    if (!server.empty() && !IsIpv4(server))
        return "SERVER \"" + server + "\" is not an IPv4 address a.b.c.d";
    for (const char* pszName : {"BITRATE", "TRANSFERSIZE"}) {
        const std::string value = property(pszName);
        long nValue = 0;
        if (!value.empty() && !IsDecimalText(value.c_str()))
            return std::string(pszName) + " \"" + value + "\" is not a whole number";
        if (!value.empty() && !ParseBoundedNumber(value.c_str(), 0, MAX_SETTING_NUMBER, &nValue))
            return std::string(pszName) + " \"" + value + "\" is too large (at most " +
                   std::to_string(MAX_SETTING_NUMBER) + ")";
    }
    const std::string language = property("LANGUAGE");
    const std::string shipped = property("SHIPPED_LANGUAGES");
    if (!language.empty()) {
        if (ShippedLanguage(shipped, language).empty())
            return "LANGUAGE \"" + language + "\" is not one of the shipped languages (" + shipped + ")";
    }
    const std::string autostart = property("AUTOSTART");
    if (!autostart.empty() && autostart != "0" && autostart != "1")
        return "AUTOSTART \"" + autostart + "\" is neither 1 nor 0";
    // The [share] choices, refused here rather than left for the agent to ignore.
    for (const char* pszName : {"AUTOCONNECT", "RELEASEONLOCK", "NOTICES"}) {
        const std::string value = property(pszName);
        if (!value.empty() && value != "0" && value != "1")
            return std::string(pszName) + " \"" + value + "\" is neither 1 nor 0";
    }
    const std::string releaseAfter = property("RELEASEAFTER");
    long nMinutes = 0;
    if (!releaseAfter.empty() && !ParseBoundedNumber(releaseAfter.c_str(), 0, PRODUCT_RELEASE_AFTER_MAX, &nMinutes))
        return "RELEASEAFTER \"" + releaseAfter + "\" is not a number of minutes from 0 to " +
               std::to_string(PRODUCT_RELEASE_AFTER_MAX);
    return "";
}

// Longest folder the agent's paths allow, by the per-user setup's rule: every path the
// agent builds (a language file's, with a code of up to LANG_CODE_SIZE - 1 characters)
// and every installed file must fit PRODUCT_PATH_SIZE with its terminator.
static int MaxFolderLength(int nLongestFilePath)
{
    const int nLangFilePath = PRODUCT_LANG_CODE_SIZE - 1 + PRODUCT_LANG_FILE_EXTRA;
    int nLongest = nLongestFilePath;
    if (nLongest < nLangFilePath)
        nLongest = nLangFilePath;
    return PRODUCT_PATH_SIZE - nLongest - 1;
}

// Why the folder cannot take the agent, or "".
std::string CheckFolder(const std::string& folder, int nLongestFilePath)
{
    const int nLength = (int)folder.size() - 1;   // without the trailing backslash
    if (nLength <= MaxFolderLength(nLongestFilePath))
        return "";
    return "the folder \"" + folder.substr(0, nLength) + "\" is " + std::to_string(nLength) +
           " characters long; the agent's paths allow at most " + std::to_string(MaxFolderLength(nLongestFilePath));
}

bool ReadWholeFile(const std::string& path, std::string* pContent)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    char buf[4096];
    DWORD nRead = 0;
    pContent->clear();
    while (ReadFile(hFile, buf, sizeof(buf), &nRead, nullptr) && nRead > 0)
        pContent->append(buf, nRead);
    CloseHandle(hFile);
    return true;
}

bool WriteWholeFile(const std::string& path, const std::string& content)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD nWritten = 0;
    bool bOk = WriteFile(hFile, content.data(), (DWORD)content.size(), &nWritten, nullptr) &&
               nWritten == content.size();
    return CloseHandle(hFile) && bOk;
}

std::string EncodePlan(const SettingsPlan& plan)
{
    std::string data = plan.folder + DATA_SEPARATOR + std::to_string(plan.nUiLevel) + DATA_SEPARATOR +
                       (plan.bFailLate ? "1" : "0") + DATA_SEPARATOR + (plan.bHavePrevious ? "1" : "0") +
                       DATA_SEPARATOR;
    for (const std::string& line : plan.lines)
        data += line + "\n";
    return data + DATA_SEPARATOR + plan.previous;
}

bool DecodePlan(const std::string& data, SettingsPlan* pPlan)
{
    // The first five separators; the previous Setting.ini after them may hold anything.
    size_t anAt[5];
    size_t nFrom = 0;
    for (size_t& nAt : anAt) {
        nAt = data.find(DATA_SEPARATOR, nFrom);
        if (nAt == std::string::npos)
            return false;
        nFrom = nAt + 1;
    }
    auto field = [&](int i) { return data.substr(anAt[i - 1] + 1, anAt[i] - anAt[i - 1] - 1); };
    pPlan->folder = data.substr(0, anAt[0]);
    pPlan->nUiLevel = atoi(field(1).c_str());
    pPlan->bFailLate = field(2) == "1";
    pPlan->bHavePrevious = field(3) == "1";
    const size_t n2 = anAt[3], n3 = anAt[4];
    for (const std::string& line : SplitList(data.substr(n2 + 1, n3 - n2 - 1), '\n'))
        if (!line.empty())
            pPlan->lines.push_back(line);
    pPlan->previous = data.substr(n3 + 1);
    return !pPlan->folder.empty();
}

void AddPlanLines(const PropertyReader& property, const std::vector<std::string>& deviceIds, SettingsPlan* pPlan)
{
    for (const std::string& id : deviceIds)
        pPlan->lines.push_back(std::string(INI_DEVICE_SECTION) + "|id|" + id);
    for (const IniProperty& p : kIniProperties) {
        const std::string value = property(p.pszProperty);
        if (!value.empty())
            pPlan->lines.push_back(std::string(p.pszSection) + "|" + p.pszKey + "|" + value);
    }
}

bool WritePlanLines(const SettingsPlan& plan, const std::string& path)
{
    std::vector<std::string> deviceIds;
    bool bServerSet = false;
    for (const std::string& line : plan.lines) {
        std::vector<std::string> parts = SplitList(line, '|');
        if (parts.size() != 3)
            continue;
        if (parts[0] == INI_DEVICE_SECTION)
            deviceIds.push_back(parts[2]);
        else if (!WritePrivateProfileStringA(parts[0].c_str(), parts[1].c_str(), parts[2].c_str(), path.c_str()))
            return false;
        bServerSet = bServerSet || parts[0] == INI_SERVER_SECTION;
    }
    // Absent SERVER: the first server listed, as an empty address says.
    char szAddress[64];
    GetPrivateProfileStringA(INI_SERVER_SECTION, INI_ADDRESS_KEY, "\x01", szAddress, sizeof(szAddress), path.c_str());
    if (!bServerSet && strcmp(szAddress, "\x01") == 0)
        WritePrivateProfileStringA(INI_SERVER_SECTION, INI_ADDRESS_KEY, "", path.c_str());
    if (!deviceIds.empty()) {
        int nOld = GetPrivateProfileIntA(INI_DEVICE_SECTION, INI_DEVICE_COUNT_KEY, 0, path.c_str());
        WritePrivateProfileStringA(INI_DEVICE_SECTION, INI_DEVICE_COUNT_KEY, std::to_string(deviceIds.size()).c_str(),
                                   path.c_str());
        for (size_t i = 0; i < deviceIds.size(); i++)
            WritePrivateProfileStringA(INI_DEVICE_SECTION, DeviceKey((int)i).c_str(), deviceIds[i].c_str(),
                                       path.c_str());
        for (int i = (int)deviceIds.size(); i < nOld && i < MAX_DEVICE_TYPES; i++)
            WritePrivateProfileStringA(INI_DEVICE_SECTION, DeviceKey(i).c_str(), nullptr, path.c_str());
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());   // flush
    return true;
}
