// q5ctl's command line read by the platform's quoting rules: what each form means, the
// fault named for each bad one, run's program kept exactly as typed, and the help's
// table of exit codes.
#include <gtest/gtest.h>
#include "q5ctl/ctl_command.h"
#include <set>
#include <string>

namespace {

struct Parsed {
    int bOk;
    CtlCommand command;
    std::string error;
    std::string programLine;   // the line parsed goes with its caller: the tail is copied
};

Parsed Parse(const std::string& line)
{
    Parsed parsed;
    char szError[CTL_ERROR_SIZE];
    parsed.bOk = ParseCtlCommandLine(line.c_str(), &parsed.command, szError, sizeof(szError));
    parsed.error = szError;
    if (parsed.command.pszProgramLine)
        parsed.programLine = parsed.command.pszProgramLine;
    parsed.command.pszProgramLine = nullptr;
    return parsed;
}

}  // namespace

TEST(Q5ctlCommand, UnderstoodForms)
{
    const struct {
        const char* pszLine;
        CtlVerb verb;
        int bJson, bStart, bWait, nWait, nAutoconnect;
    } kCases[] = {
        {"q5ctl status", CTL_VERB_STATUS, 0, 0, 0, 0, 0},
        {"q5ctl.exe --json status", CTL_VERB_STATUS, 1, 0, 0, 0, 0},
        {"\"C:\\Program Files\\Box\\q5ctl.exe\" --start status --json", CTL_VERB_STATUS, 1, 1, 0, 0, 0},
        {"q5ctl connect", CTL_VERB_CONNECT, 0, 0, 0, 0, 0},
        {"q5ctl connect --wait 5", CTL_VERB_CONNECT, 0, 0, 1, 5, 0},
        {"q5ctl --wait=0 disconnect", CTL_VERB_DISCONNECT, 0, 0, 1, 0, 0},
        {"q5ctl disconnect\t--wait  86400", CTL_VERB_DISCONNECT, 0, 0, 1, 86400, 0},
        {"q5ctl connect --wait \"30\"", CTL_VERB_CONNECT, 0, 0, 1, 30, 0},
        {"q5ctl autoconnect on", CTL_VERB_AUTOCONNECT, 0, 0, 0, 0, 1},
        {"q5ctl autoconnect off --json", CTL_VERB_AUTOCONNECT, 1, 0, 0, 0, 0},
        {"q5ctl run -- cad.exe", CTL_VERB_RUN, 0, 0, 0, CTL_RUN_DEFAULT_WAIT_SECONDS, 0},
        {"q5ctl run --wait 0 -- cad.exe", CTL_VERB_RUN, 0, 0, 1, 0, 0},
    };
    for (const auto& c : kCases) {
        Parsed p = Parse(c.pszLine);
        ASSERT_TRUE(p.bOk) << c.pszLine << ": " << p.error;
        EXPECT_EQ(p.command.verb, c.verb) << c.pszLine;
        EXPECT_EQ(p.command.bJson, c.bJson) << c.pszLine;
        EXPECT_EQ(p.command.bStart, c.bStart) << c.pszLine;
        EXPECT_EQ(p.command.bWait, c.bWait) << c.pszLine;
        EXPECT_EQ(p.command.nWaitSeconds, c.nWait) << c.pszLine;
        EXPECT_EQ(p.command.nAutoconnect, c.nAutoconnect) << c.pszLine;
    }
}

TEST(Q5ctlCommand, RunKeepsTheProgramLineAsTyped)
{
    const struct { const char* pszLine; const char* pszProgramLine; const char* pszProgram; } kCases[] = {
        {"q5ctl run --wait 60 -- \"C:\\Program Files\\CAD\\cad.exe\"", "\"C:\\Program Files\\CAD\\cad.exe\"",
         "C:\\Program Files\\CAD\\cad.exe"},
        {"q5ctl run --   cmd /c \"echo a  b & exit 7\"", "cmd /c \"echo a  b & exit 7\"", "cmd"},
        // What follows "--" is the program's, options of q5ctl included.
        {"q5ctl --json run -- tool.exe --wait x -- \"a\\\"b\"", "tool.exe --wait x -- \"a\\\"b\"", "tool.exe"},
        {"q5ctl run -- \"C:\\a \\\"b\\\\\" c", "\"C:\\a \\\"b\\\\\" c", "C:\\a \"b\\"},
    };
    for (const auto& c : kCases) {
        Parsed p = Parse(c.pszLine);
        ASSERT_TRUE(p.bOk) << c.pszLine << ": " << p.error;
        EXPECT_EQ(p.programLine, c.pszProgramLine) << c.pszLine;
        EXPECT_STREQ(p.command.szProgram, c.pszProgram) << c.pszLine;
    }
}

TEST(Q5ctlCommand, EachFaultIsNamed)
{
    const std::string kWait = "--wait takes a whole number of seconds from 0 to 86400";
    const std::string kLong(CTL_ARG_SIZE, 'x');
    const struct { std::string line; std::string error; } kCases[] = {
        {"q5ctl", "no verb: status, connect, disconnect, run or autoconnect"},
        {"q5ctl --json", "no verb: status, connect, disconnect, run or autoconnect"},
        {"q5ctl frobnicate", "unknown verb: frobnicate"},
        {"q5ctl Status", "unknown verb: Status"},
        {"q5ctl status --frob", "unknown option: --frob"},
        {"q5ctl status -x", "unknown option: -x"},
        {"q5ctl status extra", "unexpected argument: extra"},
        {"q5ctl status --wait 5", "--wait is not an option of status"},
        {"q5ctl connect --wait", kWait},
        {"q5ctl connect --wait abc", kWait},
        {"q5ctl connect --wait -1", kWait},
        {"q5ctl connect --wait 86401", kWait},
        {"q5ctl connect --wait 1.5", kWait},
        {"q5ctl connect --wait 000001", kWait},
        {"q5ctl connect --wait= ", kWait},
        {"q5ctl connect --wait 99999999999999999999", kWait},
        {"q5ctl connect --wait 5 --wait 6", "--wait given twice"},
        {"q5ctl run", "missing program: run [--wait SECONDS] -- PROGRAM [ARGS...]"},
        {"q5ctl run cad.exe", "unexpected argument: cad.exe"},
        {"q5ctl run --", "missing program after --"},
        {"q5ctl run --   ", "missing program after --"},
        {"q5ctl run -- \"\"", "missing program after --"},
        {"q5ctl run --wait x -- cad.exe", kWait},
        {"q5ctl connect -- cad.exe", "-- belongs to run: run [--wait SECONDS] -- PROGRAM [ARGS...]"},
        {"q5ctl autoconnect", "autoconnect takes on or off"},
        {"q5ctl autoconnect maybe", "autoconnect takes on or off, not maybe"},
        {"q5ctl autoconnect on off", "unexpected argument: off"},
        {"q5ctl autoconnect on --wait 3", "--wait is not an option of autoconnect"},
        {"q5ctl status " + kLong, "argument too long: " + kLong.substr(0, 64) + "..."},
        {"q5ctl run -- " + kLong, "program name too long: " + kLong.substr(0, 64) + "..."},
    };
    for (const auto& c : kCases) {
        Parsed p = Parse(c.line);
        EXPECT_FALSE(p.bOk) << c.line;
        EXPECT_EQ(p.error, c.error) << c.line;
    }
    // The fault can be told as JSON when --json came before it.
    EXPECT_TRUE(Parse("q5ctl --json frob").command.bJson);
}

TEST(Q5ctlCommand, HelpAndVersionWinOverTheRest)
{
    for (const char* pszLine : {"q5ctl --help", "q5ctl /?", "q5ctl -h", "q5ctl frob --help"}) {
        Parsed p = Parse(pszLine);
        EXPECT_TRUE(p.bOk && p.command.bHelp) << pszLine;
    }
    Parsed p = Parse("q5ctl --version");
    EXPECT_TRUE(p.bOk && p.command.bVersion);
}

// One code per meaning, and the help lists every one of them.
TEST(Q5ctlCommand, HelpListsEveryExitCode)
{
    int nCount = 0;
    const CtlExitInfo* pTable = GetCtlExitTable(&nCount);
    char szHelp[4096];
    FormatCtlHelp(szHelp, sizeof(szHelp));
    std::set<int> codes;
    std::set<std::string> keys;
    for (int i = 0; i < nCount; ++i) {
        codes.insert(pTable[i].nCode);
        keys.insert(pTable[i].pszKey);
        char szLine[256];
        snprintf(szLine, sizeof(szLine), "  %2d  %s\n", pTable[i].nCode, pTable[i].pszMeaning);
        EXPECT_NE(std::string(szHelp).find(szLine), std::string::npos) << szLine;
        EXPECT_STREQ(CtlExitKey(pTable[i].nCode), pTable[i].pszKey);
    }
    EXPECT_EQ((int)codes.size(), nCount);
    EXPECT_EQ((int)keys.size(), nCount);
    for (int nCode : {CTL_EXIT_OK, CTL_EXIT_USAGE, CTL_EXIT_NO_AGENT, CTL_EXIT_NO_DEVICE, CTL_EXIT_IN_USE,
                      CTL_EXIT_REFUSED, CTL_EXIT_POOR_SIGNAL, CTL_EXIT_TIMED_OUT})
        EXPECT_EQ(codes.count(nCode), 1u) << nCode;
}
