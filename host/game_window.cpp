#include "game_window.h"

#include "log.h"

namespace host {

namespace {

const char k_class_name[] = "StandInGameWindow";

bool g_closed = false;

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    switch (msg) {
    case WM_SETTEXT: {
        const char* text = reinterpret_cast<const char*>(lparam);
        log_event("settext " + quote(text != nullptr ? text : ""));
        break;
    }
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

} // namespace

HWND create_game_window(HINSTANCE instance, const std::string& title) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = k_class_name;
    if (RegisterClassExA(&wc) == 0) return nullptr;

    HWND hwnd = CreateWindowExA(0, k_class_name, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) return nullptr;
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    return hwnd;
}

bool game_window_closed() {
    return g_closed;
}

} // namespace host
