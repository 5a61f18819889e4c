// The scenario file: the simulated world as INI keys, read and written with the profile API.
#pragma once
#include "sim_state.h"
#include "product.h"

// Environment variable naming the scenario file; unset: wusb_sim.ini beside the DLL.
#define SIM_SCENARIO_ENV "WUSB_SIM_SCENARIO"
#define SIM_SCENARIO_FILE "wusb_sim.ini"
// Environment variable naming this process's computer, over [library] computer_name.
#define SIM_COMPUTER_NAME_ENV PRODUCT_SIM_COMPUTER_NAME_ENV

// Path of the scenario file now in force.
int SimScenarioPath(char* pszOut, int cbOut);
// Copies the scenario to the user's temporary folder and uses that copy from then on
// (the stand-in's folder cannot be written); 1 when it moved.
int MoveSimScenarioToTemp();
// Reads the scenario into g_simWorld (defaults for whatever is missing or malformed)
// and sets computerName and the address record from it. Caller holds the lock.
void LoadSimWorld();
// Writes status and holder of one server of g_simWorld back, keeping every other key. 1 on success.
int SaveSimDeviceState(int nServer);
// Current last-write time and size of the scenario file.
SimFileStamp GetSimScenarioStamp();
int SameSimStamp(const SimFileStamp& a, const SimFileStamp& b);
// Server id of a server of the world: the little-endian u32 of its address bytes.
unsigned int SimServerId(int nServer);
// The server of the world with this id that the list shows, or -1.
int FindSimServer(unsigned int dwServerId);
