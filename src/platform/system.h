// Kernel, runtime and multimedia services: time, threads, beeps, sounds, memory,
// random numbers, code page, COM start-up and the process list.
#pragma once
#include "platform/types.h"

namespace platform {

uint32_t GetTickCount();
void Sleep(uint32_t ms);
void Beep(uint32_t frequencyHz, uint32_t durationMs);

// The C runtime's generator: srand / rand with results 0..32767.
void SeedRandom(uint32_t seed);
int NextRandom();

uint32_t GetCurrentThreadId();
void CloseObject(Handle h);
using ThreadProc = uint32_t (*)(void* param);
// CreateThread with default security and stack, runs at once; null on failure.
Handle StartThread(ThreadProc proc, void* param);

// PlaySoundA: a null name stops whatever PlaySound is playing.
bool PlaySoundFile(const char* name, unsigned flags);

// Zero-filled memory from the system heap (LocalAlloc / LocalFree); null on failure.
void* AllocZeroed(size_t bytes);
// The same without the zero-filling, for a block its caller overwrites whole.
void* Alloc(size_t bytes);
void FreeMemory(void* block);

// IsDBCSLeadByte for the system's ANSI code page, or IsDBCSLeadByteEx for the code page
// chosen with UseCodePage. The module never chooses one; the game-folder checker applies
// the game's (0 goes back to the system's).
bool IsDbcsLeadByte(uint8_t byte);
void UseCodePage(uint32_t codePage);
// MultiByteToWideChar from the ANSI code page, source zero-terminated; returns the
// number of characters written (0 on failure; out is then zero-terminated anyway).
int AnsiToWide(const char* text, char16_t* out, int outChars);

// CoInitialize(nullptr) / CoUninitialize on the calling thread.
HResult CoInitialize();
void CoUninitialize();

// Tool-help process snapshot: executable names (no folder) of running processes.
Handle CreateProcessSnapshot();
bool FirstProcess(Handle snapshot, char (&exeName)[kMaxPath]);
bool NextProcess(Handle snapshot, char (&exeName)[kMaxPath]);

// GetCurrentDirectoryA / GetModuleFileNameA(null): length written, 0 on failure.
uint32_t GetCurrentDir(char* buffer, uint32_t size);
// SetCurrentDirectoryA: false when the folder can't be entered (GetLastError tells why).
bool SetCurrentDir(const char* path);
uint32_t GetHostProgramPath(char* buffer, uint32_t size);

} // namespace platform
