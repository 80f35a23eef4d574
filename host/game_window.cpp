#include "game_window.h"

#include "log.h"
#include "pump.h"

#include <shellapi.h>

namespace host {

namespace {

const char k_class_name[] = "StandInGameWindow";
const char k_decoy_class_name[] = "StandInOtherProgram";
constexpr UINT_PTR k_heartbeat_timer = 0x4845; // not the plug-in's notice timer (77777)

bool g_closed = false;
bool g_read_drops = false;
unsigned long g_beats = 0;
HWND g_decoy = nullptr;

using DragQueryFileFn = UINT(WINAPI*)(HDROP, UINT, LPSTR, UINT);
using DragFinishFn = void(WINAPI*)(HDROP);

// Reads a drop the way a game that accepts files would (with the shell's own functions), logs
// "dropfiles <count> "<name>"..." and releases it. Only without a plug-in that does the same.
void read_drop(HDROP drop) {
    HMODULE shell = LoadLibraryA("shell32.dll");
    auto query = reinterpret_cast<DragQueryFileFn>(
        reinterpret_cast<void*>(GetProcAddress(shell, "DragQueryFileA")));
    auto finish = reinterpret_cast<DragFinishFn>(
        reinterpret_cast<void*>(GetProcAddress(shell, "DragFinish")));
    if (query == nullptr || finish == nullptr) {
        log_event("error the shell's drop functions are missing");
        return;
    }
    UINT count = query(drop, 0xFFFFFFFF, nullptr, 0);
    std::string line = "dropfiles " + std::to_string(count);
    for (UINT i = 0; i < count; ++i) {
        char name[MAX_PATH] = {};
        query(drop, i, name, sizeof(name));
        line += ' ';
        line += quote(name);
    }
    finish(drop);
    log_event(line);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    switch (msg) {
    case WM_SETTEXT: {
        const char* text = reinterpret_cast<const char*>(lparam);
        log_event("settext " + quote(text != nullptr ? text : ""));
        break;
    }
    case WM_TIMER:
        if (wparam != k_heartbeat_timer) break;
        // The beat's own turn is still running: the longest turn before it.
        log_event("beat " + std::to_string(++g_beats) +
                  " busy_us=" + std::to_string(pump_take_busy_us()));
        return 0;
    case WM_DROPFILES:
        // The plug-in's hook has seen the drop and released it (DragFinish): the handle is
        // not ours to touch, nor DefWindowProc's.
        if (g_read_drops) read_drop(reinterpret_cast<HDROP>(wparam));
        return 0;
    case WM_CLOSE:
        // The run ends on its own terms (the plug-in's Quit first), so the window stays.
        log_event("close");
        g_closed = true;
        return 0;
    case WM_DESTROY:
        log_event("destroy");
        g_closed = true;
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

bool register_class(HINSTANCE instance, const char* name, WNDPROC proc) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = name;
    return RegisterClassExA(&wc) != 0;
}

} // namespace

HWND create_game_window(HINSTANCE instance, const GameWindowSettings& settings) {
    if (!register_class(instance, k_class_name, window_proc)) return nullptr;
    g_read_drops = settings.read_drops;

    HWND hwnd =
        CreateWindowExA(0, k_class_name, settings.title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) return nullptr;
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    if (settings.heartbeat_ms > 0) {
        SetTimer(hwnd, k_heartbeat_timer, static_cast<UINT>(settings.heartbeat_ms), nullptr);
    }
    return hwnd;
}

bool game_window_closed() {
    return g_closed;
}

HWND show_decoy_window(HINSTANCE instance) {
    if (g_decoy == nullptr) {
        if (!register_class(instance, k_decoy_class_name, DefWindowProcA)) return nullptr;
        g_decoy = CreateWindowExA(0, k_decoy_class_name, "Other Program", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 320, 240, nullptr, nullptr,
                                  instance, nullptr);
        if (g_decoy == nullptr) return nullptr;
    }
    ShowWindow(g_decoy, SW_SHOW);
    SetWindowPos(g_decoy, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(g_decoy);
    return g_decoy;
}

std::string foreground_owner(HWND game) {
    HWND front = GetForegroundWindow();
    if (front == nullptr) return "none";
    if (front == game) return "game";
    if (front == g_decoy && g_decoy != nullptr) return "decoy";
    char caption[256] = {};
    GetWindowTextA(front, caption, sizeof(caption));
    std::string owner = "other ";
    owner += quote(caption);
    return owner;
}

} // namespace host
