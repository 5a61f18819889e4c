// A DLL of the stand-in's own, for the build that needs one beside it.
#pragma once

extern "C" __declspec(dllimport) int SimCompanionReady(void);
