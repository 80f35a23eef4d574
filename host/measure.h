#pragma once

// What the benchmarks measure in the host (bench/wine_bench.py):
// - a bare play: the DirectShow calls the plug-in makes to start a file, on a graph of the
//   host's own, with nothing of the plug-in's own work around them;
// - how long a call held the window thread, and when it began;
// - the process's memory and handle count.

#include <windows.h>

#include <string>

namespace host {

// Microseconds of a performance-counter stopwatch, and the unix time at its start.
struct Stopwatch {
    LARGE_INTEGER start;
    unsigned long long unix_us;
};
Stopwatch stopwatch_start();
long long stopwatch_us(const Stopwatch& watch);

// "us=<held> at=<unix microseconds at the start>": the fields timed commands log.
std::string timing_fields(const Stopwatch& watch, long long held_us);

// `bareplay NAME`: gives back the previous bare graph, creates the filter graph and queries
// its four interfaces in the plug-in's order, renders NAME and runs it, waiting for a Run
// that answers S_FALSE as the plug-in does. Logs
// `bareplay "<name>" -> <status> us=<held> at=<unix us> steps=release:<us>,create:<us>,
// query:<us>,render:<us>,run:<us>,wait:<us>`, the status the first failing call's, else
// Run's.
void bare_play(const std::string& name);

// `barestop`: stops the bare graph (logs `barestop -> <status>`).
void bare_stop();

// `barerelease`: gives the bare graph back (logs `barerelease`).
void bare_release();

// `memory`: logs `memory private=<bytes> handles=<n> kinds=<kind>:<n>,...`: the committed
// private memory (VirtualQuery) and this process's entries in the handle table, by kind.
void log_memory();

// `setini FILE SECTION KEY VALUE`: WritePrivateProfileString, the file made full against
// the current folder (logs `setini "<file>" -> <0|1>`).
void set_ini(const std::string& file, const std::string& section, const std::string& key,
             const std::string& value);

} // namespace host
