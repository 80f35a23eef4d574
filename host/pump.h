#pragma once

// The window thread's message pump. Every loop turn notes the time; when two turns are more
// than 100 ms apart (the thread was held, by the plug-in or a modal loop) it logs
// "sleepgap <ms>".

#include <windows.h>

namespace host {

// Dispatches every message already queued.
void pump_pending();

// Pumps for `ms` milliseconds.
void pump_for(DWORD ms);

// Pumps until `handle` is signalled (returns true) or `ms` milliseconds pass (returns false).
bool pump_until_signalled(HANDLE handle, DWORD ms);

} // namespace host
