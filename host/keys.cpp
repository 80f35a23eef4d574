#include "keys.h"

#include "numbers.h"
#include "pump.h"

#include <cctype>
#include <string>

namespace host {

namespace {

constexpr DWORD k_settle_ms = 20;
constexpr DWORD k_hold_ms = 50;

struct Named {
    const char* name;
    UINT vk;
};

const Named k_names[] = {
    {"BACK", VK_BACK},    {"BACKSPACE", VK_BACK},    {"TAB", VK_TAB},       {"RETURN", VK_RETURN},
    {"ENTER", VK_RETURN}, {"ESCAPE", VK_ESCAPE},     {"ESC", VK_ESCAPE},    {"SPACE", VK_SPACE},
    {"PRIOR", VK_PRIOR},  {"PGUP", VK_PRIOR},        {"NEXT", VK_NEXT},     {"PGDN", VK_NEXT},
    {"END", VK_END},      {"HOME", VK_HOME},         {"LEFT", VK_LEFT},     {"UP", VK_UP},
    {"RIGHT", VK_RIGHT},  {"DOWN", VK_DOWN},         {"INSERT", VK_INSERT}, {"DELETE", VK_DELETE},
    {"ADD", VK_ADD},      {"SUBTRACT", VK_SUBTRACT}, {"PAUSE", VK_PAUSE},   {"CONTROL", VK_CONTROL},
    {"SHIFT", VK_SHIFT},  {"MENU", VK_MENU},
};

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

void send_modifier(WORD vk, bool down) {
    auto scan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    DWORD flags = down ? 0 : KEYEVENTF_KEYUP;
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    if (SendInput(1, &input, sizeof(input)) != 1) {
        keybd_event(static_cast<BYTE>(vk), static_cast<BYTE>(scan), flags, 0);
    }
}

void send_modifiers(Modifiers m, bool down) {
    if (m.ctrl) send_modifier(VK_CONTROL, down);
    if (m.shift) send_modifier(VK_SHIFT, down);
    if (m.alt) send_modifier(VK_MENU, down);
}

} // namespace

bool parse_virtual_key(std::string_view name, UINT& vk) {
    std::string key = upper(name);
    if (key.empty()) return false;
    if (key.size() == 1 && (std::isalpha(static_cast<unsigned char>(key[0])) ||
                            std::isdigit(static_cast<unsigned char>(key[0])))) {
        vk = static_cast<UINT>(key[0]);
        return true;
    }
    if (key[0] == 'F' && key.size() <= 3) {
        long long n = 0;
        if (parse_number(std::string_view(key).substr(1), n) && n >= 1 && n <= 24) {
            vk = static_cast<UINT>(VK_F1 + n - 1);
            return true;
        }
    }
    for (const Named& named : k_names) {
        if (key == named.name) {
            vk = named.vk;
            return true;
        }
    }
    long long n = 0;
    if (parse_number(name, n) && n > 0 && n < 256) {
        vk = static_cast<UINT>(n);
        return true;
    }
    return false;
}

void press_key(HWND window, UINT vk, Modifiers modifiers) {
    bool any = modifiers.ctrl || modifiers.shift || modifiers.alt;
    if (any) {
        send_modifiers(modifiers, true);
        // Let the modifier's own input reach the thread before the key, as a keyboard would.
        pump_for(k_settle_ms);
    }
    auto scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    LPARAM down = 1 | (scan << 16) | (modifiers.alt ? (1L << 29) : 0);
    LPARAM up = down | (1L << 30) | static_cast<LPARAM>(1UL << 31);
    PostMessageA(window, modifiers.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
    pump_for(k_hold_ms);
    PostMessageA(window, modifiers.alt ? WM_SYSKEYUP : WM_KEYUP, vk, up);
    pump_pending();
    if (any) {
        send_modifiers(modifiers, false);
        pump_for(k_settle_ms);
    }
}

} // namespace host
