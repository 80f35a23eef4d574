#pragma once

// The host's output-module record. Every slot logs "outmod <Name> <args>" and returns a
// harmless value.

#include "plugin_abi.h"

namespace host {

// The record, with hMainWindow and hDllInstance set to the given values.
OutModule* output_module(HWND window, HINSTANCE instance);

} // namespace host
