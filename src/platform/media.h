// DirectShow through COM: one function per method the module relies on, each
// returning the raw status code. Interface pointers are opaque and owned by the caller.
#pragma once
#include "platform/types.h"

namespace platform {

enum class GraphInterface { MediaControl, MediaEvent, MediaPosition, BasicAudio };

// CoCreateInstance(CLSID_FilterGraph, null, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
// IID_IGraphBuilder).
HResult CreateFilterGraph(ComPtr* graphBuilder);
// QueryInterface on the graph manager.
HResult QueryGraphInterface(ComPtr graphBuilder, GraphInterface which, ComPtr* out);
// IUnknown::Release.
void Release(ComPtr object);
// The graph manager hands out the free-threaded marshaler (IMarshal::GetUnmarshalClass
// answers CLSID_InProcFreeMarshaler): any thread of the process may then call it directly,
// whatever apartment made it. Without it (Wine 8.0, docs/seamless-changes.md) only threads
// of the apartment that made the graph may.
bool GraphIsFreeThreaded(ComPtr graphBuilder);

// IGraphBuilder.
HResult RenderFile(ComPtr graphBuilder, const char16_t* fileName);
HResult EnumFilters(ComPtr graphBuilder, ComPtr* enumerator);
HResult NextFilter(ComPtr enumerator, ComPtr* filter);
HResult RemoveFilter(ComPtr graphBuilder, ComPtr filter);

// IMediaControl.
HResult Run(ComPtr mediaControl);
HResult Pause(ComPtr mediaControl);
HResult Stop(ComPtr mediaControl);
HResult GetState(ComPtr mediaControl, int32_t timeoutMs);

// IMediaPosition, seconds.
HResult put_CurrentPosition(ComPtr mediaPosition, double seconds);
HResult get_CurrentPosition(ComPtr mediaPosition, double* seconds);
HResult get_StopTime(ComPtr mediaPosition, double* seconds);
HResult put_StopTime(ComPtr mediaPosition, double seconds);

// IMediaEventEx. EC_COMPLETE: the stream has ended.
constexpr int32_t kEcComplete = 1;
HResult SetNotifyWindow(ComPtr mediaEvent, Hwnd window, uint32_t message, intptr_t instance);
HResult GetEvent(ComPtr mediaEvent, int32_t* code, intptr_t* param1, intptr_t* param2,
                 int32_t timeoutMs);
HResult FreeEventParams(ComPtr mediaEvent, int32_t code, intptr_t param1, intptr_t param2);

// IBasicAudio: -10000..0 in hundredths of a decibel.
HResult put_Volume(ComPtr basicAudio, int32_t volume);

} // namespace platform
