// The playback engine: the media graph, the transport and the volume.
#pragma once
#include "platform/types.h"

struct MediaGraphRecord {
    platform::ComPtr GraphBuilder = nullptr;
    platform::ComPtr MediaControl = nullptr;
    platform::ComPtr MediaEvent = nullptr;
    platform::ComPtr MediaPosition = nullptr;
    platform::ComPtr BasicAudio = nullptr;
    bool Ready = false;    // the five interfaces are valid
    bool Rendered = false; // a file has been started in the graph
};
extern MediaGraphRecord MediaGraph;

// Media graph.
int InitDS();
void ReleaseDS(uint8_t freeEntryTable);
int RenderTurbo(const char* name);
int RenderAndRun(const char* text);

// Transport.
int PauseDS();
void Pause();
void UnPause();
void Stop();

// Volume.
void SetVolume(int volume);
