// RegKey: one open registry key, closed when the owner goes out of scope.
#include "reg_key.h"
#include <cstring>

LONG RegKey::Create(HKEY hRoot, const char* pszSubKey, REGSAM samDesired)
{
    Close();
    HKEY hKey = nullptr;
    LONG lStatus = RegCreateKeyExA(hRoot, pszSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, samDesired,
                                   nullptr, &hKey, nullptr);
    if (lStatus == ERROR_SUCCESS)
        m_hKey = hKey;
    return lStatus;
}

LONG RegKey::Open(HKEY hRoot, const char* pszSubKey, REGSAM samDesired)
{
    Close();
    HKEY hKey = nullptr;
    LONG lStatus = RegOpenKeyExA(hRoot, pszSubKey, 0, samDesired, &hKey);
    if (lStatus == ERROR_SUCCESS)
        m_hKey = hKey;
    return lStatus;
}

int RegKey::Close()
{
    if (m_hKey) {
        RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
    return 1;
}

LONG RegKey::SetDword(const char* pszName, DWORD dwValue)
{
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    return RegSetValueExA(m_hKey, pszName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue));
}

LONG RegKey::SetString(const char* pszName, const char* pszValue)
{
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    // The stored size counts the terminating zero.
    return RegSetValueExA(m_hKey, pszName, 0, REG_SZ, (const BYTE*)pszValue, (DWORD)strlen(pszValue) + 1);
}

LONG RegKey::QueryValue(const char* pszName, void* pData, DWORD* pcbData)
{
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    return RegQueryValueExA(m_hKey, pszName, nullptr, nullptr, (BYTE*)pData, pcbData);
}

LONG RegKey::DeleteValue(const char* pszName)
{
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    return RegDeleteValueA(m_hKey, pszName);
}
