// DirectShow through COM on Windows, and sounds played by name. A missing interface
// answers E_POINTER.
#include <windows.h>
#include <dshow.h>
#include <mmsystem.h>

#include "platform/media.h"
#include "platform/system.h"
#include "platform/win32/step_timing.h"

namespace platform {

bool PlaySoundFile(const char* name, unsigned flags) {
    ORV_STEP("PlaySound");
    return ::PlaySoundA(name, nullptr, flags) != FALSE;
}

namespace {
constexpr HResult kPointer = static_cast<HResult>(0x80004003u);

template <typename T> T* As(ComPtr p) {
    return static_cast<T*>(p);
}
} // namespace

HResult CreateFilterGraph(ComPtr* graphBuilder) {
    ORV_STEP("CreateFilterGraph");
    *graphBuilder = nullptr;
    return ::CoCreateInstance(CLSID_FilterGraph, nullptr,
                              CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                              graphBuilder);
}

HResult QueryGraphInterface(ComPtr graphBuilder, GraphInterface which, ComPtr* out) {
    ORV_STEP("QueryGraphInterface");
    *out = nullptr;
    if (!graphBuilder) return kPointer;
    const IID* iid = &IID_IMediaControl;
    switch (which) {
    case GraphInterface::MediaControl:
        iid = &IID_IMediaControl;
        break;
    case GraphInterface::MediaEvent:
        iid = &IID_IMediaEventEx;
        break;
    case GraphInterface::MediaPosition:
        iid = &IID_IMediaPosition;
        break;
    case GraphInterface::BasicAudio:
        iid = &IID_IBasicAudio;
        break;
    }
    return As<IGraphBuilder>(graphBuilder)->QueryInterface(*iid, out);
}

void Release(ComPtr object) {
    ORV_STEP("Release");
    if (object) As<IUnknown>(object)->Release();
}

bool GraphIsFreeThreaded(ComPtr graphBuilder) {
    ORV_STEP("GraphIsFreeThreaded");
    if (!graphBuilder) return false;
    IMarshal* marshal = nullptr;
    if (FAILED(As<IUnknown>(graphBuilder)
                   ->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal))) ||
        !marshal)
        return false;
    CLSID unmarshaler{};
    const HRESULT hr = marshal->GetUnmarshalClass(IID_IUnknown, graphBuilder, MSHCTX_INPROC,
                                                  nullptr, MSHLFLAGS_NORMAL, &unmarshaler);
    marshal->Release();
    return SUCCEEDED(hr) && IsEqualCLSID(unmarshaler, CLSID_InProcFreeMarshaler);
}

HResult RenderFile(ComPtr graphBuilder, const char16_t* fileName) {
    ORV_STEP("RenderFile");
    if (!graphBuilder) return kPointer;
    return As<IGraphBuilder>(graphBuilder)
        ->RenderFile(reinterpret_cast<LPCWSTR>(fileName), nullptr);
}

HResult EnumFilters(ComPtr graphBuilder, ComPtr* enumerator) {
    ORV_STEP("EnumFilters");
    *enumerator = nullptr;
    if (!graphBuilder) return kPointer;
    IEnumFilters* e = nullptr;
    const HResult hr = As<IGraphBuilder>(graphBuilder)->EnumFilters(&e);
    *enumerator = e;
    return hr;
}

HResult NextFilter(ComPtr enumerator, ComPtr* filter) {
    ORV_STEP("NextFilter");
    *filter = nullptr;
    if (!enumerator) return kPointer;
    IBaseFilter* f = nullptr;
    const HResult hr = As<IEnumFilters>(enumerator)->Next(1, &f, nullptr);
    *filter = f;
    return hr;
}

HResult RemoveFilter(ComPtr graphBuilder, ComPtr filter) {
    ORV_STEP("RemoveFilter");
    if (!graphBuilder) return kPointer;
    return As<IGraphBuilder>(graphBuilder)->RemoveFilter(As<IBaseFilter>(filter));
}

HResult Run(ComPtr mediaControl) {
    ORV_STEP("Run");
    return mediaControl ? As<IMediaControl>(mediaControl)->Run() : kPointer;
}

HResult Pause(ComPtr mediaControl) {
    ORV_STEP("Pause");
    return mediaControl ? As<IMediaControl>(mediaControl)->Pause() : kPointer;
}

HResult Stop(ComPtr mediaControl) {
    ORV_STEP("Stop");
    return mediaControl ? As<IMediaControl>(mediaControl)->Stop() : kPointer;
}

HResult GetState(ComPtr mediaControl, int32_t timeoutMs) {
    ORV_STEP("GetState");
    if (!mediaControl) return kPointer;
    OAFilterState state = 0;
    return As<IMediaControl>(mediaControl)->GetState(timeoutMs, &state);
}

HResult put_CurrentPosition(ComPtr mediaPosition, double seconds) {
    ORV_STEP("put_CurrentPosition");
    return mediaPosition ? As<IMediaPosition>(mediaPosition)->put_CurrentPosition(seconds)
                         : kPointer;
}

HResult get_CurrentPosition(ComPtr mediaPosition, double* seconds) {
    ORV_STEP("get_CurrentPosition");
    return mediaPosition ? As<IMediaPosition>(mediaPosition)->get_CurrentPosition(seconds)
                         : kPointer;
}

HResult get_StopTime(ComPtr mediaPosition, double* seconds) {
    ORV_STEP("get_StopTime");
    return mediaPosition ? As<IMediaPosition>(mediaPosition)->get_StopTime(seconds) : kPointer;
}

HResult put_StopTime(ComPtr mediaPosition, double seconds) {
    ORV_STEP("put_StopTime");
    return mediaPosition ? As<IMediaPosition>(mediaPosition)->put_StopTime(seconds) : kPointer;
}

HResult SetNotifyWindow(ComPtr mediaEvent, Hwnd window, uint32_t message, intptr_t instance) {
    ORV_STEP("SetNotifyWindow");
    if (!mediaEvent) return kPointer;
    return As<IMediaEventEx>(mediaEvent)
        ->SetNotifyWindow(reinterpret_cast<OAHWND>(window), static_cast<long>(message), instance);
}

HResult GetEvent(ComPtr mediaEvent, int32_t* code, intptr_t* param1, intptr_t* param2,
                 int32_t timeoutMs) {
    ORV_STEP("GetEvent");
    if (!mediaEvent) return kPointer;
    long c = 0;
    LONG_PTR p1 = 0, p2 = 0;
    const HResult hr = As<IMediaEventEx>(mediaEvent)->GetEvent(&c, &p1, &p2, timeoutMs);
    *code = c;
    *param1 = p1;
    *param2 = p2;
    return hr;
}

HResult FreeEventParams(ComPtr mediaEvent, int32_t code, intptr_t param1, intptr_t param2) {
    ORV_STEP("FreeEventParams");
    if (!mediaEvent) return kPointer;
    return As<IMediaEventEx>(mediaEvent)->FreeEventParams(code, param1, param2);
}

HResult put_Volume(ComPtr basicAudio, int32_t volume) {
    ORV_STEP("put_Volume");
    return basicAudio ? As<IBasicAudio>(basicAudio)->put_Volume(volume) : kPointer;
}

} // namespace platform
