// The one class of the agent: owner of one open registry key.
#pragma once
#include <windows.h>

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens or creates the subkey; the status code of the platform (0 success).
    LONG Create(HKEY hRoot, const char* pszSubKey, REGSAM samDesired);
    // Opens an existing subkey only (the machine's key is read, never made); the status code.
    LONG Open(HKEY hRoot, const char* pszSubKey, REGSAM samDesired);
    // Closes the key held, if any; always 1.
    int Close();
    LONG SetDword(const char* pszName, DWORD dwValue);
    LONG SetString(const char* pszName, const char* pszValue);
    // pcbData: in, the buffer's size; out, the size of the data.
    LONG QueryValue(const char* pszName, void* pData, DWORD* pcbData);
    LONG DeleteValue(const char* pszName);

    HKEY Handle() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};
