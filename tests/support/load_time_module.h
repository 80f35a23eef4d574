// The module as the host finds it after loading the DLL, with the host's fields filled
// in: what the unit fixtures and the fuzz targets start each test or input from. Call it
// after sim::Reset(), which the output module record depends on.
#pragma once
#include "control/control.h"
#include "engine/engine.h"
#include "notices/notices.h"
#include "platform/sim/sim.h"
#include "plugin/plugin.h"


inline void LoadTimeModule() {
    ResetModule();
    Module.hMainWindow = sim::kGameWindow;
    Module.hDllInstance = sim::kModuleInstance;
    Module.outMod = sim::OutModule();
}
