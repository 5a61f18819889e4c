// Program directory, per-user registry settings and the Run entry.
#pragma once
#include "product.h"

// Registry layout under HKEY_CURRENT_USER.
#define AGENT_KEY PRODUCT_AGENT_KEY
#define RUN_KEY PRODUCT_RUN_KEY
#define RUN_VALUE PRODUCT_RUN_VALUE
#define STARTWIN_VALUE PRODUCT_STARTWIN_VALUE
#define LANG_VALUE PRODUCT_LANG_VALUE
#define DEFAULT_LANG PRODUCT_DEFAULT_LANG
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
