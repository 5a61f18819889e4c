// The user's Run value ("Start with Windows") and the agent it starts.
#pragma once
#include <cstddef>

// The program a Run command names: the text inside its leading quotes, else the whole
// command; 0 when that is empty, unterminated or longer than the buffer.
int RunCommandProgram(const char* pszCommand, char* pszProgram, size_t cbProgram);
// 1 when the Run command starts the agent of the folder (given with its trailing
// backslash), spelt long or short, quoted or not, letter case aside.
int RunCommandStartsAgentIn(const char* pszCommand, const char* pszFolder);
