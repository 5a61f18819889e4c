// The per-machine package's own rules, apart from Windows Installer's handles: what an
// administrator may pass, how versions compare, how long the folder may be, and the
// plan of Setting.ini that the deferred action writes.
#pragma once
#include <functional>
#include <string>
#include <vector>

// A property's value as the installation has it ("" when absent).
using PropertyReader = std::function<std::string(const char* pszName)>;

// "a.b.c.d" as four numbers (missing fields 0), to compare all four.
std::vector<unsigned long> VersionFields(const std::string& version);
// The parts of a list, each without the spaces around it ("a; b;" gives "a", "b", "").
std::vector<std::string> SplitList(const std::string& text, char cSeparator);
// The shipped spelling of a language code given in any case ("FR" is "fr"); "" when
// the list of shipped codes (';' between them) has none.
std::string ShippedLanguage(const std::string& shipped, const std::string& language);
// "" when every property passed is well formed, else why not; DEVICES' types, in
// Setting.ini's spelling, to *pDeviceIds.
std::string CheckProperties(const PropertyReader& property, std::vector<std::string>* pDeviceIds);
// Why the folder (with its trailing backslash) cannot take the agent, whose longest
// installed file path below it is nLongestFilePath; "" when it can.
std::string CheckFolder(const std::string& folder, int nLongestFilePath);

// What WriteSettings writes: CheckInstall's findings, carried in its one text of data.
struct SettingsPlan {
    std::string folder;
    int nUiLevel = 0;           // deferred actions do not see UILevel
    bool bFailLate = false;     // the test-only failure of the last action
    bool bHavePrevious = false;
    std::string previous;       // the Setting.ini found before the installation
    std::vector<std::string> lines;   // "section|key|value"
};
// The properties passed as the plan's lines: DEVICES' types first, then each Setting.ini
// value set.
void AddPlanLines(const PropertyReader& property, const std::vector<std::string>& deviceIds, SettingsPlan* pPlan);
std::string EncodePlan(const SettingsPlan& plan);
bool DecodePlan(const std::string& data, SettingsPlan* pPlan);
// Writes the plan's lines into the Setting.ini at path: the device list replaces the old
// one whole, and an absent [server] address becomes an empty one. False when a write failed.
bool WritePlanLines(const SettingsPlan& plan, const std::string& path);

bool ReadWholeFile(const std::string& path, std::string* pContent);
bool WriteWholeFile(const std::string& path, const std::string& content);
