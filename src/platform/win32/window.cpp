// The host's windows and the user interface on Windows.
#include <windows.h>
#include <shellapi.h>

#include "platform/window.h"
#include "platform/win32/step_timing.h"

namespace platform {

int ShowMessageBox(Hwnd owner, const char* text, const char* caption, unsigned flags) {
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
}

int ReadWindowTitle(Hwnd window, char* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = '\0';
    if (!window) return 0;
    const int n = ::GetWindowTextA(static_cast<HWND>(window), buffer, size);
    buffer[size - 1] = '\0';
    return n;
}

void WriteWindowTitle(Hwnd window, const char* text) {
    ORV_STEP("SetWindowText");
    if (window) ::SetWindowTextA(static_cast<HWND>(window), text);
}

void StartWindowTimer(Hwnd window, uintptr_t id, uint32_t periodMs) {
    if (window) ::SetTimer(static_cast<HWND>(window), id, periodMs, nullptr);
}

void StopWindowTimer(Hwnd window, uintptr_t id) {
    if (window) ::KillTimer(static_cast<HWND>(window), id);
}

uint32_t RegisterMessage(const char* name) {
    return ::RegisterWindowMessageA(name);
}

bool PostToWindow(Hwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return ::PostMessageA(static_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

void ServeSentMessages() {
    // Only the sent-message part of the queue is looked at: the window procedures get the
    // messages other threads sent, and no posted message is taken or looked at, so
    // nothing reaches this thread's message hook from here.
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void BringWindowToFront(Hwnd window) {
    if (!window) return;
    ::SetWindowPos(static_cast<HWND>(window), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(static_cast<HWND>(window));
}

void AcceptDroppedFiles(Hwnd window, bool accept) {
    if (window) ::DragAcceptFiles(static_cast<HWND>(window), accept ? TRUE : FALSE);
}

uint32_t QueryDroppedFile(uintptr_t drop, uint32_t index, char* name, uint32_t size) {
    return ::DragQueryFileA(reinterpret_cast<HDROP>(drop), index, name, size);
}

void FinishDrop(uintptr_t drop) {
    ::DragFinish(reinterpret_cast<HDROP>(drop));
}

namespace {
HookProc InstalledProc = nullptr;

LRESULT CALLBACK HookThunk(int code, WPARAM wParam, LPARAM lParam) {
    return InstalledProc(code, wParam, lParam);
}
} // namespace

Handle InstallMessageHook(HookProc proc, Instance module, uint32_t threadId) {
    InstalledProc = proc;
    return ::SetWindowsHookExA(WH_GETMESSAGE, HookThunk, static_cast<HINSTANCE>(module), threadId);
}

bool RemoveMessageHook(Handle hook) {
    return ::UnhookWindowsHookEx(static_cast<HHOOK>(hook)) != FALSE;
}

intptr_t CallNextHook(Handle hook, int code, uintptr_t wParam, intptr_t lParam) {
    return ::CallNextHookEx(static_cast<HHOOK>(hook), code, wParam, lParam);
}

HookMessage ReadHookMessage(intptr_t lParam) {
    const MSG* m = reinterpret_cast<const MSG*>(lParam);
    return {m->hwnd, m->message, m->wParam, m->lParam};
}

int16_t GetAsyncKeyState(int virtualKey) {
    return ::GetAsyncKeyState(virtualKey);
}

int LoadStringResource(Instance module, unsigned id, char* buffer, int size) {
    return ::LoadStringA(static_cast<HINSTANCE>(module), id, buffer, size);
}

void ShellOpen(Hwnd owner, const char* verb, const char* file, const char* parameters,
               const char* directory, int show) {
    ::ShellExecuteA(static_cast<HWND>(owner), verb, file, parameters, directory, show);
}

} // namespace platform
