// Group Policy: the administrator's values under Software\Policies, the computer's
// (HKEY_LOCAL_MACHINE) over the user's (HKEY_CURRENT_USER). The one reader of policies,
// for the agent and the diagnostics command alike; it keeps nothing between calls.
#pragma once
#include "setting_source.h"
#include "product.h"
#include <cstddef>

// Longest policy text plus its terminator.
constexpr int POLICY_TEXT_SIZE = PRODUCT_POLICY_TEXT_MAX + 1;

enum PolicyKind { POLICY_NUMBER, POLICY_TEXT };

// What a policy value must be to count: a REG_DWORD from nMin to nMax, or a REG_SZ of
// nMin to nMax characters that pfnValid (when given) accepts.
struct PolicyRule {
    const char* pszName;
    PolicyKind kind;
    int nMin;
    int nMax;
    int (*pfnValid)(const char* pszText);
};
// Every policy the product reads, in the order reports list them.
const PolicyRule* GetPolicyRules(int* pnCount);

// A setting's starting point: nDefault, built in, nothing ignored.
void SetBuiltIn(SettingValue* pValue, int nDefault);
inline int IsPolicySource(SettingSource source)
{
    return source == SOURCE_COMPUTER_POLICY || source == SOURCE_USER_POLICY;
}

// The named policy in force: 1 with pValue's nValue (numbers) and source set; 0 when
// neither computer nor user policy holds a sound value, leaving them. A value that breaks
// its rule is traced and noted in pValue->szIgnored, and the next source is asked.
int ReadPolicyNumber(const char* pszName, SettingValue* pValue);
// The same for a text, into pszText (cbText bytes, terminated); pValue->nValue is its length.
int ReadPolicyText(const char* pszName, char* pszText, int cbText, SettingValue* pValue);
// One line per policy value present but ignored ("bitrate=(type 1) in computer policy"),
// into pszOut (always terminated); their count.
int ListIgnoredPolicies(char* pszOut, size_t cbOut);
