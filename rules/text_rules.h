// Reading small texts the same way everywhere: blanks and whole numbers.
#pragma once

// The first character after blanks and tabs.
const char* SkipBlanks(const char* p);
// Decimal digits only, at least one.
int IsDecimalText(const char* pszText);
// A decimal number from nMin to nMax (leading zeros allowed, nothing else around it);
// 1, with *pnValue set, when it is one. Any length is read without overflow.
int ParseBoundedNumber(const char* pszText, long nMin, long nMax, long* pnValue);
