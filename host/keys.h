#pragma once

// Key presses sent to the game window: the key itself is posted (WM_KEYDOWN, then WM_KEYUP),
// modifiers are held down for real with SendInput so that the key state says so.

#include <windows.h>

#include <string_view>

namespace host {

struct Modifiers {
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

// "0x75", "117", or a name: F1..F24, A..Z, 0..9, BACK, TAB, RETURN, ESCAPE, SPACE, ...
bool parse_virtual_key(std::string_view name, UINT& vk);

// Holds the modifiers, posts the key down, pumps ~50 ms, posts the key up, releases them.
void press_key(HWND window, UINT vk, Modifiers modifiers);

} // namespace host
