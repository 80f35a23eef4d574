#include "box_watcher.h"

#include "log.h"

#include <atomic>
#include <map>
#include <string>
#include <vector>

namespace host {

namespace {

constexpr DWORD k_poll_ms = 15;
constexpr ULONGLONG k_repress_ms = 500;
constexpr UINT k_text_timeout_ms = 500;
constexpr int k_message_text_id = 0xFFFF;

HWND g_game = nullptr;
DWORD g_main_thread = 0;
bool g_press = true;
std::atomic<int> g_answer{IDYES};
std::atomic<int> g_delay_ms{0};
std::atomic<int> g_gone{0};
HANDLE g_stop = nullptr;
HANDLE g_thread = nullptr;

struct Seen {
    std::string caption;
    int button;    // the button to press, 0 if none
    ULONGLONG due; // when to press it (again, while the box is still there)
    bool pressed;  // pressed at least once
};

// The window's text, asked with a timeout so that a stuck owner thread can't stop the watcher.
std::string text_of(HWND hwnd) {
    char buf[4096];
    buf[0] = '\0';
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof(buf), reinterpret_cast<LPARAM>(buf),
                             SMTO_BLOCK | SMTO_ABORTIFHUNG, k_text_timeout_ms, &copied)) {
        return {};
    }
    buf[sizeof(buf) - 1] = '\0';
    return buf;
}

std::string class_of(HWND hwnd) {
    char name[64];
    int n = GetClassNameA(hwnd, name, sizeof(name));
    return n > 0 ? std::string(name, static_cast<size_t>(n)) : std::string();
}

BOOL CALLBACK collect_box(HWND hwnd, LPARAM param) noexcept {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && class_of(hwnd) == "#32770") {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    }
    return TRUE;
}

struct StaticSearch {
    HWND found;
};

BOOL CALLBACK find_text_static(HWND hwnd, LPARAM param) noexcept {
    if (class_of(hwnd) != "Static") return TRUE;
    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) return TRUE;
    if (GetWindowTextLengthA(hwnd) == 0) return TRUE;
    reinterpret_cast<StaticSearch*>(param)->found = hwnd;
    return FALSE;
}

// The box's message: the static with id 0xFFFF, else the first static with text.
std::string message_of(HWND box) {
    HWND text = GetDlgItem(box, k_message_text_id);
    if (text == nullptr) text = GetDlgItem(box, -1);
    if (text == nullptr) {
        StaticSearch search{nullptr};
        EnumChildWindows(box, find_text_static, reinterpret_cast<LPARAM>(&search));
        text = search.found;
    }
    return text != nullptr ? text_of(text) : std::string();
}

bool has_button(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button != nullptr && (GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE) != 0;
}

struct Kind {
    const char* name;
    int button;
};

// Names the box by its buttons and picks the one to press.
Kind kind_of(HWND box) {
    bool ok = has_button(box, IDOK);
    bool cancel = has_button(box, IDCANCEL);
    bool yes = has_button(box, IDYES);
    bool no = has_button(box, IDNO);
    if (yes) {
        int answer = g_answer.load();
        int button = has_button(box, answer) ? answer : (no ? IDNO : IDYES);
        return {cancel ? "yesnocancel" : "yesno", button};
    }
    if (has_button(box, IDABORT)) return {"abortretryignore", IDIGNORE};
    if (has_button(box, IDRETRY)) return {"retrycancel", IDCANCEL};
    if (has_button(box, IDTRYAGAIN)) return {"canceltrycontinue", IDCONTINUE};
    if (ok) return {cancel ? "okcancel" : "ok", IDOK};
    if (cancel) return {"cancel", IDCANCEL};
    return {"other", 0};
}

void press(HWND box, int button) {
    HWND control = GetDlgItem(box, button);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
}

Seen handle_box(HWND box, ULONGLONG now) {
    std::string caption = text_of(box);
    std::string message = message_of(box);
    Kind kind = kind_of(box);
    int button = g_press ? kind.button : 0;
    HWND owner = GetWindow(box, GW_OWNER);
    const char* owner_name = owner == nullptr ? "none" : owner == g_game ? "game" : "other";
    DWORD thread = GetWindowThreadProcessId(box, nullptr);
    log_event("box caption=" + quote(caption) + " text=" + quote(message) + " type=" + kind.name +
              " answer=" + std::to_string(button) + " owner=" + owner_name +
              " thread=" + (thread == g_main_thread ? "main" : "other"));
    return Seen{caption, button, now + static_cast<ULONGLONG>(g_delay_ms.load()), false};
}

void poll(std::map<HWND, Seen>& seen) {
    std::vector<HWND> boxes;
    EnumWindows(collect_box, reinterpret_cast<LPARAM>(&boxes));
    for (auto it = seen.begin(); it != seen.end();) {
        if (IsWindow(it->first)) {
            ++it;
            continue;
        }
        log_event("boxgone caption=" + quote(it->second.caption));
        ++g_gone;
        it = seen.erase(it);
    }
    for (HWND box : boxes) {
        ULONGLONG now = GetTickCount64();
        auto it = seen.find(box);
        if (it == seen.end()) {
            // A box is ready once shown: before that its buttons may not be settled.
            if (!IsWindowVisible(box)) continue;
            it = seen.emplace(box, handle_box(box, now)).first;
        }
        Seen& s = it->second;
        if (s.button == 0 || now < s.due) continue;
        if (!s.pressed) {
            log_event("boxpress caption=" + quote(s.caption) +
                      " answer=" + std::to_string(s.button));
            s.pressed = true;
        }
        press(box, s.button);
        s.due = now + k_repress_ms;
    }
}

DWORD WINAPI watch(void*) noexcept {
    std::map<HWND, Seen> seen;
    while (WaitForSingleObject(g_stop, k_poll_ms) == WAIT_TIMEOUT)
        poll(seen);
    return 0;
}

} // namespace

void box_watcher_start(HWND game_window, DWORD main_thread, int answer, bool press_buttons,
                       int delay_ms) {
    g_delay_ms = delay_ms;
    g_game = game_window;
    g_main_thread = main_thread;
    g_press = press_buttons;
    g_answer = answer;
    g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_thread = CreateThread(nullptr, 0, watch, nullptr, 0, nullptr);
}

void box_watcher_set_answer(int answer) {
    g_answer = answer;
}

void box_watcher_set_delay(int delay_ms) {
    g_delay_ms = delay_ms;
}

int box_watcher_gone_count() {
    return g_gone.load();
}

void box_watcher_stop() {
    if (g_thread == nullptr) return;
    SetEvent(g_stop);
    WaitForSingleObject(g_thread, 2000);
    CloseHandle(g_thread);
    g_thread = nullptr;
}

} // namespace host
