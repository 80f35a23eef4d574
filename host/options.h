#pragma once

// The host's command line.

#include <windows.h>

#include <string>

namespace host {

struct Options {
    std::string log_path; // empty: standard output
    std::string title = "Stand-in Game";
    std::string plugin_path = "plugins\\OrvalinMugenBGM.dll";
    bool no_outmod = false;
    bool no_window = false;
    bool watch_only = false;
    int answer = IDYES;
    int box_delay_ms = 0;    // --box-delay: how long the watcher leaves a box before pressing
    int heartbeat_ms = 0;    // --heartbeat: period of the window thread's beat, 0 for none
    bool heap_busy = false;  // --heap-busy: the pump spends its time in heap calls
    bool peek_first = false; // --peek-first: every message is peeked, then removed
    bool read_drops = false; // --read-drops: the game window reads and releases drops itself
    std::string play;        // --play NAME
    bool has_play = false;
    std::string script; // SCRIPT, "-" for standard input
    bool has_script = false;
};

// False with `error` set on a bad command line.
bool parse_options(int argc, char** argv, Options& options, std::string& error);

} // namespace host
