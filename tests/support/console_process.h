// Runs a console program of the product to its end and collects what it printed.
#pragma once
#include <windows.h>
#include <string>

struct ConsoleRun {
    bool bEnded = false;       // false: not started, or killed at the time-out
    DWORD dwExitCode = 0;
    std::string out;           // stdout, with CR LF turned into LF
    std::string err;           // stderr, likewise
    unsigned long long nMs = 0;   // from start to end
};

// Starts "exePath" args in the exe's folder with stdout and stderr on pipes.
ConsoleRun RunConsole(const std::string& exePath, const std::string& args, DWORD nTimeoutMs);

// The raw value after the first "key": in a program's JSON output: a string with its
// quotes, or a bare number, true, false or null; "<missing>" when there is none.
std::string JsonValue(const std::string& json, const std::string& key);
