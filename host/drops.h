#pragma once

// Files dropped onto the game window, delivered as the shell does: WM_DROPFILES posted with a
// movable global block that starts with a DROPFILES header (ANSI names) and holds the full
// names, each ending in a NUL, and one more NUL after the last. Whoever handles the message
// releases the block (DragFinish).

#include <windows.h>

#include <string>
#include <vector>

namespace host {

// Posts the drop; names are made full against the current folder. Logs
// "drop accept=<0|1> "<full name>"... -> posted" (accept: the window takes dropped files,
// WS_EX_ACCEPTFILES) or "-> error <code>".
void post_drop(HWND window, const std::vector<std::string>& names);

} // namespace host
