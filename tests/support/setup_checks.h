// What the tests of both setups (the per-user one and the MSI) look at: shell
// folders, shortcuts, files, and agents still running.
#pragma once
#include <string>
#include <vector>

// A shell folder (CSIDL_PROGRAMS, ...); "" when there is none.
std::string ShellFolder(int nCsidl);
// The target of a shortcut file; "" when it cannot be read.
std::string ShortcutTarget(const std::string& lnkPath);
bool Exists(const std::string& path);
// Ends whatever agent runs through its Exit command; false when one would not end.
bool EndRunningAgents();
// Relative paths of the program folder the build laid out, as a setup must install them.
std::vector<std::string> ProgramFiles();
