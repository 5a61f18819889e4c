// Version resources of files: the agent's, the driver's, the client library's.
#pragma once
#include <windows.h>

// The fixed part of a file's version resource; 0 when it has none that reads soundly.
int ReadFixedFileVersion(const char* pszPath, VS_FIXEDFILEINFO* pFixed);
