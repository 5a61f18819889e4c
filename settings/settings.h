// Program directory, per-user registry settings and the Run entry.
#pragma once
#include "product.h"
#include "setting_source.h"
#include <windows.h>

constexpr int APP_PATH_SIZE = PRODUCT_PATH_SIZE;     // MAX_PATH-sized path buffers

// The program folder (no trailing backslash) and its Setting.ini; "" until found.
extern char g_szAppDir[APP_PATH_SIZE];
extern char g_szSettingIni[APP_PATH_SIZE];

// Both paths at their start value, empty.
void ResetProgramPaths();

// The registry layout (PRODUCT_AGENT_KEY under HKEY_CURRENT_USER, the machine's defaults
// under the same key in HKEY_LOCAL_MACHINE, PRODUCT_RUN_KEY) is product.h's.

// Fills g_szAppDir from the running executable's path; always 1.
int InitAppDir();
// Points g_szSettingIni at Setting.ini in the folder; 0 when the path was cut.
int UseSettingIniIn(const char* pszFolder);
// Reads the registry settings, aligns the Run entry and loads the language;
// 1 when texts were loaded, 0 otherwise. A user without "startwin" or "lang" gets
// the machine's value, else 1 and "de", stored as the user's from then on.
int LoadSettings();
// Start with Windows in force, read without writing: a policy, the user's "startwin", the
// machine's, else 1; the number as stored (only 1 is on), its source in *pValue.
int ReadStartWinSetting(SettingValue* pValue);
// The language code in force into pszCode (zero-filled first): a policy, the user's "lang",
// the machine's, else the built-in code; its source in *pValue. Always 1.
int ReadLangSetting(char* pszCode, DWORD cbCode, SettingValue* pValue);
// Stores the user's language code ("lang").
void StoreLangCode(const char* pszCode);
// Flips autostart and stores it with the Run entry; nothing while a policy fixes it.
void ToggleStartWithWindows();
// The logon step of a per-machine install (Active Setup runs "<agent>.exe /logon" and
// waits for it): writes the user's Run value for this program when autostart is on (the
// user's "startwin", else the machine's) and no Run value starts an existing program;
// writes nothing else and starts nothing. Always 0, the exit code.
int PrepareLogonStart();
