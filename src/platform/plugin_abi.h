// The host's plug-in records: our input-module record, which the host drives, and the
// host's output-module record, of which we call four slots. 32-bit, cdecl, no padding.
#pragma once
#include "platform/types.h"

#if defined(__i386__)
#define ORV_CDECL __attribute__((cdecl))
#else
#define ORV_CDECL
#endif

struct Out_Module {
    int version;
    char* description;
    int id;
    platform::Hwnd hMainWindow;
    platform::Instance hDllInstance;
    void(ORV_CDECL* Config)(platform::Hwnd parent);
    void(ORV_CDECL* About)(platform::Hwnd parent);
    void(ORV_CDECL* Init)();
    void(ORV_CDECL* Quit)();
    int(ORV_CDECL* Open)(int sampleRate, int channels, int bits, int bufferMs, int prebufferMs);
    void(ORV_CDECL* Close)();
    int(ORV_CDECL* Write)(char* buffer, int length);
    int(ORV_CDECL* CanWrite)();
    int(ORV_CDECL* IsPlaying)();
    int(ORV_CDECL* Pause)(int pause);
    void(ORV_CDECL* SetVolume)(int volume);
    void(ORV_CDECL* SetPan)(int pan);
    void(ORV_CDECL* Flush)(int ms);
    int(ORV_CDECL* GetOutputTime)();
    int(ORV_CDECL* GetWrittenTime)();
};

struct In_Module {
    int version;
    const char* description;
    platform::Hwnd hMainWindow;
    platform::Instance hDllInstance;
    const char* FileExtensions;
    int is_seekable;
    int UsesOutputPlug;
    void(ORV_CDECL* Config)(platform::Hwnd parent);
    void(ORV_CDECL* About)(platform::Hwnd parent);
    void(ORV_CDECL* Init)();
    void(ORV_CDECL* Quit)();
    void(ORV_CDECL* GetFileInfo)(const char* file, char* title, int* lengthMs);
    int(ORV_CDECL* InfoBox)(const char* file, platform::Hwnd parent);
    int(ORV_CDECL* IsOurFile)(const char* name);
    int(ORV_CDECL* Play)(const char* name);
    void(ORV_CDECL* Pause)();
    void(ORV_CDECL* UnPause)();
    int(ORV_CDECL* IsPaused)();
    void(ORV_CDECL* Stop)();
    int(ORV_CDECL* GetLength)();
    int(ORV_CDECL* GetOutputTime)();
    void(ORV_CDECL* SetOutputTime)(int ms);
    void(ORV_CDECL* SetVolume)(int volume);
    void(ORV_CDECL* SetPan)(int pan);
    void(ORV_CDECL* SAVSAInit)(int maxLatencyMs, int sampleRate);
    void(ORV_CDECL* SAVSADeInit)();
    void(ORV_CDECL* SAAddPCMData)(void* pcm, int channels, int bits, int timestamp);
    int(ORV_CDECL* SAGetMode)();
    int(ORV_CDECL* SAAdd)(void* data, int timestamp, int mode);
    void(ORV_CDECL* VSAAddPCMData)(void* pcm, int channels, int bits, int timestamp);
    int(ORV_CDECL* VSAGetMode)(int* specChannels, int* specSamples);
    int(ORV_CDECL* VSAAdd)(void* data, int timestamp);
    void(ORV_CDECL* VSASetInfo)(int sampleRate, int channels);
    int(ORV_CDECL* dsp_isactive)();
    int(ORV_CDECL* dsp_dosamples)(short* samples, int count, int bits, int channels,
                                  int sampleRate);
    void(ORV_CDECL* EQSet)(int on, char data[10], int preamp);
    void(ORV_CDECL* SetInfo)(int bitrate, int sampleRate, int stereo, int synched);
    Out_Module* outMod;
};

#if defined(__i386__)
static_assert(sizeof(In_Module) == 152, "the host reads 38 four-byte fields");
static_assert(sizeof(Out_Module) == 80, "the host's output module has 20 four-byte fields");
#endif
