// The console on Windows: colours through the console's virtual terminal mode, the
// process list of the console for a double-click, and names turned from the ANSI code
// page into UTF-8.
#include "platform/console.h"

#include <windows.h>

#include <string>

#include "platform/text_out.h"

namespace platform {

bool OutputShowsColour() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !::GetConsoleMode(out, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

bool AloneOnConsole() {
    DWORD processes[2];
    if (::GetConsoleProcessList(processes, 2) != 1) return false;
    DWORD mode = 0;
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    return in != INVALID_HANDLE_VALUE && ::GetConsoleMode(in, &mode) != FALSE;
}

void WaitForKey() {
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    ::FlushConsoleInputBuffer(in);
    INPUT_RECORD record;
    DWORD read = 0;
    while (::ReadConsoleInputW(in, &record, 1, &read) && read == 1)
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
}

std::string MachinePath(const std::string& name) {
    // A character of an ANSI code page takes at most three bytes in UTF-8.
    std::string path(name.size() * 3, '\0');
    path.resize(CodePageToUtf8(CP_ACP, name.data(), name.size(), path.data(), path.size()));
    if (path.empty()) path = name; // not text of the code page: the bytes as written
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

} // namespace platform
