// Where a setting in force came from, for the diagnostics command to name it.
#pragma once

enum SettingSource {
    SOURCE_BUILT_IN = 0,        // nothing set: the product's default
    SOURCE_MACHINE,             // the machine's defaults (HKEY_LOCAL_MACHINE, written by the package)
    SOURCE_USER,                // the user's own value (HKEY_CURRENT_USER)
    SOURCE_SETTING_INI,         // Setting.ini in the program folder
    SOURCE_USER_POLICY,         // a user policy (HKEY_CURRENT_USER\Software\Policies)
    SOURCE_COMPUTER_POLICY,     // a computer policy (HKEY_LOCAL_MACHINE\Software\Policies)
};

// "built in", "the machine's defaults", ... for reports.
const char* SettingSourceName(SettingSource source);
// "built_in", "machine", ...: the stable names scripts read.
const char* SettingSourceKey(SettingSource source);

// One setting in force: its value, where it came from, and the last value met on the
// way that was ignored as malformed (empty when none), e.g. "release_after=abc in Setting.ini".
constexpr int IGNORED_NOTE_SIZE = 128;
struct SettingValue {
    int nValue;
    SettingSource source;
    char szIgnored[IGNORED_NOTE_SIZE];
};
