// RegKey (to be completed).
#include "reg_key.h"

LONG RegKey::Create(HKEY, const char*, REGSAM) { return 1; }
int RegKey::Close() { m_hKey = nullptr; return 1; }
LONG RegKey::SetDword(const char*, DWORD) { return 1; }
LONG RegKey::SetString(const char*, const char*) { return 1; }
LONG RegKey::QueryValue(const char*, void*, DWORD*) { return 1; }
LONG RegKey::DeleteValue(const char*) { return 1; }
