#include "pump.h"

#include "log.h"

#include <string>

namespace host {

namespace {

constexpr long long k_gap_ms = 100;
constexpr DWORD k_wait_step_ms = 10;
constexpr DWORD k_churn_ms = 3;
constexpr int k_churn_blocks = 64;
constexpr UINT k_probe_message = WM_APP + 0x3F1;
constexpr UINT k_graph_message = WM_USER + 5;  // the plug-in's media graph events
constexpr UINT_PTR k_heartbeat_timer = 0x4845; // the host's own (game_window.cpp)

long long g_last_turn = 0;
long long g_busy_max_us = 0; // the longest turn since it was last taken
PumpMode g_mode;
unsigned long long g_heap_calls = 0;
HHOOK g_probe_hook = nullptr;

// Microseconds from the performance counter (the tick count can lag by a timer period).
long long now_us() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

long long now_ms() {
    return now_us() / 1000;
}

void note_turn() {
    long long now = now_ms();
    if (g_last_turn != 0 && now - g_last_turn > k_gap_ms) {
        log_event("sleepgap " + std::to_string(now - g_last_turn));
    }
    g_last_turn = now;
}

// Many small blocks allocated and freed on the process heap for about `ms` milliseconds,
// freed in another order than allocated so that the heap has work to do.
void churn_heap(DWORD ms) {
    HANDLE heap = GetProcessHeap();
    long long end = now_ms() + ms;
    void* blocks[k_churn_blocks];
    SIZE_T size = 24;
    do {
        for (void*& block : blocks) {
            block = HeapAlloc(heap, 0, size);
            size = size * 7 % 241 + 16;
        }
        for (int i = 0; i < k_churn_blocks; ++i) {
            HeapFree(heap, 0, blocks[(i * 5) % k_churn_blocks]);
        }
        g_heap_calls += 2 * k_churn_blocks;
    } while (now_ms() < end);
}

// The next message, taken as the pump mode says.
bool take_message(MSG& msg) {
    if (g_mode.heap_busy) churn_heap(k_churn_ms);
    if (!g_mode.peek_first) return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
    MSG peeked;
    if (!PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE)) return false;
    // The earliest message of that number is the one just peeked at.
    return PeekMessageA(&msg, nullptr, peeked.message, peeked.message, PM_REMOVE) != FALSE;
}

// Waits at most `ms` for a message or for `handle`; true if `handle` was signalled.
bool wait_step(HANDLE handle, DWORD ms) {
    if (g_mode.heap_busy) {
        // Never idle: the thread stays in its heap calls while there is nothing to do.
        churn_heap(ms);
        return handle != nullptr && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    }
    DWORD count = handle != nullptr ? 1 : 0;
    DWORD result = MsgWaitForMultipleObjectsEx(count, handle != nullptr ? &handle : nullptr, ms,
                                               QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return handle != nullptr && result == WAIT_OBJECT_0;
}

LRESULT CALLBACK probe_hook(int code, WPARAM wparam, LPARAM lparam) noexcept {
    const auto* msg = reinterpret_cast<const MSG*>(lparam);
    if (code == HC_ACTION && msg != nullptr && msg->message == k_probe_message) {
        log_event((wparam & PM_REMOVE) != 0 ? "probe removed=1" : "probe removed=0");
    }
    return CallNextHookEx(g_probe_hook, code, wparam, lparam);
}

} // namespace

long long pump_take_busy_us() {
    const long long busy = g_busy_max_us;
    g_busy_max_us = 0;
    return busy;
}

void pump_set_mode(PumpMode mode) {
    g_mode = mode;
}

unsigned long long pump_heap_calls() {
    return g_heap_calls;
}

void pump_install_probe() {
    if (g_probe_hook == nullptr) {
        g_probe_hook = SetWindowsHookExA(WH_GETMESSAGE, probe_hook, nullptr, GetCurrentThreadId());
    }
}

void pump_post_probe(HWND window) {
    PostMessageA(window, k_probe_message, 0, 0);
}

void pump_pending() {
    for (;;) {
        note_turn();
        // A turn: taking the message (the plug-in's hook runs inside) and dispatching it.
        const long long start = now_us();
        MSG msg;
        const bool taken = take_message(msg);
        // A WM_QUIT from the plug-in is not ours to act on; the run ends on WM_CLOSE.
        if (taken && msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const long long busy = now_us() - start;
        if (busy > g_busy_max_us) g_busy_max_us = busy;
        // A tune's end reaches the plug-in through its graph message or one of its timers:
        // such turns are what a tune change holds the loop for.
        const bool plugin_turn =
            taken && (msg.message == k_graph_message ||
                      (msg.message == WM_TIMER && msg.wParam != k_heartbeat_timer));
        if (plugin_turn) log_event("plugturn us=" + std::to_string(busy));
        if (!taken) break;
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
