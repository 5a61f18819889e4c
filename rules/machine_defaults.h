// The machine's defaults for a user's first start, which the per-machine package writes
// under the agent key in HKEY_LOCAL_MACHINE ("startwin" a DWORD, "lang" a string).
#pragma once
#include <windows.h>

// 1 when the machine's "startwin" is there.
int ReadMachineStartWin(DWORD* pdwValue);
// The machine's "lang" into a zero-filled, terminated buffer; 1 when there and not empty.
int ReadMachineLang(char* pszCode, DWORD cbCode);
