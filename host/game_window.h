#pragma once

// The game window: a normal top-level window whose procedure logs every title change
// (WM_SETTEXT) and notes a close request; everything else goes to DefWindowProc.

#include <windows.h>

#include <string>

namespace host {

// Registers the class and creates and shows the window on the calling thread.
HWND create_game_window(HINSTANCE instance, const std::string& title);

// True once the window got WM_CLOSE or WM_DESTROY.
bool game_window_closed();

} // namespace host
