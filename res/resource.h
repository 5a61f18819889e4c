// Resource and command ids shared by the resource script and the code.
#pragma once
#include "product.h"

#define IDS_APP_CLASS 1

#define IDI_APP 107
#define IDI_CONNECTED 108
#define IDI_DISCONNECTED 109

#define IDD_ABOUT 111
#define IDD_ALREADY_RUNNING 113

// About dialog controls
#define IDC_FW_VERSION 1001
#define IDC_DRV_VERSION 1002
#define IDC_APP_VERSION 1003
#define IDC_HIDDEN_BUTTON1 1006
#define IDC_HIDDEN_BUTTON2 1007
#define IDC_HIDDEN_BUTTON3 1008
#define IDC_APP_LABEL 1009
#define IDC_DRV_LABEL 1010
#define IDC_FW_LABEL 1011
// Already-running dialog text
#define IDC_RUNNING_TEXT 1004

// Tray menu commands
#define IDM_CONNECT 40001
#define IDM_SETTINGS 40002
#define IDM_EXIT PRODUCT_EXIT_COMMAND
#define IDM_ABOUT 40004
#define IDM_DISCONNECT 40005
#define IDM_STARTWIN 40006
#define IDM_LANGUAGE_FIRST 40007

// Version shown in the About dialog and carried by the version resource: the
// AGENT_VERSION_* macros, generated from the project version by CMake.
#include "agent_version.h"
