// The host's windows and the user interface: message boxes, the title bar, timers,
// the message hook, key state, string resources, drops and starting programs.
#pragma once
#include "platform/types.h"

namespace platform {

// MessageBoxA: returns the button pressed (kIdOk, kIdYes, kIdNo...).
int ShowMessageBox(Hwnd owner, const char* text, const char* caption, unsigned flags);

// GetWindowTextA into at most `size` bytes, terminator included; returns the length.
int ReadWindowTitle(Hwnd window, char* buffer, int size);
void WriteWindowTitle(Hwnd window, const char* text);

// SetTimer without a timer procedure / KillTimer.
void StartWindowTimer(Hwnd window, uintptr_t id, uint32_t periodMs);
void StopWindowTimer(Hwnd window, uintptr_t id);

// RegisterWindowMessageA: a message number unique to the name, the same in every
// thread and program; 0 on failure.
uint32_t RegisterMessage(const char* name);
// PostMessageA; false when the message could not be queued.
bool PostToWindow(Hwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Handles the messages other threads have sent (not posted) to the calling thread's
// windows, without taking any posted message from its queue: PeekMessageA with
// PM_NOREMOVE | PM_QS_SENDMESSAGE. A thread that waits for another may call it so
// that the other never blocks on it. Checked under Wine, also from inside the thread's
// WH_GETMESSAGE hook: a SendMessage or SetWindowText of another thread completes, the
// call answers FALSE, posted messages stay queued and the hook is not called again.
void ServeSentMessages();

// SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) then SetForegroundWindow.
void BringWindowToFront(Hwnd window);

void AcceptDroppedFiles(Hwnd window, bool accept);
// DragQueryFileA: the number of files when index is 0xFFFFFFFF, else the name's length
// (0 when it cannot be had). DragFinish releases the drop.
uint32_t QueryDroppedFile(uintptr_t drop, uint32_t index, char* name, uint32_t size);
void FinishDrop(uintptr_t drop);

// WH_GETMESSAGE hook on one thread. The procedure receives the hook's own arguments.
using HookProc = intptr_t (*)(int code, uintptr_t wParam, intptr_t lParam);
Handle InstallMessageHook(HookProc proc, Instance module, uint32_t threadId);
bool RemoveMessageHook(Handle hook);
intptr_t CallNextHook(Handle hook, int code, uintptr_t wParam, intptr_t lParam);

// The message a WH_GETMESSAGE hook's lParam points to.
struct HookMessage {
    Hwnd window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};
HookMessage ReadHookMessage(intptr_t lParam);

// GetAsyncKeyState: negative while the key is down.
int16_t GetAsyncKeyState(int virtualKey);

// LoadStringA: the length copied, 0 when the resource is missing.
int LoadStringResource(Instance module, unsigned id, char* buffer, int size);

// ShellExecuteA; the result is not used by the module.
void ShellOpen(Hwnd owner, const char* verb, const char* file, const char* parameters,
               const char* directory, int show);

} // namespace platform
