// The real q5check.exe under Wine beside the stand-in: the verdict line, the
// JSON and the exit code of each situation, and never an import or a detach.
#include <gtest/gtest.h>
#include "support/agent_process.h"
#include "support/console_process.h"
#include "q5check/check_report.h"

namespace {

constexpr DWORD kRunTimeoutMs = 30000;

// Two boxes, the first one's device held by another computer.
const char* const kTwoBoxes = "[server]\r\nstatus=3\r\nholder=OFFICE-PC\r\n[server2]\r\naddress=192.168.1.20\r\n";

enum class Library { StandIn, Missing, WithCompanion, WithoutCompanion, OtherDll };
enum class Settings { Shipped, Missing, Folder, Custom };

struct Scenario {
    const char* pszName;
    const char* pszWorld;      // the stand-in's scenario file
    Library library;
    Settings settings;
    const char* pszSettingIni; // Settings::Custom only
    const char* pszArgs;
    Verdict verdict;
    const char* pszVerdict;    // the verdict line's text
    std::vector<std::pair<const char*, const char*>> json;   // key and raw value
    std::vector<PolicyValue> policies = {};                   // set for this run only
};

// The text after the label of the last line, which must be the verdict.
std::string VerdictLine(const std::string& out)
{
    size_t start = out.rfind('\n', out.size() >= 2 ? out.size() - 2 : 0);
    std::string line = out.substr(start == std::string::npos ? 0 : start + 1);
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (line.rfind("Verdict:", 0) != 0)
        return "<no verdict line: " + line + ">";
    size_t text = line.find_first_not_of(' ', 8);
    return text == std::string::npos ? "" : line.substr(text);
}

// One line of the text report.
std::string ReportLine(const std::string& label, const std::string& text)
{
    return label + std::string(REPORT_LABEL_WIDTH - label.size(), ' ') + text + "\n";
}

std::string VariantPath(const char* pszFile)
{
    return DistDir() + "\\..\\variants\\companion\\" + pszFile;
}

void LayOut(const ProgramFolder& folder, const Scenario& s)
{
    folder.WriteScenario(s.pszWorld);
    if (s.library == Library::Missing)
        folder.Remove("wusb.dll");
    // A library that needs a DLL of its own beside it, with and without that DLL.
    if (s.library == Library::WithCompanion || s.library == Library::WithoutCompanion)
        CopyFileA(VariantPath("wusb.dll").c_str(), (folder.Path() + "\\wusb.dll").c_str(), FALSE);
    if (s.library == Library::WithCompanion)
        CopyFileA(VariantPath("wusbnet.dll").c_str(), (folder.Path() + "\\wusbnet.dll").c_str(), FALSE);
    if (s.library == Library::OtherDll)
        CopyFileA(VariantPath("wusbnet.dll").c_str(), (folder.Path() + "\\wusb.dll").c_str(), FALSE);
    if (s.settings != Settings::Shipped)
        folder.Remove("Setting.ini");
    if (s.settings == Settings::Folder)
        CreateDirectoryA((folder.Path() + "\\Setting.ini").c_str(), nullptr);
    if (s.settings == Settings::Custom)
        folder.Write("Setting.ini", s.pszSettingIni);
}

}  // namespace

TEST(Diagnostics, EachSituationHasItsVerdictJsonAndExitCode)
{
    const Scenario scenarios[] = {
        {"free and accepted", "", Library::StandIn, Settings::Shipped, nullptr, "", VERDICT_WOULD_ATTACH,
         "would attach",
         {{"accepted", "true"}, {"entry", "\"id0\""}, {"status", "\"free\""}, {"address", "\"192.168.1.10\""},
          {"web_page", "\"http://192.168.1.10\""}, {"firmware", "\"2.1.0.7\""}, {"hardware_id", "\"VID_3A7C&PID_0105\""},
          {"agent_running", "false"}}},
        {"attached here", "[library]\r\ncomputer_name=HERE-PC\r\n[server]\r\nstatus=3\r\nholder=here-pc\r\n",
         Library::StandIn, Settings::Shipped, nullptr, "", VERDICT_ATTACHED_HERE, "attached to this computer",
         {{"this_computer", "true"}, {"computer_name", "\"HERE-PC\""}}},
        {"in use elsewhere", "[server]\r\nstatus=3\r\nholder=OFFICE-PC\r\n", Library::StandIn, Settings::Shipped,
         nullptr, "", VERDICT_IN_USE, "in use by OFFICE-PC",
         {{"status", "\"in_use\""}, {"holder", "\"OFFICE-PC\""}, {"this_computer", "false"}}},
        {"device not accepted", "[server]\r\nvid=0x1234\r\npid=0x5678\r\n", Library::StandIn, Settings::Shipped,
         nullptr, "", VERDICT_NOT_ACCEPTED, "device VID_1234&PID_5678 is not in Setting.ini",
         {{"accepted", "false"}, {"line_to_add", "\"id1=VID_1234&PID_5678\""}, {"idnum_to_set", "2"}}},
        {"server without device", "[server]\r\ndevice_count=0\r\n", Library::StandIn, Settings::Shipped, nullptr, "",
         VERDICT_NO_DEVICE, "server 192.168.1.10 has no USB device plugged in", {{"first_device", "null"}}},
        {"no server", "[server]\r\npresent=0\r\n", Library::StandIn, Settings::Shipped, nullptr, "",
         VERDICT_NO_SERVER, "no server found: check that the box is on and on this network",
         {{"servers_listed", "0"}, {"open_result", "0"}}},
        {"named box listed second", kTwoBoxes, Library::StandIn, Settings::Custom,
         "[device]\r\nidnum=1\r\nid0=VID_3A7C&PID_0105\r\n[server]\r\naddress=192.168.1.20\r\n", "",
         VERDICT_WOULD_ATTACH, "would attach",
         {{"chosen_server", "2"}, {"chosen_by", "\"address\""}, {"server_address", "\"192.168.1.20\""}}},
        {"named box not listed", kTwoBoxes, Library::StandIn, Settings::Custom,
         "[device]\r\nidnum=1\r\nid0=VID_3A7C&PID_0105\r\n[server]\r\naddress=192.168.1.99\r\n", "",
         VERDICT_SERVER_NOT_LISTED,
         "server 192.168.1.99 named in Setting.ini not found; listed: 192.168.1.10, 192.168.1.20",
         {{"chosen_server", "null"}, {"chosen_by", "\"address_not_listed\""}, {"servers_listed", "2"}}},
        {"bandwidth too low", "[server]\r\nbitrate=1500\r\n", Library::StandIn, Settings::Custom,
         "[device]\r\nidnum=1\r\nid0=VID_3A7C&PID_0105\r\n[system]\r\nbitrate=2000\r\ntransfersize=4096\r\n",
         "--bandwidth", VERDICT_POOR_SIGNAL, "bandwidth too low: measured 1500, Setting.ini asks for at least 2000",
         {{"measured", "1500"}, {"bitrate", "2000"}, {"transfersize", "4096"}}},
        {"connect on demand", "", Library::StandIn, Settings::Custom,
         "[device]\r\nidnum=1\r\nid0=VID_3A7C&PID_0105\r\n[share]\r\nautoconnect=0\r\n", "", VERDICT_ON_DEMAND,
         "would not attach by itself (autoconnect=0 in Setting.ini): Connect in the tray menu attaches it",
         {{"source", "\"setting_ini\""}, {"status", "\"free\""}}},
        {"Setting.ini missing", "", Library::StandIn, Settings::Missing, nullptr, "", VERDICT_NO_SETTINGS,
         "Setting.ini missing: the agent accepts no device", {{"readable", "false"}, {"error", "2"}}},
        {"Setting.ini unreadable", "", Library::StandIn, Settings::Folder, nullptr, "", VERDICT_NO_SETTINGS,
         "Setting.ini unreadable (error 5): the agent accepts no device", {{"readable", "false"}, {"error", "5"}}},
        {"library fails to open", "[library]\r\nopen_result=7\r\n", Library::StandIn, Settings::Shipped, nullptr, "",
         VERDICT_OPEN_FAILED, "library failed to start (WUSBOpen returned 7)",
         {{"open_result", "7"}, {"servers_listed", "0"}, {"notifications", "0"}}},
        {"wusb.dll missing", "", Library::Missing, Settings::Shipped, nullptr, "", VERDICT_NO_LIBRARY,
         "wusb.dll not found in the program folder", {{"found", "false"}, {"open_result", "null"}}},
        {"companion DLL beside the library", "", Library::WithCompanion, Settings::Shipped, nullptr, "",
         VERDICT_WOULD_ATTACH, "would attach", {{"load_error", "0"}, {"open_result", "0"}}},
        {"companion DLL missing", "", Library::WithoutCompanion, Settings::Shipped, nullptr, "",
         VERDICT_LIBRARY_UNLOADABLE, "wusb.dll could not be loaded (error 126: it or a DLL it needs is missing)",
         {{"found", "true"}, {"load_error", "126"}}},
        {"another DLL named wusb.dll", "", Library::OtherDll, Settings::Shipped, nullptr, "",
         VERDICT_LIBRARY_INCOMPLETE, "wusb.dll lacks 9 of the 9 functions the agent needs",
         {{"WUSBOpen", "false"}, {"computerName", "false"}, {"load_error", "0"}}},
        {"policies name their sources", "", Library::StandIn, Settings::Shipped, nullptr, "", VERDICT_ON_DEMAND,
         "would not attach by itself (autoconnect=0 in user policy): Connect in the tray menu attaches it",
         {{"device_list_source", "\"computer_policy\""}, {"server_source", "\"computer_policy\""},
          {"bitrate_source", "\"setting_ini\""}, {"lang_source", "\"user_policy\""},
          {"startwin_source", "\"computer_policy\""}, {"source", "\"user_policy\""},
          {"chosen_by", "\"address\""},
          {"ignored_policies", "[\"bitrate=(type 1) in user policy\""}},
         {{HKEY_LOCAL_MACHINE, "devices", REG_SZ, 0, "VID_3A7C&PID_0105"},
          {HKEY_LOCAL_MACHINE, "server", REG_SZ, 0, "192.168.1.10"}, {HKEY_CURRENT_USER, "lang", REG_SZ, 0, "en"},
          {HKEY_LOCAL_MACHINE, "startwin", REG_DWORD, 0, nullptr}, {HKEY_CURRENT_USER, "bitrate", REG_SZ, 0, "fast"},
          {HKEY_CURRENT_USER, "autoconnect", REG_DWORD, 0, nullptr}}},
        {"device list policy refuses", "", Library::StandIn, Settings::Shipped, nullptr, "", VERDICT_NOT_ACCEPTED,
         "device VID_3A7C&PID_0105 is not in the device list of the computer policy",
         {{"device_list_source", "\"computer_policy\""}, {"ignored_policies", "["}},
         {{HKEY_LOCAL_MACHINE, "devices", REG_SZ, 0, "VID_0000&PID_0001"}}},
        {"Setting.ini missing, device list by policy", "", Library::StandIn, Settings::Missing, nullptr, "",
         VERDICT_WOULD_ATTACH, "would attach", {{"device_list_source", "\"computer_policy\""}, {"readable", "false"}},
         {{HKEY_LOCAL_MACHINE, "devices", REG_SZ, 0, "VID_3A7C&PID_0105"}}},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.pszName);
        ProgramFolder folder("e2e-check");
        LayOut(folder, s);
        PolicySandbox policies;
        for (const PolicyValue& value : s.policies)
            policies.Set(value);
        const VerdictInfo& info = GetVerdictInfo(s.verdict);
        std::string args = std::string("--wait 1 ") + s.pszArgs;

        ConsoleRun text = RunConsole(folder.CheckExePath(), args, kRunTimeoutMs);
        ASSERT_TRUE(text.bEnded);
        EXPECT_EQ(text.dwExitCode, (DWORD)info.nExitCode);
        EXPECT_EQ(VerdictLine(text.out), s.pszVerdict) << text.out;
        EXPECT_EQ(text.err, "");

        ConsoleRun json = RunConsole(folder.CheckExePath(), args + " --json", kRunTimeoutMs);
        ASSERT_TRUE(json.bEnded);
        EXPECT_EQ(json.dwExitCode, (DWORD)info.nExitCode);
        EXPECT_EQ(json.out.front(), '{');
        EXPECT_EQ(json.out.substr(json.out.size() - 2), "}\n");
        EXPECT_EQ(JsonValue(json.out, "verdict"), "\"" + std::string(s.pszVerdict) + "\"");
        EXPECT_EQ(JsonValue(json.out, "verdict_key"), "\"" + std::string(info.pszKey) + "\"");
        EXPECT_EQ(JsonValue(json.out, "exit_code"), std::to_string(info.nExitCode));
        for (const auto& kv : s.json)
            EXPECT_EQ(JsonValue(json.out, kv.first), kv.second) << kv.first << " in " << json.out;

        EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 0);
        EXPECT_EQ(folder.CountCalls("WUSBUnimportDevice("), 0);
    }
}

TEST(Diagnostics, DefaultRunIsPlainAndQuick)
{
    ProgramFolder folder("e2e-check-default");
    ConsoleRun run = RunConsole(folder.CheckExePath(), "", kRunTimeoutMs);
    ASSERT_TRUE(run.bEnded);
    EXPECT_EQ(run.dwExitCode, (DWORD)GetVerdictInfo(VERDICT_WOULD_ATTACH).nExitCode);
    for (char c : run.out)
        ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "not plain ASCII: " << (int)(unsigned char)c;
    EXPECT_NE(run.out.find(ReportLine("  functions:", "all 9 present")), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(ReportLine("  first device:", "id 1, VID_3A7C&PID_0105, free")), std::string::npos);
    EXPECT_NE(run.out.find(ReportLine("Agent:", "not running")), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(ReportLine("  device list:", "Setting.ini (1)")), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(ReportLine("  server:", "built in")), std::string::npos) << run.out;
    // The list, read once and again at each notification, and the library closed at the end.
    std::vector<std::string> calls = folder.JournalCalls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "WUSBOpen(32868,3000,0) = 0");
    EXPECT_EQ(calls[1], "WUSBManualScan() = 0");
    EXPECT_EQ(calls.back(), "WUSBClose() = 0");
}

TEST(Diagnostics, BadCommandLinesGetUsageAndCodeTwo)
{
    ProgramFolder folder("e2e-check-usage");
    const struct {
        const char* pszArgs;
        const char* pszReason;
    } cases[] = {
        {"--frobnicate", "q5check: unknown option: --frobnicate\n"},
        {"--wait 61", "q5check: --wait takes a whole number of seconds from 0 to 60\n"},
        {"--wait -1", "q5check: --wait takes a whole number of seconds from 0 to 60\n"},
        {"--wait=abc", "q5check: --wait takes a whole number of seconds from 0 to 60\n"},
        {"--wait", "q5check: --wait takes a whole number of seconds from 0 to 60\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszArgs);
        ConsoleRun run = RunConsole(folder.CheckExePath(), c.pszArgs, kRunTimeoutMs);
        ASSERT_TRUE(run.bEnded);
        EXPECT_EQ(run.dwExitCode, (DWORD)EXIT_USAGE);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind(c.pszReason, 0), 0u) << run.err;
        EXPECT_NE(run.err.find("usage: q5check [--wait SECONDS] [--bandwidth] [--json]\n"), std::string::npos);
    }
    EXPECT_TRUE(folder.Journal().empty()) << "a bad command line must not load the library";
}

TEST(Diagnostics, SaysSoWhenTheAgentRuns)
{
    RegistrySandbox registry;
    ProgramFolder folder("e2e-check-agent");
    // Held elsewhere: the agent leaves it alone, so any import would be the check's.
    folder.WriteScenario("[server]\r\nstatus=3\r\nholder=OFFICE-PC\r\n");
    AgentProcess agent;
    HWND hWnd = LaunchAgent(agent, folder);
    ASSERT_NE(hWnd, nullptr);

    ConsoleRun text = RunConsole(folder.CheckExePath(), "--wait 1", kRunTimeoutMs);
    ConsoleRun json = RunConsole(folder.CheckExePath(), "--wait 1 --json", kRunTimeoutMs);
    EXPECT_NE(text.out.find(ReportLine("Agent:", "running; this check never imports or unimports, the agent does")),
              std::string::npos) << text.out;
    EXPECT_EQ(VerdictLine(text.out), "in use by OFFICE-PC");
    EXPECT_EQ(JsonValue(json.out, "agent_running"), "true");
    EXPECT_EQ(folder.CountCalls("WUSBImportDevice("), 0);
    // Counted before the agent exits: its exit sequence asks for a detach of its own.
    EXPECT_EQ(folder.CountCalls("WUSBUnimportDevice("), 0);
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}
