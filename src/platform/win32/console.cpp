// The console on Windows: colours through the console's virtual terminal mode, the
// process list of the console for a double-click, and names turned from the ANSI code
// page into UTF-8.
#include "platform/console.h"

#include <windows.h>

#include <string>

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
    std::string path;
    const int wide =
        ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    if (wide > 0) {
        std::wstring text(static_cast<size_t>(wide), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), text.data(),
                              wide);
        const int bytes =
            ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
        path.assign(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
        if (bytes > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, path.data(), bytes, nullptr,
                                  nullptr);
    }
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

} // namespace platform
