// q5check: answers "why is my device not connected?" from the agent's own
// folder, with the agent's own library binding, record reading and filter.
#include "check_report.h"
#include "check_run.h"
#include "agent/dll_search.h"
#include "product.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Room for the whole report, also with eight servers and overlong names.
constexpr size_t REPORT_SIZE = 64 * 1024;

static const char USAGE[] =
    "usage: q5check [--wait SECONDS] [--bandwidth] [--json]\n"
    "  --wait SECONDS  longest wait for the library to find a server, 0 to 60 (default 3)\n"
    "  --bandwidth     also run the bandwidth test the agent would run before attaching\n"
    "  --json          print the result as one JSON object\n"
    "Checks what the " PRODUCT_NAME " agent beside it would see and ends with a verdict;\n"
    "never attaches or detaches the device. Exit codes: see the README.\n";

// A whole decimal number in 0..MAX_WAIT_SECONDS; 0 when the text is anything else.
static int ParseWaitSeconds(const char* pszText, int* pnSeconds)
{
    if (!pszText || !*pszText || strlen(pszText) > 2)
        return 0;
    for (const char* p = pszText; *p; ++p)
        if (*p < '0' || *p > '9')
            return 0;
    int n = atoi(pszText);
    if (n > MAX_WAIT_SECONDS)
        return 0;
    *pnSeconds = n;
    return 1;
}

// 1 when the command line is understood; otherwise the reason goes to pszError.
static int ParseOptions(int argc, char** argv, CheckOptions* pOptions, int* pbHelp, char* pszError, size_t cbError)
{
    *pOptions = CheckOptions{DEFAULT_WAIT_SECONDS, 0, 0};
    *pbHelp = 0;
    for (int i = 1; i < argc; ++i) {
        const char* pszArg = argv[i];
        if (strcmp(pszArg, "--bandwidth") == 0) {
            pOptions->bBandwidth = 1;
        } else if (strcmp(pszArg, "--json") == 0) {
            pOptions->bJson = 1;
        } else if (strcmp(pszArg, "--help") == 0 || strcmp(pszArg, "/?") == 0) {
            *pbHelp = 1;
        } else if (strcmp(pszArg, "--wait") == 0 || strncmp(pszArg, "--wait=", 7) == 0) {
            const char* pszValue = pszArg[6] == '=' ? pszArg + 7 : (i + 1 < argc ? argv[++i] : nullptr);
            if (!ParseWaitSeconds(pszValue, &pOptions->nWaitSeconds)) {
                snprintf(pszError, cbError, "--wait takes a whole number of seconds from 0 to %d", MAX_WAIT_SECONDS);
                return 0;
            }
        } else {
            snprintf(pszError, cbError, "unknown option: %.64s", pszArg);
            return 0;
        }
    }
    return 1;
}

int main(int argc, char** argv)
{
    HardenDllSearch();
    CheckOptions options;
    int bHelp = 0;
    char szError[128];
    if (!ParseOptions(argc, argv, &options, &bHelp, szError, sizeof(szError))) {
        fprintf(stderr, "q5check: %s\n%s", szError, USAGE);
        return EXIT_USAGE;
    }
    if (bHelp) {
        fputs(USAGE, stdout);
        return 0;
    }

    static CheckFacts s_facts;
    static char s_szReport[REPORT_SIZE];
    RunCheck(&options, &s_facts);
    // Printed while the library is still open: the records point into it.
    if (options.bJson)
        FormatReportJson(&s_facts, s_szReport, sizeof(s_szReport));
    else
        FormatReportText(&s_facts, s_szReport, sizeof(s_szReport));
    fputs(s_szReport, stdout);
    fflush(stdout);
    EndCheck();
    return GetVerdictInfo(DecideVerdict(&s_facts)).nExitCode;
}
