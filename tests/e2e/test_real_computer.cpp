// The real agent as a user's computer meets it: a vendor library with DLLs of its
// own, work the library goes on with after WUSBClose, double starts, a program
// folder the ANSI code page cannot spell, and the end of the session.
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include "support/agent_process.h"
#include "settings/settings.h"
#include "sim/sim_journal.h"

namespace {

class RealComputer : public ::testing::Test {
protected:
    RegistrySandbox registry;
};

// The stand-in's second build, which imports a companion DLL from beside it.
std::string CompanionDir() { return DistDir() + "\\..\\variants\\companion"; }
const char* const kCompanionDll = "wusbnet.dll";

}  // namespace

TEST_F(RealComputer, LibraryLoadsWithItsCompanionAndStaysLoadedPastClose)
{
    struct Case {
        const char* pszName;
        bool bCompanion;
    } cases[] = {{"companion beside it", true}, {"companion missing", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ProgramFolder folder("e2e-companion");
        CopyFileA((CompanionDir() + "\\wusb.dll").c_str(), (folder.Path() + "\\wusb.dll").c_str(), FALSE);
        if (c.bCompanion)
            CopyFileA((CompanionDir() + "\\" + kCompanionDll).c_str(),
                      (folder.Path() + "\\" + kCompanionDll).c_str(), FALSE);
        // The library's own work runs on for a moment after it is closed.
        folder.SetScenario("library", "close_linger_ms", "1500");
        AgentProcess agent;
        HWND hWnd = LaunchAgent(agent, folder);
        ASSERT_NE(hWnd, nullptr);
        DWORD dwCode = 1;
        if (c.bCompanion) {
            ASSERT_TRUE(folder.WaitCalls("WUSBManualScan() = 0", 1, E2E_START_TIMEOUT_MS));
            EXPECT_EQ(folder.JournalCalls().front(), "WUSBOpen(32868,3000,0) = 0");
            EXPECT_TRUE(agent.VisibleDialogs().empty());
            ASSERT_TRUE(ExitAgentByMenu(agent, hWnd, &dwCode));
            EXPECT_EQ(folder.JournalCalls().back(), "WUSBClose() = 0");
            EXPECT_EQ(folder.CountCalls(SIM_UNLOADED_AT_WORK), 0) << "the library was unloaded under its own work";
        } else {
            HWND hBox = WaitVisibleDialog(agent, E2E_START_TIMEOUT_MS);
            ASSERT_NE(hBox, nullptr) << "the library-failed box";
            ASSERT_TRUE(AnswerOkAndWaitExit(agent, hBox, &dwCode));
            EXPECT_TRUE(folder.Journal().empty());
        }
        EXPECT_EQ(dwCode, 0u);
    }
}

TEST_F(RealComputer, TwoStartsAtOnceMakeOneAgent)
{
    const DWORD gaps[] = {0, 50, 200, 500};
    for (DWORD nGapMs : gaps) {
        SCOPED_TRACE("gap " + std::to_string(nGapMs) + " ms");
        ProgramFolder folder("e2e-double");
        AgentProcess starts[2];
        ASSERT_TRUE(starts[0].Start(folder.ExePath()));
        Sleep(nGapMs);
        ASSERT_TRUE(starts[1].Start(folder.ExePath()));

        // Whichever start won runs; the other explains itself.
        int nAgent = -1;
        ASSERT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [&] {
            for (int i = 0; i < 2; ++i)
                if (starts[i].FindWindowOf(AGENT_CLASS) && !starts[1 - i].VisibleDialogs().empty())
                    nAgent = i;
            return nAgent >= 0;
        }));
        AgentProcess& agent = starts[nAgent];
        AgentProcess& second = starts[1 - nAgent];
        ASSERT_TRUE(folder.WaitCalls("WUSBManualScan() = 0", 1, E2E_START_TIMEOUT_MS));
        EXPECT_EQ(second.FindWindowOf(AGENT_CLASS), nullptr);
        EXPECT_EQ(second.VisibleDialogs().size(), 1u);
        HWND hDlg = second.VisibleDialogs().front();

        if (nGapMs == gaps[0]) {
            // The agent ends while the second start's dialog is still open: a third start runs.
            ASSERT_TRUE(ExitAgentByMenu(agent, agent.FindWindowOf(AGENT_CLASS)));
            AgentProcess third;
            HWND hThird = LaunchAgent(third, folder);
            ASSERT_NE(hThird, nullptr);
            EXPECT_TRUE(folder.WaitCalls("WUSBOpen(", 2, E2E_START_TIMEOUT_MS));
            EXPECT_TRUE(ExitAgentByMenu(third, hThird));
        } else {
            EXPECT_TRUE(ExitAgentByMenu(agent, agent.FindWindowOf(AGENT_CLASS)));
        }
        DWORD dwCode = 1;
        ASSERT_TRUE(AnswerOkAndWaitExit(second, hDlg, &dwCode));
        EXPECT_EQ(dwCode, 0u);
        EXPECT_EQ(folder.CountCalls("WUSBOpen("), nGapMs == gaps[0] ? 2 : 1);
    }
}

// A user who chose Exit and starts again at once, while the first agent still pauses
// before closing the library, gets a new agent once the first has ended: not "already running".
TEST_F(RealComputer, AStartWhileTheLastAgentEndsWaitsForIt)
{
    ProgramFolder folder("e2e-restart");
    AgentProcess first;
    HWND hWnd = LaunchAgent(first, folder);
    ASSERT_NE(hWnd, nullptr);
    PostMessageA(hWnd, WM_COMMAND, PRODUCT_EXIT_COMMAND, 0);
    ASSERT_TRUE(WaitUntil(E2E_EXIT_TIMEOUT_MS, [&] { return !first.FindWindowOf(AGENT_CLASS); }));
    ASSERT_TRUE(first.Running()) << "the first agent must still be in its last pause";

    AgentProcess second;
    HWND hSecond = LaunchAgent(second, folder);
    ASSERT_NE(hSecond, nullptr);
    EXPECT_TRUE(second.VisibleDialogs().empty());
    EXPECT_FALSE(first.Running());
    // The second agent opens the library (just after its window) once the first has closed it.
    auto opensAfterClose = [&] {
        std::vector<std::string> calls = folder.JournalCalls();
        auto itClose = std::find(calls.begin(), calls.end(), "WUSBClose() = 0");
        return itClose == calls.end() ? -1 : (int)std::count(itClose, calls.end(), "WUSBOpen(32868,3000,0) = 0");
    };
    EXPECT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [&] { return opensAfterClose() == 1; }))
        << "opens after the first agent's close: " << opensAfterClose();
    EXPECT_TRUE(ExitAgentByMenu(second, hSecond));
}

// A program folder below a user name in another alphabet, on an English system.
TEST_F(RealComputer, ProgramFolderTheCodePageCannotSpell)
{
    ProgramFolder plain("e2e-cyrillic");
    // "Пользователь" in UTF-8 (the tests' paths are UTF-8); in ANSI the agent would see '?'.
    const std::string parent = plain.Path() + "\\\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C\xD0\xB7\xD0\xBE\xD0\xB2"
                                              "\xD0\xB0\xD1\x82\xD0\xB5\xD0\xBB\xD1\x8C";
    const std::string dir = parent + "\\" PRODUCT_NAME;
    const char* const files[] = {PRODUCT_EXE, "wusb.dll", "Setting.ini", "lang\\" PRODUCT_LANG_FILE_PREFIX "de.ini"};
    auto removeTree = [&] {
        for (const char* pszFile : files)
            DeleteFileW(WidePath(dir + "\\" + pszFile).c_str());
        for (const std::string& d : {dir + "\\lang", dir, parent})
            RemoveDirectoryW(WidePath(d).c_str());
    };
    ASSERT_TRUE(CreateDirectoryW(WidePath(parent).c_str(), nullptr));
    CreateDirectoryW(WidePath(dir).c_str(), nullptr);
    CreateDirectoryW(WidePath(dir + "\\lang").c_str(), nullptr);
    for (const char* pszFile : files)
        ASSERT_TRUE(CopyFileW(WidePath(plain.Path() + "\\" + pszFile).c_str(), WidePath(dir + "\\" + pszFile).c_str(),
                              FALSE))
            << pszFile;
    // The stand-in's own files stay in the plain folder: only the agent is on trial here.
    SetEnvironmentVariableA("WUSB_SIM_SCENARIO", plain.ScenarioPath().c_str());
    SetEnvironmentVariableA("WUSB_SIM_JOURNAL", plain.JournalPath().c_str());
    // Undone however the test ends, after the agents below have ended.
    struct Undo {
        std::function<void()> fn;
        ~Undo() { fn(); }
    } undo{[&] {
        SetEnvironmentVariableA("WUSB_SIM_SCENARIO", nullptr);
        SetEnvironmentVariableA("WUSB_SIM_JOURNAL", nullptr);
        removeTree();
    }};

    AgentProcess agent, second;
    HWND hWnd = LaunchAttached(agent, plain, dir + "\\" PRODUCT_EXE);
    EXPECT_NE(hWnd, nullptr) << "library opened and the device, accepted by Setting.ini, attached";
    std::string run;
    EXPECT_TRUE(RegReadString(PRODUCT_RUN_KEY, PRODUCT_RUN_VALUE, &run));
    ASSERT_GT(run.size(), 2u);
    std::string runPath = run.substr(1, run.size() - 2);
    EXPECT_EQ(runPath.find('?'), std::string::npos) << run;
    EXPECT_NE(GetFileAttributesA(runPath.c_str()), INVALID_FILE_ATTRIBUTES) << run;

    // A second start there speaks from the folder's language file.
    HWND hDlg = StartToDialog(second, dir + "\\" PRODUCT_EXE);
    ASSERT_NE(hDlg, nullptr);
    EXPECT_EQ(DlgItemText(hDlg, IDC_RUNNING_TEXT), plain.LangText("Message", "msg1"));
    EXPECT_TRUE(AnswerOkAndWaitExit(second, hDlg));
    if (hWnd) {
        EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
    }
}

TEST_F(RealComputer, SessionEndReleasesTheDeviceBeforeAnswering)
{
    ProgramFolder folder("e2e-logoff");
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder);
    ASSERT_NE(hWnd, nullptr);

    DWORD_PTR nAnswer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &nAnswer));
    EXPECT_EQ(nAnswer, (DWORD_PTR)TRUE);
    // A cancelled end changes nothing.
    ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &nAnswer));
    Sleep(500);
    EXPECT_EQ(folder.CountCalls("WUSBUnimportDevice("), 0);
    EXPECT_TRUE(agent.Running());

    ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &nAnswer));
    // All of it before the answer: Windows may end the process right after.
    std::vector<std::string> calls = folder.JournalCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back(), "WUSBClose() = 0");
    EXPECT_EQ(folder.CountCalls(E2E_UNIMPORT_CALL), 1);
    DWORD dwCode = 1;
    ASSERT_TRUE(agent.WaitExit(E2E_EXIT_TIMEOUT_MS, &dwCode));
    EXPECT_EQ(dwCode, 0u);
    EXPECT_EQ(folder.CountCalls("WUSBClose("), 1);
}

// A browser saves a second download as "<name> (1).exe": renamed, the program still
// finds its Setting.ini beside it, so the device is accepted and attached.
TEST_F(RealComputer, ARenamedProgramFindsItsFolder)
{
    ProgramFolder folder("e2e-renamed");
    std::string renamed = folder.Path() + "\\" PRODUCT_NAME " (1).exe";
    ASSERT_TRUE(MoveFileA(folder.ExePath().c_str(), renamed.c_str()));
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder, renamed);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_TRUE(agent.HasTrace(">>> Start read ini!! bOk =1 \n"));
    EXPECT_TRUE(ExitAgentByMenu(agent, hWnd));
}

// Windows Installer closes the agents of every session through the Restart Manager
// before it replaces their files: WM_QUERYENDSESSION and WM_ENDSESSION with
// ENDSESSION_CLOSEAPP. The agent ends as Exit ends it, and registered for a restart
// when it started (Windows starts it again after the installation).
TEST_F(RealComputer, TheRestartManagersCloseRequestEndsTheAgentLikeExit)
{
    ProgramFolder folder("e2e-closeapp");
    AgentProcess agent;
    HWND hWnd = LaunchAttached(agent, folder);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_TRUE(agent.HasTrace("RegisterApplicationRestart = 0x00000000\n"));
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, agent.Pid());
    ASSERT_NE(hProcess, nullptr);
    WCHAR szCommand[RESTART_MAX_CMD_LINE] = L"?";
    DWORD cch = RESTART_MAX_CMD_LINE, dwFlags = 0;
    HRESULT hr = GetApplicationRestartSettings(hProcess, szCommand, &cch, &dwFlags);
    CloseHandle(hProcess);
    // Wine 8 takes the registration but cannot read it back (E_NOTIMPL); Windows can.
    if (hr != E_NOTIMPL) {
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(dwFlags, (DWORD)(RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT));
        EXPECT_STREQ(szCommand, L"");
    }

    DWORD_PTR nAnswer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 5000, &nAnswer));
    EXPECT_EQ(nAnswer, (DWORD_PTR)TRUE);
    ASSERT_TRUE(SendMessageTimeoutA(hWnd, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 10000, &nAnswer));
    EXPECT_TRUE(agent.HasTrace("Session end: closed for an update\n"));
    EXPECT_EQ(folder.CountCalls(E2E_UNIMPORT_CALL), 1);
    EXPECT_EQ(folder.JournalCalls().back(), "WUSBClose() = 0");
    DWORD dwCode = 1;
    ASSERT_TRUE(agent.WaitExit(E2E_EXIT_TIMEOUT_MS, &dwCode));
    EXPECT_EQ(dwCode, 0u);
    EXPECT_EQ(folder.CountCalls("WUSBClose("), 1);
}
