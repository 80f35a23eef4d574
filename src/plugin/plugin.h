// What faces the host: start-up and shut-down, and the simple entry points.
#pragma once
#include "core/core.h"

// The export the host looks for.
extern "C" In_Module* ORV_CDECL winampGetInModule2();

// Start-up and shut-down.
void Init();
void Quit();
// The whole module as the host finds it after loading the DLL, the host's fields of the
// record aside: for a host that loads it anew in one process (and for tests).
void ResetModule();

// Simple entry points.
int IsOurFile(const char* name);
int GetOutputTime();
void SetOutputTime(int ms);
int IsPaused();
void SetPan(int pan);
void Config(platform::Hwnd parent);
void About(platform::Hwnd parent);
