#include "pump.h"

#include "log.h"

#include <string>

namespace host {

namespace {

constexpr long long k_gap_ms = 100;
constexpr DWORD k_wait_step_ms = 10;

long long g_last_turn = 0;

// Milliseconds from the performance counter (the tick count can lag by a timer period).
long long now_ms() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart / (frequency.QuadPart / 1000);
}

void note_turn() {
    long long now = now_ms();
    if (g_last_turn != 0 && now - g_last_turn > k_gap_ms) {
        log_event("sleepgap " + std::to_string(now - g_last_turn));
    }
    g_last_turn = now;
}

// Waits at most `ms` for a message or for `handle`; true if `handle` was signalled.
bool wait_step(HANDLE handle, DWORD ms) {
    DWORD count = handle != nullptr ? 1 : 0;
    DWORD result = MsgWaitForMultipleObjectsEx(count, handle != nullptr ? &handle : nullptr, ms,
                                               QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return handle != nullptr && result == WAIT_OBJECT_0;
}

} // namespace

void pump_pending() {
    for (;;) {
        note_turn();
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) break;
        // A WM_QUIT from the plug-in is not ours to act on; the run ends on WM_CLOSE.
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool pump_until_signalled(HANDLE handle, DWORD ms) {
    long long deadline = now_ms() + ms;
    for (;;) {
        pump_pending();
        long long now = now_ms();
        if (now >= deadline) {
            return handle != nullptr && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        }
        long long left = deadline - now;
        DWORD step = left < k_wait_step_ms ? static_cast<DWORD>(left) : k_wait_step_ms;
        if (wait_step(handle, step)) return true;
    }
}

void pump_for(DWORD ms) {
    pump_until_signalled(nullptr, ms);
}

} // namespace host
