#pragma once

// The game window: a normal top-level window whose procedure logs every title change
// (WM_SETTEXT) and notes a close request; everything else goes to DefWindowProc, except the
// heartbeat timer and dropped files (below).

#include <windows.h>

#include <string>

namespace host {

struct GameWindowSettings {
    std::string title;
    int heartbeat_ms = 0;    // not 0: log "beat N" every so many milliseconds from a timer
    bool read_drops = false; // read a WM_DROPFILES with the shell and release it (no plug-in)
};

// Registers the class and creates and shows the window on the calling thread.
HWND create_game_window(HINSTANCE instance, const GameWindowSettings& settings);

// True once the window got WM_CLOSE or WM_DESTROY.
bool game_window_closed();

// Another program's window, made on first use and brought to the foreground, so that the
// game window is not in front.
HWND show_decoy_window(HINSTANCE instance);

// Whose window is the foreground window: "game", "decoy", "none", or "other" and its
// caption in quotes.
std::string foreground_owner(HWND game);

} // namespace host
