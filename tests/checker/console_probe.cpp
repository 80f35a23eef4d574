// Starts a console program as Windows starts it for a double-click (a console of its
// own) or from a command prompt (the console of its starter), and says whether it waits
// for a key before it ends:
//
//   console_probe own|own-no-input|shared FOLDER PROGRAM
//
// FOLDER is the program's current folder. After a second the program should have ended;
// if it still runs, a key is typed on its console. Prints "ended CODE" or "waited CODE".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void TypeKey(DWORD process) {
    FreeConsole();
    if (!AttachConsole(process)) return;
    const HANDLE in =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    INPUT_RECORD keys[2] = {};
    for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
    }
    DWORD written = 0;
    WriteConsoleInputW(in, keys, 2, &written);
    CloseHandle(in);
    FreeConsole();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: console_probe own|own-no-input|shared FOLDER PROGRAM\n", stderr);
        return 2;
    }
    const std::string mode = argv[1];
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    DWORD flags = 0;
    HANDLE nul = INVALID_HANDLE_VALUE;
    if (mode == "shared") {
        // A console the probe shares with the program, as a command prompt does.
        FreeConsole();
        AllocConsole();
    } else {
        flags = CREATE_NEW_CONSOLE;
    }
    if (mode == "own-no-input") {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherit, OPEN_EXISTING, 0, nullptr);
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = start.hStdOutput = start.hStdError = nul;
    }
    std::string command = std::string("\"") + argv[3] + "\"";
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE,
                        flags, nullptr, argv[2], &start, &child)) {
        std::printf("cannot start %s: error %lu\n", argv[3], GetLastError());
        return 2;
    }
    bool waited = false;
    if (WaitForSingleObject(child.hProcess, 5000) == WAIT_TIMEOUT) {
        waited = true;
        TypeKey(child.dwProcessId);
        if (WaitForSingleObject(child.hProcess, 20000) == WAIT_TIMEOUT) {
            TerminateProcess(child.hProcess, 99);
            WaitForSingleObject(child.hProcess, 5000);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    std::printf("%s %lu\n", waited ? "waited" : "ended", code);
    return 0;
}
