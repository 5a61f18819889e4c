// The sources of the settings in force, read by the agent's own readers, and their two
// presentations.
#include "check_sources.h"
#include "check_report.h"
#include "agent/connection.h"
#include "agent/device_filter.h"
#include "agent/server_choice.h"
#include "settings/settings.h"
#include <cstdio>
#include <cstring>

void ReadSettingSources(const ServerChoice* pChoice, SettingSources* pSources)
{
    memset(pSources, 0, sizeof(*pSources));
    char szPolicyList[POLICY_TEXT_SIZE];
    ReadDeviceList(szPolicyList, &pSources->deviceList);
    SetBuiltIn(&pSources->server, 0);
    pSources->server.source = pChoice->source;
    ReadBitRateThreshold(&pSources->bitRate);
    char szLang[APP_PATH_SIZE];
    ReadLangSetting(szLang, sizeof(szLang), &pSources->lang);
    lstrcpynA(pSources->szLang, szLang, sizeof(pSources->szLang));
    ReadStartWinSetting(&pSources->startWin);
    pSources->nIgnoredPolicies = ListIgnoredPolicies(pSources->szIgnoredPolicies, sizeof(pSources->szIgnoredPolicies));
}

// A value the text shows for each setting, with its label and key.
struct SourceLine {
    const char* pszLabel;
    const char* pszKey;
    const SettingValue* pValue;
};
// The [share] choices have a block of their own, with their sources.
constexpr int SOURCE_LINES = 5;

static void GetSourceLines(const SettingSources* p, SourceLine (&aLines)[SOURCE_LINES])
{
    const SourceLine lines[SOURCE_LINES] = {
        {"  device list:", "device_list", &p->deviceList},
        {"  server:", "server", &p->server},
        {"  bitrate:", "bitrate", &p->bitRate},
        {"  language:", "lang", &p->lang},
        {"  startwin:", "startwin", &p->startWin},
    };
    memcpy(aLines, lines, sizeof(lines));
}

// A note as the administrator's text may hold anything: only printable ASCII but quotes
// and backslashes is shown, so it is one sound line and one sound JSON string.
static void PutNote(Out* pOut, const char* pszNote, size_t nLen)
{
    for (size_t i = 0; i < nLen; ++i) {
        char c = pszNote[i];
        Put(pOut, "%c", c < 0x20 || c > 0x7E || c == '"' || c == '\\' ? '?' : c);
    }
}

void PutSourcesText(Out* pOut, const SettingSources* pSources)
{
    Put(pOut, "%-*s%s\n", REPORT_LABEL_WIDTH, "Sources:", "where each value in force comes from");
    SourceLine lines[SOURCE_LINES];
    GetSourceLines(pSources, lines);
    for (int i = 0; i < SOURCE_LINES; ++i) {
        Put(pOut, "%-*s%s", REPORT_LABEL_WIDTH, lines[i].pszLabel, SettingSourceName(lines[i].pValue->source));
        if (lines[i].pValue == &pSources->lang)
            Put(pOut, " (%s)", pSources->szLang);
        else if (lines[i].pValue != &pSources->server)
            Put(pOut, " (%d)", lines[i].pValue->nValue);
        Put(pOut, "\n");
    }
    for (const char* p = pSources->szIgnoredPolicies; *p;) {
        const char* pEnd = strchr(p, '\n');
        size_t nLen = pEnd ? (size_t)(pEnd - p) : strlen(p);
        Put(pOut, "%-*s", REPORT_LABEL_WIDTH, "  ignored:");
        PutNote(pOut, p, nLen);
        Put(pOut, "\n");
        p += nLen + (pEnd ? 1 : 0);
    }
}

void PutSourcesJson(Out* pOut, const SettingSources* pSources)
{
    Put(pOut, "\"sources\": {");
    SourceLine lines[SOURCE_LINES];
    GetSourceLines(pSources, lines);
    for (int i = 0; i < SOURCE_LINES; ++i)
        Put(pOut, "%s\"%s_source\": \"%s\"", i ? ", " : "", lines[i].pszKey, SettingSourceKey(lines[i].pValue->source));
    Put(pOut, "},\n\"ignored_policies\": [");
    int nLine = 0;
    for (const char* p = pSources->szIgnoredPolicies; *p; ++nLine) {
        const char* pEnd = strchr(p, '\n');
        size_t nLen = pEnd ? (size_t)(pEnd - p) : strlen(p);
        Put(pOut, "%s\"", nLine ? ", " : "");
        PutNote(pOut, p, nLen);
        Put(pOut, "\"");
        p += nLen + (pEnd ? 1 : 0);
    }
    Put(pOut, "],\n");
}
