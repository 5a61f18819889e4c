// Figures of both setups, printed and never asserted: the per-user setup's install, upgrade
// over a running agent and uninstall; the per-machine package's install, upgrade over a
// running agent, repair and the logon step each user gets.
#include <gtest/gtest.h>
#include <shlobj.h>
#include "sim/sim_journal.h"
#include "support/agent_process.h"
#include "support/setup_checks.h"

namespace {

constexpr DWORD kSetupTimeoutMs = 120000;

// Runs a command line and prints how long it took; its exit code.
int Timed(const char* pszWhat, const std::string& commandLine)
{
    ULONGLONG nMs = 0;
    int nCode = RunAndWait(commandLine, kSetupTimeoutMs, &nMs);
    printf("[ figures ] %s: %llu ms\n", pszWhat, nMs);
    return nCode;
}

// The journal outside the program folder, which an uninstall removes.
class SetupSpeed : public ::testing::Test {
protected:
    void SetUp() override { SetEnvironmentVariableA(SIM_JOURNAL_ENV, journal.c_str()); }
    void TearDown() override
    {
        EXPECT_TRUE(EndRunningAgents());
        SetEnvironmentVariableA(SIM_JOURNAL_ENV, nullptr);
    }
    RegistrySandbox registry;
    TempDir temp{"bench-setup"};
    std::string journal = temp.Path() + "\\" PRODUCT_SIM_JOURNAL;
};

}  // namespace

TEST_F(SetupSpeed, PerUserSetup)
{
    const std::string folder = temp.Path() + "\\" PRODUCT_NAME;
    const std::string setup = "\"" + WinePathOf(SETUP_PATH) + "\" /S /D=" + folder;
    ASSERT_EQ(Timed("silent install", setup), 0);
    AgentProcess agent;
    ASSERT_NE(StartInstalledAttached(agent, folder + "\\" PRODUCT_EXE, journal), nullptr);
    EXPECT_EQ(Timed("silent upgrade over the running agent", setup), 0);
    // The upgrade starts the agent again; the uninstall ends it.
    EXPECT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [] { return FindWindowA(AGENT_CLASS, nullptr) != nullptr; }));
    const std::string uninstaller = folder + "\\uninstall.exe";
    EXPECT_EQ(Timed("silent uninstall with the agent running", "\"" + uninstaller + "\" /S _?=" + folder), 0);
    DeleteFileA(uninstaller.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST_F(SetupSpeed, PerMachinePackage)
{
    const std::string package = WinePathOf(MSI_PATH), newer = WinePathOf(MSI_TEST_PATH_FOURTH);
    const std::string exe = ShellFolder(CSIDL_PROGRAM_FILES) + "\\" PRODUCT_NAME "\\" PRODUCT_EXE;
    ASSERT_EQ(Timed("msiexec install with properties",
                    "msiexec /i \"" + package + "\" SERVER=192.168.1.10 LANGUAGE=FR AUTOSTART=1 /qn"), 0);
    AgentProcess agent;
    ASSERT_NE(StartInstalledAttached(agent, exe, journal), nullptr);
    EXPECT_EQ(Timed("msiexec upgrade over the running agent", "msiexec /i \"" + newer + "\" /qn"), 0);
    EXPECT_TRUE(WaitUntil(E2E_START_TIMEOUT_MS, [] { return FindWindowA(AGENT_CLASS, nullptr) != nullptr; }));
    EXPECT_EQ(Timed("msiexec repair over the running agent",
                    "msiexec /i \"" + newer + "\" REINSTALL=ALL REINSTALLMODE=omus /qn"), 0);
    EXPECT_TRUE(EndRunningAgents());
    // What Active Setup runs at each user's logon.
    EXPECT_EQ(Timed("logon step", "\"" + exe + "\" " PRODUCT_LOGON_SWITCH), 0);
    EXPECT_EQ(Timed("msiexec uninstall", "msiexec /x \"" + newer + "\" /qn"), 0);
}
