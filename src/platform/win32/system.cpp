// Kernel and runtime services on Windows (sounds played by name are in media.cpp).
#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/system.h"

namespace platform {

uint32_t GetTickCount() {
    return ::GetTickCount();
}
void Sleep(uint32_t ms) {
    ::Sleep(ms);
}
void Beep(uint32_t frequencyHz, uint32_t durationMs) {
    ::Beep(frequencyHz, durationMs);
}

void SeedRandom(uint32_t seed) {
    std::srand(seed);
}
int NextRandom() {
    return std::rand();
}

uint32_t GetCurrentThreadId() {
    return ::GetCurrentThreadId();
}

void CloseObject(Handle h) {
    if (h) ::CloseHandle(h);
}

namespace {
// What one start hands to its thread. Each start has its own record, so two quick
// starts never share one; the new thread takes it over and frees it.
struct ThreadStart {
    ThreadProc proc;
    void* param;
    HMODULE module; // this DLL, held loaded while the thread runs
};

DWORD WINAPI ThreadTrampoline(LPVOID param) {
    auto* record = static_cast<ThreadStart*>(param);
    const ThreadStart start = *record;
    delete record;
    const DWORD result = start.proc(start.param);
    // A host that unloads the module while the thread still shows its box must not pull
    // the code from under it: the thread gives its hold back as it ends.
    if (start.module) ::FreeLibraryAndExitThread(start.module, result);
    return result;
}
} // namespace

Handle StartThread(ThreadProc proc, void* param) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCSTR>(&ThreadTrampoline), &module))
        module = nullptr;
    auto* record = new (std::nothrow) ThreadStart{proc, param, module};
    HANDLE thread =
        record ? ::CreateThread(nullptr, 0, ThreadTrampoline, record, 0, nullptr) : nullptr;
    if (!thread) { // no thread will take the record or the hold
        delete record;
        if (module) ::FreeLibrary(module);
    }
    return thread;
}

void* AllocZeroed(size_t bytes) {
    return ::LocalAlloc(LPTR, bytes);
}
void* Alloc(size_t bytes) {
    return ::LocalAlloc(LMEM_FIXED, bytes);
}
void FreeMemory(void* block) {
    if (block) ::LocalFree(block);
}

namespace {
UINT chosenCodePage = 0; // 0: the system's ANSI code page
} // namespace

bool IsDbcsLeadByte(uint8_t byte) {
    if (chosenCodePage == 0) return ::IsDBCSLeadByte(byte) != FALSE;
    return ::IsDBCSLeadByteEx(chosenCodePage, byte) != FALSE;
}

void UseCodePage(uint32_t codePage) {
    chosenCodePage = codePage;
}

int AnsiToWide(const char* text, char16_t* out, int outChars) {
    if (outChars <= 0) return 0;
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<LPWSTR>(out), outChars);
    if (n == 0) {
        // Too long for the buffer: keep what fits, terminated.
        out[outChars - 1] = u'\0';
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) out[0] = u'\0';
    }
    return n;
}

HResult CoInitialize() {
    return ::CoInitialize(nullptr);
}
void CoUninitialize() {
    ::CoUninitialize();
}

Handle CreateProcessSnapshot() {
    HANDLE h = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

namespace {
bool CopyProcessName(const PROCESSENTRY32& entry, char (&exeName)[kMaxPath]) {
    std::memcpy(exeName, entry.szExeFile, kMaxPath);
    exeName[kMaxPath - 1] = '\0';
    return true;
}
} // namespace

bool FirstProcess(Handle snapshot, char (&exeName)[kMaxPath]) {
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    return ::Process32First(snapshot, &entry) && CopyProcessName(entry, exeName);
}

bool NextProcess(Handle snapshot, char (&exeName)[kMaxPath]) {
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    return ::Process32Next(snapshot, &entry) && CopyProcessName(entry, exeName);
}

uint32_t GetCurrentDir(char* buffer, uint32_t size) {
    const DWORD n = ::GetCurrentDirectoryA(size, buffer);
    if (n == 0 || n >= size) {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    return n;
}

bool SetCurrentDir(const char* path) {
    return ::SetCurrentDirectoryA(path) != FALSE;
}

uint32_t GetHostProgramPath(char* buffer, uint32_t size) {
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, size);
    if (size > 0) buffer[size - 1] = '\0';
    return n;
}

} // namespace platform
