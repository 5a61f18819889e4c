// Where the running program lies, as a path the ANSI functions can use.
#pragma once
#include <windows.h>

// The wide path converted to the ANSI code page, only when the conversion is
// faithful (converting back gives the same path) and fits; 1 when it is.
int WideToAnsiFaithful(const wchar_t* pszWide, char* pszAnsi, int cbAnsi);
// A file's wide path in ANSI: as it is when faithful, else rebuilt from its
// folder's short (8.3) path, which is ASCII, and the file name. 0 when neither
// gives a faithful path that fits (no short names on the volume). The buffer
// is only borrowed: it holds the same path again on return.
int AnsiPathFromWide(wchar_t* pszWidePath, char* pszPath, int cbPath);
// Full path of a module (null: the executable) in ANSI, as above.
int GetModulePathAnsi(HMODULE hModule, char* pszPath, int cbPath);
// The folder of that path, without the trailing backslash; 0 on failure.
int GetModuleFolderAnsi(HMODULE hModule, char* pszFolder, int cbFolder);
