// Where each setting in force comes from: a policy (computer or user), Setting.ini, the
// user's registry, the machine's defaults or built in; and the policy values ignored.
#pragma once
#include "rules/text_out.h"
#include "settings/language.h"
#include "settings/policy.h"
#include "settings/share_settings.h"

constexpr int IGNORED_POLICIES_SIZE = 1024;

struct SettingSources {
    SettingValue deviceList;      // nValue: the number of device types listed
    SettingValue server;          // the address in force is CheckFacts::choice's
    SettingValue bitRate;
    SettingValue lang;
    char szLang[LANG_CODE_SIZE];
    SettingValue startWin;
    int nIgnoredPolicies;
    char szIgnoredPolicies[IGNORED_POLICIES_SIZE];   // one line each
};

struct ServerChoice;
// Reads them with the agent's own readers; g_szSettingIni must point at the folder's file.
void ReadSettingSources(const ServerChoice* pChoice, SettingSources* pSources);
void PutSourcesText(Out* pOut, const SettingSources* pSources);
// "\"sources\": {...},\n\"ignored_policies\": [...],\n"
void PutSourcesJson(Out* pOut, const SettingSources* pSources);
