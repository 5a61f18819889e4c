// The journal: one line per call, so tests can see what the agent asked of the library.
#pragma once
#include "product.h"

// Environment variable naming the journal; unset: PRODUCT_SIM_JOURNAL beside the DLL (or in TEMP).
#define SIM_JOURNAL_ENV "WUSB_SIM_JOURNAL"
#define SIM_JOURNAL_FILE PRODUCT_SIM_JOURNAL

// Appends "<ms> <text>\r\n"; the text is formatted by the printf rules and cut to fit.
// Caller holds the lock. The file: beside the DLL when that folder can be written, else in
// the user's temporary folder (a program folder under Program Files, for a standard user).
void SimJournal(const char* pszFormat, ...);
// Journal line of a library unloaded while its work after WUSBClose still ran.
#define SIM_UNLOADED_AT_WORK "unloaded while still at work"
