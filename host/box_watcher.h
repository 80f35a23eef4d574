#pragma once

// A thread that watches for dialog boxes (class "#32770") of this process, logs each one once
// and presses a button: the configured answer on Yes/No boxes, OK (or Cancel) on the others.
// It is a thread of its own, so it keeps working while the window thread sits in a modal box.

#include <windows.h>

namespace host {

// `press` false: boxes are only logged and left for the player to answer. `delay_ms`: how
// long a box stays before its button is pressed.
void box_watcher_start(HWND game_window, DWORD main_thread, int answer, bool press, int delay_ms);

// The button for later Yes/No boxes (6 Yes, 7 No, 2 Cancel).
void box_watcher_set_answer(int answer);

// How long later boxes stay before their button is pressed.
void box_watcher_set_delay(int delay_ms);

// Boxes seen and gone since the start.
int box_watcher_gone_count();

void box_watcher_stop();

} // namespace host
