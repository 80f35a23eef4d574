#pragma once

// Loading and freeing the plug-in the way the game engine does: LoadLibrary, call
// "winampGetInModule2", fill hMainWindow, hDllInstance and outMod.

#include "plugin_abi.h"

#include <string>

namespace host {

struct PluginSettings {
    std::string path;  // as given; made absolute against the current folder
    HWND window;       // goes into hMainWindow (may be null)
    OutModule* output; // goes into outMod (may be null)
};

// Loads the DLL and fills the record; logs "record ..." or "error ...".
bool plugin_load(const PluginSettings& settings);

// FreeLibrary; logs "free unloaded=<0|1>".
void plugin_free();

// The record, or null while no plug-in is loaded.
InModule* plugin_record();

} // namespace host
