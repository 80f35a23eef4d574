#pragma once

// The window thread's message pump. Every loop turn notes the time; when two turns are more
// than 100 ms apart (the thread was held, by the plug-in or a modal loop) it logs
// "sleepgap <ms>".
//
// Two ways of pumping that some games have:
// - heap-busy: between messages the thread spends its time in heap calls (many small blocks
//   allocated and freed on the process heap, a few milliseconds at a time) and never waits;
// - peek-first: each message is first peeked at (PM_NOREMOVE), then removed (PM_REMOVE), so
//   a WH_GETMESSAGE hook sees it twice.

#include <windows.h>

namespace host {

struct PumpMode {
    bool heap_busy = false;
    bool peek_first = false;
};

void pump_set_mode(PumpMode mode);

// Dispatches every message already queued.
void pump_pending();

// Pumps for `ms` milliseconds.
void pump_for(DWORD ms);

// Pumps until `handle` is signalled (returns true) or `ms` milliseconds pass (returns false).
bool pump_until_signalled(HANDLE handle, DWORD ms);

// A turn that took the plug-in's graph message (0x405, a tune's end) or a timer message
// other than the heartbeat logs "plugturn us=<microseconds>".
// The longest loop turn (a message taken, with the hooks it passed, and dispatched) since
// the last call, in microseconds: how long the game's loop was held at once.
long long pump_take_busy_us();

// HeapAlloc and HeapFree calls made by the heap-busy pump so far.
unsigned long long pump_heap_calls();

// The probe: a private message posted to the game window, and a WH_GETMESSAGE hook of the
// host's own on the window thread that logs "probe removed=<0|1>" each time the message
// passes the hooks (1 when it is being removed from the queue).
void pump_install_probe();
void pump_post_probe(HWND window);

} // namespace host
