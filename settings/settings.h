// Program directory, per-user registry settings and the Run entry.
#pragma once

// Registry layout under HKEY_CURRENT_USER.
#define AGENT_KEY "Software\\VELTRIX\\DIDIZOVOV"
#define RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUN_VALUE "Skyvela"
#define STARTWIN_VALUE "startwin"
#define LANG_VALUE "lang"
#define DEFAULT_LANG "de"
// Length of "\VELTRIX Q5.exe", cut from the executable's path to get its folder.
constexpr int EXE_NAME_CUT = 15;

// Fills g_szAppDir from the running executable's path; always 1.
int InitAppDir();
// Points g_szSettingIni at Setting.ini in the folder; 0 when the path was cut.
int UseSettingIniIn(const char* pszFolder);
// Reads the registry settings, aligns the Run entry and loads the language;
// 1 when texts were loaded, 0 otherwise.
int LoadSettings();
// Flips autostart and stores it with the Run entry.
void ToggleStartWithWindows();
