// Fixtures of the unit tests: the agent's state reset around each test.
#pragma once
#include "agent/connection.h"
#include <gtest/gtest.h>
#include "test_support.h"

// A program folder of the test's own; the agent's registry key cleared before and after.
class ProgramDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAgentState();
        UseProgramDir(m_dir.Path());
    }
    void TearDown() override { ResetAgentState(); }
    RegistrySandbox m_registry;
    TempDir m_dir{"unit"};
};

// The fake library and a hidden main window, which goes with its timers at the end.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAgentState();
        InstallFakeWusb();
        m_hWnd = CreateTestMainWindow();
        ASSERT_NE(m_hWnd, nullptr);
    }
    void TearDown() override
    {
        KillTimer(m_hWnd, IDT_DELAY_IMPORT);
        KillTimer(m_hWnd, IDT_SERVER_CHECK);
        DestroyWindow(m_hWnd);
    }
    HWND m_hWnd = nullptr;
};
