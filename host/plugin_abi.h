#pragma once

// The two records the host and the plug-in exchange, declared from the binary layout in
// docs/plugin-abi.md: 32-bit, every field 4 bytes, no padding, every function pointer cdecl.

#include <windows.h>

#include <cstddef>

namespace host {

struct OutModule;

// The plug-in's input-module record (version 0x100), 38 fields, 152 bytes.
struct InModule {
    int version;
    char* description;
    HWND hMainWindow;       // filled by the host
    HINSTANCE hDllInstance; // filled by the host
    char* FileExtensions;
    int is_seekable;
    int UsesOutputPlug;
    void(__cdecl* Config)(HWND parent);
    void(__cdecl* About)(HWND parent);
    void(__cdecl* Init)();
    void(__cdecl* Quit)();
    void(__cdecl* GetFileInfo)(const char* file, char* title, int* length_ms);
    int(__cdecl* InfoBox)(const char* file, HWND parent);
    int(__cdecl* IsOurFile)(const char* name);
    int(__cdecl* Play)(const char* name);
    void(__cdecl* Pause)();
    void(__cdecl* UnPause)();
    int(__cdecl* IsPaused)();
    void(__cdecl* Stop)();
    int(__cdecl* GetLength)();
    int(__cdecl* GetOutputTime)();
    void(__cdecl* SetOutputTime)(int ms);
    void(__cdecl* SetVolume)(int volume);
    void(__cdecl* SetPan)(int pan);
    void(__cdecl* SAVSAInit)(int max_latency_ms, int sample_rate);
    void(__cdecl* SAVSADeInit)();
    void(__cdecl* SAAddPCMData)(void* pcm, int channels, int bits, int timestamp);
    int(__cdecl* SAGetMode)();
    int(__cdecl* SAAdd)(void* data, int timestamp, int mode);
    void(__cdecl* VSAAddPCMData)(void* pcm, int channels, int bits, int timestamp);
    int(__cdecl* VSAGetMode)(int* spectrum_channels, int* spectrum_samples);
    int(__cdecl* VSAAdd)(void* data, int timestamp);
    void(__cdecl* VSASetInfo)(int sample_rate, int channels);
    int(__cdecl* dsp_isactive)();
    int(__cdecl* dsp_dosamples)(short* samples, int count, int bits, int channels, int sample_rate);
    void(__cdecl* EQSet)(int on, char data[10], int preamp);
    void(__cdecl* SetInfo)(int bitrate, int sample_rate, int stereo, int synched);
    OutModule* outMod; // filled by the host
};

// The host's output-module record, 20 fields, 80 bytes.
struct OutModule {
    int version;
    char* description;
    int id;
    HWND hMainWindow;
    HINSTANCE hDllInstance;
    void(__cdecl* Config)(HWND parent);
    void(__cdecl* About)(HWND parent);
    void(__cdecl* Init)();
    void(__cdecl* Quit)();
    int(__cdecl* Open)(int sample_rate, int channels, int bits, int buffer_ms, int prebuffer_ms);
    void(__cdecl* Close)();
    int(__cdecl* Write)(char* buf, int len);
    int(__cdecl* CanWrite)();
    int(__cdecl* IsPlaying)();
    int(__cdecl* Pause)(int pause);
    void(__cdecl* SetVolume)(int volume);
    void(__cdecl* SetPan)(int pan);
    void(__cdecl* Flush)(int ms);
    int(__cdecl* GetOutputTime)();
    int(__cdecl* GetWrittenTime)();
};

// The DLL's one export, "winampGetInModule2".
using GetInModuleFn = InModule*(__cdecl*)();

// The binary layout holds for the 32-bit host; the 64-bit build (machines that cannot run
// 32-bit programs) has the same fields at pointer size, checked against the module's
// declaration in abi_agreement.cpp.
#if defined(__i386__)
static_assert(sizeof(InModule) == 152);
static_assert(offsetof(InModule, Config) == 28);
static_assert(offsetof(InModule, Play) == 56);
static_assert(offsetof(InModule, SetVolume) == 88);
static_assert(offsetof(InModule, SAVSAInit) == 96);
static_assert(offsetof(InModule, dsp_isactive) == 132);
static_assert(offsetof(InModule, SetInfo) == 144);
static_assert(offsetof(InModule, outMod) == 148);
static_assert(sizeof(OutModule) == 80);
static_assert(offsetof(OutModule, Close) == 40);
static_assert(offsetof(OutModule, Pause) == 56);
static_assert(offsetof(OutModule, SetVolume) == 60);
static_assert(offsetof(OutModule, SetPan) == 64);
static_assert(offsetof(OutModule, GetWrittenTime) == 76);
#endif

} // namespace host
