#pragma once

// The event log: one line per event, "<unix-ms> <event>", written straight through to the
// file (or standard output) so that a reader sees every line as soon as it happens.

#include <string>
#include <string_view>

namespace host {

// Opens the log; an empty path means standard output. Returns false if the file can't be made.
bool log_open(const std::string& path);

// Writes one event line; safe from any thread, takes no lock.
void log_event(std::string_view event);

// The same (kept for the crash handler, which must not wait for anything).
void log_event_unlocked(std::string_view event);

// Wall-clock milliseconds, and microseconds, since 1970.
unsigned long long unix_ms();
unsigned long long unix_us();

// `\\`, `\"`, `\r`, `\n` escaped, other bytes below 32 or above 126 as `\xNN`.
std::string escape(std::string_view text);

// escape() between double quotes.
std::string quote(std::string_view text);

// Only the bytes below 32 as `\xNN`; everything else as it is (for command lines and marks).
std::string escape_controls(std::string_view text);

// "0x" and lowercase hex digits.
std::string hex(unsigned long long value);

} // namespace host
