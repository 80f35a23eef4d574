#pragma once

// The script commands, each run on the window thread.

#include "plugin.h"

#include <string>

namespace host {

struct CommandContext {
    HWND window;           // the game window (keys, posts, titles go here)
    PluginSettings plugin; // what `load` fills the record with
};

// `failed`: the script can't go on (a load failed, a wait was not met); the run ends.
enum class Outcome { next, failed };

// Runs one script line (blank lines and "#" comments are skipped) and logs "cmd <line>".
Outcome run_command(const std::string& line, CommandContext& context);

} // namespace host
