// The real q5ctl.exe under Wine against the real agent beside the stand-in: every verb
// and exit code, run's program with the device, overlapping runs, autoconnect applied at
// once, --start, and requests the agent must refuse without a change.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "support/console_process.h"
#include "support/setup_checks.h"
#include "agent/control_channel.h"
#include "q5ctl/ctl_channel.h"
#include "q5ctl/ctl_command.h"
#include "agent/connection.h"
#include <thread>

namespace {

constexpr DWORD kCtlTimeoutMs = 60000;

class Q5ctl : public ::testing::Test {
protected:
    RegistrySandbox registry;
    ProgramFolder folder{"e2e-q5ctl"};
    AgentProcess agent;
    HWND hAgent = nullptr;

    void TearDown() override
    {
        if (hAgent && agent.Running()) {
            EXPECT_TRUE(ExitAgentByMenu(agent, hAgent));
        }
    }
    ConsoleRun Ctl(const std::string& args) const { return RunConsole(folder.CtlExePath(), args, kCtlTimeoutMs); }
    std::string Status(const std::string& key) const { return JsonValue(Ctl("status --json").out, key); }
    // Started, attached by itself (the shipped autoconnect), then detached by q5ctl.
    void LaunchDetached()
    {
        ASSERT_NE(hAgent = LaunchAttached(agent, folder), nullptr);
        ConsoleRun run = Ctl("disconnect --wait 20");
        ASSERT_EQ(run.dwExitCode, 0u) << run.out << run.err;
        ASSERT_EQ(run.out, "disconnected\n");
        ASSERT_EQ(folder.CountCalls(E2E_UNIMPORT_CALL), 1);
    }
};

}  // namespace

// Without an agent: its own code and message for every verb that needs one; a command line
// not understood is a usage error before any agent is looked for.
TEST_F(Q5ctl, NoAgentAndUsageFaults)
{
    ASSERT_EQ(FindWindowA(AGENT_CLASS, nullptr), nullptr);
    const struct { const char* pszArgs; DWORD dwCode; const char* pszErr; const char* pszOut; } kCases[] = {
        {"status", CTL_EXIT_NO_AGENT, "no " PRODUCT_NAME " agent runs in this session (start it, or add --start)\n", ""},
        {"connect --wait 5", CTL_EXIT_NO_AGENT, "no " PRODUCT_NAME " agent runs in this session (start it, or add --start)\n",
         ""},
        {"status --json", CTL_EXIT_NO_AGENT, "",
         "{\"verb\": \"status\", \"result\": \"no_agent\", \"exit_code\": 8, \"message\": \"no " PRODUCT_NAME " agent "
         "runs in this session (start it, or add --start)\"}\n"},
        {"frobnicate", CTL_EXIT_USAGE, "q5ctl: unknown verb: frobnicate (q5ctl --help lists the verbs)\n", ""},
        {"run --", CTL_EXIT_USAGE, "q5ctl: missing program after -- (q5ctl --help lists the verbs)\n", ""},
        {"--json connect --wait 86401", CTL_EXIT_USAGE, "",
         "{\"verb\": \"connect\", \"result\": \"usage\", \"exit_code\": 2, \"message\": \"q5ctl: --wait takes a "
         "whole number of seconds from 0 to 86400 (q5ctl --help lists the verbs)\"}\n"},
        {"--version", CTL_EXIT_OK, "", "q5ctl 1.0.2.8\n"},
    };
    for (const auto& c : kCases) {
        ConsoleRun run = Ctl(c.pszArgs);
        ASSERT_TRUE(run.bEnded) << c.pszArgs;
        EXPECT_EQ(run.dwExitCode, c.dwCode) << c.pszArgs;
        EXPECT_EQ(run.err, c.pszErr) << c.pszArgs;
        EXPECT_EQ(run.out, c.pszOut) << c.pszArgs;
    }
    ConsoleRun help = Ctl("--help");
    EXPECT_EQ(help.dwExitCode, 0u);
    EXPECT_NE(help.out.find("   8  no agent runs in this session\n"), std::string::npos) << help.out;
}

// Each state the device can be in, reached by connect --wait: its exit code, its line and
// the state status gives as JSON.
TEST_F(Q5ctl, ConnectWaitEndsWithTheCodeOfEachState)
{
    const struct {
        const char* pszName;
        const char* pszSection;   // the stand-in's or Setting.ini's change, "" for none
        const char* pszKey;
        const char* pszValue;
        bool bSettingIni;
        const char* pszArgs;
        DWORD dwCode;
        const char* pszLine;      // the start of q5ctl's line
        const char* pszState;
    } kCases[] = {
        {"connected", "", "", "", false, "connect --wait 30", CTL_EXIT_OK, "connected (server 192.168.1.10)",
         "\"connected\""},
        {"in use elsewhere", "server", "holder", "OTHER-PC", false, "connect --wait 2", CTL_EXIT_IN_USE,
         "not connected within 2 s: in use by OTHER-PC", "\"in_use\""},
        {"no server", "server", "present", "0", false, "connect --wait 60", CTL_EXIT_NO_DEVICE,
         "not connected: no device", "\"no_device\""},
        {"refused", "device", "id0", "VID_1111&PID_2222", true, "connect --wait 60", CTL_EXIT_REFUSED,
         "not connected: device VID_3A7C&PID_0105 refused by the device filter (not in Setting.ini)", "\"refused\""},
        {"poor signal", "system", "bitrate", "2000", true, "connect --wait 8", CTL_EXIT_POOR_SIGNAL,
         "not connected within 8 s: poor signal", "\"poor_signal\""},
        {"timed out", "", "", "", false, "connect --wait 0", CTL_EXIT_TIMED_OUT, "timed out after 0 s: free",
         "\"free\""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        ProgramFolder own("e2e-q5ctl-state");
        if (c.pszSection[0] && !c.bSettingIni)
            own.SetScenario(c.pszSection, c.pszKey, c.pszValue);
        if (c.pszKey == std::string("holder"))
            own.SetScenario("server", "status", "3");
        if (c.bSettingIni)
            own.SetSetting(c.pszSection, c.pszKey, c.pszValue);
        AgentProcess own_agent;
        HWND hWnd = LaunchAgent(own_agent, own);
        ASSERT_NE(hWnd, nullptr);
        ConsoleRun run = RunConsole(own.CtlExePath(), c.pszArgs, kCtlTimeoutMs);
        EXPECT_EQ(run.dwExitCode, c.dwCode) << run.out << run.err;
        std::string line = c.dwCode == CTL_EXIT_OK ? run.out : run.err;
        EXPECT_EQ(line.rfind(c.pszLine, 0), 0u) << line;
        ConsoleRun status = RunConsole(own.CtlExePath(), "status --json", kCtlTimeoutMs);
        EXPECT_EQ(status.dwExitCode, 0u);
        EXPECT_EQ(JsonValue(status.out, "state"), c.pszState) << status.out;
        if (c.dwCode == CTL_EXIT_IN_USE) {
            EXPECT_EQ(JsonValue(status.out, "holder"), "\"OTHER-PC\"");
        }
        EXPECT_TRUE(ExitAgentByMenu(own_agent, hWnd));
    }
}

// connect and disconnect are the menu's: the wish and the library calls follow them.
TEST_F(Q5ctl, DisconnectThenConnect)
{
    LaunchDetached();
    EXPECT_EQ(Status("wish"), "false");
    EXPECT_EQ(Status("state"), "\"free\"");
    ConsoleRun run = Ctl("--json connect --wait 30");
    EXPECT_EQ(run.dwExitCode, 0u) << run.out;
    EXPECT_EQ(JsonValue(run.out, "result"), "\"ok\"");
    EXPECT_EQ(JsonValue(run.out, "connected"), "true");
    EXPECT_EQ(folder.CountCalls(E2E_IMPORT_CALL), 2);
    run = Ctl("disconnect");
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "disconnect requested\n");
    EXPECT_TRUE(WaitUntil(10000, [&] { return folder.CountCalls(E2E_UNIMPORT_CALL) == 2; }));
}

// The device comes before the program starts, goes after it ends, and q5ctl ends with the
// program's own code; the program runs in the current folder with its quoting kept.
TEST_F(Q5ctl, RunHoldsTheDeviceForTheProgram)
{
    LaunchDetached();
    ConsoleRun run = Ctl("run --wait 30 -- cmd /c \"q5ctl.exe status --json > \"during run.txt\" & exit 7\"");
    EXPECT_EQ(run.dwExitCode, 7u) << run.err;
    EXPECT_EQ(run.err, "cmd ended with code 7; device given back\n");
    std::string during = ReadFileText(folder.Path() + "\\during run.txt");
    EXPECT_EQ(JsonValue(during, "state"), "\"connected\"") << during;
    EXPECT_EQ(JsonValue(during, "runs"), "1") << during;
    ASSERT_TRUE(WaitUntil(10000, [&] { return folder.CountCalls(E2E_UNIMPORT_CALL) == 2; }));
    EXPECT_EQ(folder.CountCalls(E2E_IMPORT_CALL), 2);
    EXPECT_TRUE(WaitUntil(10000, [&] { return Status("connected") == "false"; }));
    EXPECT_EQ(Status("wish"), "false");

    // A program that cannot be started: not started, and the device given back again.
    run = Ctl("--json run --wait 30 -- no-such-program.exe");
    EXPECT_EQ(run.dwExitCode, (DWORD)CTL_EXIT_NOT_STARTED);
    EXPECT_EQ(JsonValue(run.err, "result"), "\"not_started\"") << run.err;
    EXPECT_EQ(JsonValue(run.err, "program_exit_code"), "null");
    EXPECT_TRUE(WaitUntil(10000, [&] { return folder.CountCalls(E2E_UNIMPORT_CALL) == 3; }));
}

// A device connected before the run stays connected after it.
TEST_F(Q5ctl, RunLeavesADeviceConnectedBeforeConnected)
{
    ASSERT_NE(hAgent = LaunchAttached(agent, folder), nullptr);
    ConsoleRun run = Ctl("run -- cmd /c exit 0");
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.err, "cmd ended with code 0; device left as it was before the run\n");
    Sleep(1000);
    EXPECT_EQ(folder.CountCalls("WUSBUnimportDevice("), 0);
    EXPECT_EQ(Status("connected"), "true");
}

// Two runs at once: the device stays until the second ends, whichever began first.
TEST_F(Q5ctl, OverlappingRunsKeepTheDeviceUntilTheLastEnds)
{
    LaunchDetached();
    const std::string hold = WinePathOf(HOLD_PROGRAM_PATH);
    const std::string flagA = folder.Path() + "\\a.flag", flagB = folder.Path() + "\\b.flag";
    ConsoleRun runA, runB;
    std::thread threadA([&] { runA = Ctl("run --wait 30 -- \"" + hold + "\" 3 \"" + flagA + "\""); });
    ASSERT_TRUE(WaitUntil(30000, [&] { return Status("connected") == "true"; }));
    std::thread threadB([&] { runB = Ctl("run --wait 30 -- \"" + hold + "\" 4 \"" + flagB + "\""); });
    EXPECT_TRUE(WaitUntil(30000, [&] { return Status("runs") == "2"; }));

    folder.Write("a.flag", "");
    threadA.join();
    EXPECT_EQ(runA.dwExitCode, 3u);
    EXPECT_NE(runA.err.find("ended with code 3; device kept: another run still uses it\n"), std::string::npos)
        << runA.err;
    EXPECT_EQ(Status("connected"), "true");
    EXPECT_EQ(folder.CountCalls(E2E_UNIMPORT_CALL), 1);

    folder.Write("b.flag", "");
    threadB.join();
    EXPECT_EQ(runB.dwExitCode, 4u);
    EXPECT_NE(runB.err.find("ended with code 4; device given back\n"), std::string::npos) << runB.err;
    EXPECT_TRUE(WaitUntil(10000, [&] { return folder.CountCalls(E2E_UNIMPORT_CALL) == 2; }));
    EXPECT_EQ(folder.CountCalls(E2E_IMPORT_CALL), 2);
}

// autoconnect off is written for the user and applied by the running agent at once: the
// wish goes, and a device that becomes free is not attached; on brings it back.
TEST_F(Q5ctl, AutoconnectAppliesWithoutRestart)
{
    folder.SetHolder("OTHER-PC");
    ASSERT_NE(hAgent = LaunchAgent(agent, folder), nullptr);
    ASSERT_TRUE(WaitUntil(10000, [&] { return Status("state") == "\"in_use\""; }));
    EXPECT_EQ(Status("wish"), "true");

    ConsoleRun run = Ctl("autoconnect off");
    EXPECT_EQ(run.dwExitCode, 0u) << run.err;
    EXPECT_EQ(run.out, "autoconnect off for this user; the agent applied it\n");
    DWORD dwValue = 99;
    EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_AUTOCONNECT_VALUE, &dwValue));
    EXPECT_EQ(dwValue, 0u);
    EXPECT_EQ(Status("wish"), "false");
    EXPECT_EQ(Status("autoconnect"), "false");

    folder.SetHolder("");
    ASSERT_TRUE(WaitUntil(10000, [&] { return Status("state") == "\"free\""; }));
    EXPECT_EQ(SettledImports(folder), 0);

    run = Ctl("autoconnect on");
    EXPECT_EQ(run.dwExitCode, 0u) << run.err;
    EXPECT_TRUE(RegReadDword(PRODUCT_AGENT_KEY, PRODUCT_AUTOCONNECT_VALUE, &dwValue));
    EXPECT_EQ(dwValue, 1u);
    EXPECT_TRUE(WaitUntil(15000, [&] { return folder.CountCalls(E2E_IMPORT_CALL) == 1; }));
}

// --start starts the agent beside q5ctl and answers once it does.
TEST_F(Q5ctl, StartStartsTheAgentBeside)
{
    ASSERT_EQ(FindWindowA(AGENT_CLASS, nullptr), nullptr);
    ConsoleRun run = Ctl("--start status --json");
    EXPECT_EQ(run.dwExitCode, 0u) << run.out;
    EXPECT_EQ(JsonValue(run.out, "server"), "\"192.168.1.10\"");
    ASSERT_NE(FindWindowA(AGENT_CLASS, nullptr), nullptr);
    EXPECT_TRUE(EndRunningAgents());
}

// Records of every wrong size, garbage, every verb with a bad argument, a wrong answer
// window: each refused, the agent running on with its state and library calls unchanged.
TEST_F(Q5ctl, MalformedRequestsChangeNothing)
{
    ASSERT_NE(hAgent = LaunchAttached(agent, folder), nullptr);
    const std::string before = Ctl("status --json").out;
    ASSERT_EQ(JsonValue(before, "connected"), "true");
    const size_t nCalls = folder.JournalCalls().size();
    // q5ctl's own answer window in this process, so that only the record decides.
    ASSERT_TRUE(OpenCtlReplyWindow());
    HWND hAnswer = FindWindowExA(HWND_MESSAGE, nullptr, PRODUCT_CTL_REPLY_CLASS, nullptr);
    ASSERT_NE(hAnswer, nullptr);
    HWND hOtherClass = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);

    struct Case { std::string name; std::vector<BYTE> data; ULONG_PTR dwData; HWND hFrom; };
    std::vector<Case> cases;
    auto record = [](DWORD dwMagic, DWORD dwVersion, DWORD dwVerb, DWORD dwArg) {
        ControlRequest request = {dwMagic, dwVersion, dwVerb, dwArg};
        const BYTE* p = reinterpret_cast<const BYTE*>(&request);
        return std::vector<BYTE>(p, p + sizeof(request));
    };
    const std::vector<BYTE> good = record(CONTROL_MAGIC, CONTROL_VERSION, CONTROL_DISCONNECT, 0);
    for (size_t cb : {0, 1, 15, 17, 32, 4096, 1 << 20}) {
        std::vector<BYTE> data(cb, 0);
        std::copy(good.begin(), good.begin() + std::min(cb, good.size()), data.begin());
        cases.push_back({"size " + std::to_string(cb), data, CONTROL_MAGIC, hAnswer});
    }
    std::vector<BYTE> garbage(sizeof(ControlRequest));
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = (BYTE)(i * 37 + 11);
    cases.push_back({"garbage", garbage, CONTROL_MAGIC, hAnswer});
    cases.push_back({"wrong dwData", good, 0x12345678, hAnswer});
    cases.push_back({"wrong magic", record(0x51435451, CONTROL_VERSION, CONTROL_DISCONNECT, 0), CONTROL_MAGIC, hAnswer});
    cases.push_back({"wrong version", record(CONTROL_MAGIC, 2, CONTROL_DISCONNECT, 0), CONTROL_MAGIC, hAnswer});
    for (DWORD dwVerb : {(DWORD)0, (DWORD)CONTROL_VERB_END, (DWORD)0xFFFFFFFF})
        cases.push_back({"verb " + std::to_string(dwVerb), record(CONTROL_MAGIC, CONTROL_VERSION, dwVerb, 0),
                         CONTROL_MAGIC, hAnswer});
    for (DWORD dwVerb = CONTROL_STATUS; dwVerb < CONTROL_VERB_END; ++dwVerb)
        for (DWORD dwArg : {(DWORD)2, (DWORD)0x80000000, (DWORD)0xFFFFFFFF})
            cases.push_back({"verb " + std::to_string(dwVerb) + " arg " + std::to_string(dwArg),
                             record(CONTROL_MAGIC, CONTROL_VERSION, dwVerb, dwArg), CONTROL_MAGIC, hAnswer});
    cases.push_back({"no answer window", good, CONTROL_MAGIC, nullptr});
    cases.push_back({"the agent as answer window", good, CONTROL_MAGIC, hAgent});
    cases.push_back({"answer window of another class", good, CONTROL_MAGIC, hOtherClass});

    for (const Case& c : cases) {
        COPYDATASTRUCT copy = {c.dwData, (DWORD)c.data.size(), c.data.empty() ? nullptr : (void*)c.data.data()};
        DWORD_PTR dwResult = 77;
        LRESULT lSent = SendMessageTimeoutA(hAgent, WM_COPYDATA, (WPARAM)c.hFrom, (LPARAM)&copy, SMTO_ABORTIFHUNG,
                                            10000, &dwResult);
        EXPECT_NE(lSent, 0) << c.name << ": no answer";
        EXPECT_EQ(dwResult, (DWORD_PTR)FALSE) << c.name;
    }
    // A well-formed end of a run that never began is answered and changes nothing either.
    std::vector<BYTE> end = record(CONTROL_MAGIC, CONTROL_VERSION, CONTROL_RUN_END, 0);
    COPYDATASTRUCT copy = {CONTROL_MAGIC, (DWORD)end.size(), end.data()};
    DWORD_PTR dwResult = 0;
    EXPECT_NE(SendMessageTimeoutA(hAgent, WM_COPYDATA, (WPARAM)hAnswer, (LPARAM)&copy, SMTO_ABORTIFHUNG, 10000,
                                  &dwResult), 0);

    Sleep(DELAY_IMPORT_MS);
    EXPECT_TRUE(agent.Running());
    EXPECT_EQ(Ctl("status --json").out, before);
    std::vector<std::string> calls = folder.JournalCalls();
    for (size_t i = nCalls; i < calls.size(); ++i)
        EXPECT_TRUE(calls[i].rfind("WUSBImportDevice(", 0) != 0 && calls[i].rfind("WUSBUnimportDevice(", 0) != 0)
            << calls[i];
    DestroyWindow(hOtherClass);
    CloseCtlReplyWindow();
}

namespace {

// Starts q5ctl on this process's console, so that a Ctrl+C given to the console reaches it.
bool StartOnConsole(const ProgramFolder& folder, const std::string& args, PROCESS_INFORMATION* pPi)
{
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    std::string command = "\"" + folder.CtlExePath() + "\" " + args;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.Path().c_str(), &si,
                          pPi) != FALSE;
}

// Ctrl+C to every process of the console but this one; the exit code of pi's process after it.
DWORD PressCtrlC(const PROCESS_INFORMATION& pi, DWORD nWaitMs)
{
    SetConsoleCtrlHandler(nullptr, TRUE);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    Sleep(500);   // delivered on threads of their own: let them run before this process takes it again
    SetConsoleCtrlHandler(nullptr, FALSE);
    WaitForSingleObject(pi.hProcess, nWaitMs);
    DWORD dwCode = 0;
    GetExitCodeProcess(pi.hProcess, &dwCode);
    return dwCode;
}

}  // namespace

// Ctrl+C in connect's wait takes back the connect it asked for, and only that; Ctrl+C during
// run's program is the program's, and q5ctl gives the device back after the program ends.
TEST_F(Q5ctl, CtrlCWithdrawsTheWaitAndLeavesTheProgramItsOwn)
{
    LaunchDetached();
    // Wine sends console events only within a console it made, not on the terminal it started from.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();

    folder.SetHolder("OTHER-PC");
    Sleep(500);   // the stand-in notices the change within 0.1 s
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(StartOnConsole(folder, "connect --wait 60", &pi));
    EXPECT_TRUE(WaitUntil(30000, [&] { return Status("wish") == "true"; }));
    EXPECT_EQ(Status("state"), "\"in_use\"");
    EXPECT_EQ(PressCtrlC(pi, 20000), (DWORD)CTL_EXIT_CANCELLED);
    TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(Status("wish"), "false");
    // The device, free again, is not attached: nobody wants it.
    folder.SetHolder("");
    EXPECT_EQ(SettledImports(folder), 1);

    const std::string flag = folder.Path() + "\\end.flag";
    ASSERT_TRUE(StartOnConsole(folder, "run --wait 30 -- \"" + WinePathOf(HOLD_PROGRAM_PATH) + "\" 5 \"" + flag + "\"",
                               &pi));
    ASSERT_TRUE(WaitUntil(30000, [&] { return Status("runs") == "1" && Status("connected") == "true"; }));
    EXPECT_EQ(PressCtrlC(pi, 1000), (DWORD)STILL_ACTIVE) << "q5ctl stays while the program runs";
    EXPECT_EQ(Status("connected"), "true");
    folder.Write("end.flag", "");
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD dwCode = 0;
    GetExitCodeProcess(pi.hProcess, &dwCode);
    // The program's own code; plus 100 where the Ctrl+C reached it too. (Wine delivers it to
    // the program when the test runs on a terminal, not when ctest holds its output on pipes.)
    EXPECT_TRUE(dwCode == 5 || dwCode == 105) << dwCode;
    TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_TRUE(WaitUntil(10000, [&] { return folder.CountCalls(E2E_UNIMPORT_CALL) == 2; }));
}
