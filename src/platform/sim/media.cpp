// A simulated DirectShow graph: fake COM objects with reference counts, a filter list
// that RenderFile fills (two filters per file), transport state, position and stop time,
// a volume that refuses values outside -10000..0, a notify window and an event queue.
// Every call can be scripted to answer another status code (sim::Script).
//
// As under Wine, a rendered file stays open in its source filter, for reading and
// shared for reading only, until that filter leaves the graph or the graph is released:
// meanwhile nobody can open it for writing (ERROR_SHARING_VIOLATION), rename or delete it.
#include <algorithm>

#include "platform/files.h"
#include "platform/media.h"
#include "platform/sim/world.h"

using namespace sim::detail;
using Kind = ComObject::Kind;

namespace {

const char* KindName(Kind kind) {
    static const char* const kNames[] = {"GraphBuilder",  "MediaControl", "MediaEvent",
                                         "MediaPosition", "BasicAudio",   "Enumerator",
                                         "Filter"};
    return kNames[static_cast<int>(kind)];
}

ComObject* NewObject(Kind kind, std::shared_ptr<Graph> graph) {
    W().comObjects.push_back(std::make_unique<ComObject>());
    ComObject* object = W().comObjects.back().get();
    object->kind = kind;
    object->graph = std::move(graph);
    return object;
}

std::string ApartmentName(bool mta, uint32_t thread) {
    return mta ? "the multi-threaded apartment"
               : "the single-threaded apartment of thread " + std::to_string(thread);
}

// A call on a graph from a thread of another apartment is unsound unless the graph manager
// hands out the free-threaded marshaler.
void CheckApartment(const ComObject& object, const std::string& call) {
    if (!object.graph || W().graphFreeThreaded) return;
    const Graph& g = *object.graph;
    const uint32_t thread = CurrentThread();
    const Apartment apartment = ApartmentOf(thread);
    const bool sound = g.madeInMta ? apartment == Apartment::Multi : thread == g.madeBy;
    if (sound) return;
    Error(call + " on graph " + std::to_string(g.id) + " of " +
          ApartmentName(g.madeInMta, g.madeBy) + " from thread " + std::to_string(thread) +
          (apartment == Apartment::Multi    ? " in the multi-threaded apartment"
           : apartment == Apartment::Single ? " in its own single-threaded apartment"
                                            : " in no apartment"));
}

// The live object behind a pointer, of the kind the call needs; null after recording
// the misuse.
ComObject* Use(platform::ComPtr p, Kind kind, const char* call) {
    if (!p) {
        Error(std::string(call) + " through a null interface");
        return nullptr;
    }
    for (const auto& object : W().comObjects) {
        if (object.get() != p) continue;
        if (object->refs <= 0) {
            Error(std::string(call) + " through a released " + KindName(object->kind));
            return nullptr;
        }
        if (object->kind != kind) {
            Error(std::string(call) + " through a " + KindName(object->kind) + " pointer (needs " +
                  KindName(kind) + ")");
            return nullptr;
        }
        CheckApartment(*object, call);
        return object.get();
    }
    Error(std::string(call) + " through an unknown pointer");
    return nullptr;
}

Graph* GraphOf(platform::ComPtr p, Kind kind, const char* call) {
    ComObject* object = Use(p, kind, call);
    return object ? object->graph.get() : nullptr;
}

bool Succeeded(platform::HResult hr) {
    return hr >= 0;
}

// The graph's files close once nothing holds the graph any more.
void CloseFilesIfReleased(const Graph& g) {
    for (const auto& o : W().comObjects)
        if (o->graph.get() == &g && o->refs > 0) return;
    for (ComObject* filter : g.filters) {
        CloseFileObject(filter->file);
        filter->file = nullptr;
    }
}

std::string Narrow(const char16_t* text) {
    std::string s;
    for (; text && *text; ++text)
        s += *text < 0x80 ? static_cast<char>(*text) : '?';
    return s;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
}

void EndIfPastStop(Graph& g) {
    if (g.state == sim::GraphState::Running && g.position >= g.stopTime && !g.filters.empty()) {
        g.position = g.stopTime;
        g.events.push_back({1, 0, 0}); // EC_COMPLETE
    }
}

} // namespace

namespace platform {

HResult CreateFilterGraph(ComPtr* graphBuilder) {
    SIM_LOCK();
    NoteGraphCall();
    // Without COM on the thread, CoCreateInstance answers CO_E_NOTINITIALIZED; a thread
    // that never initialised COM still belongs to the multithreaded apartment when some
    // thread of the process entered it (a worker, or a CoInitialize that found it there).
    const bool comReady = ApartmentOf(CurrentThread()) != Apartment::None;
    const HResult hr =
        Scripted(sim::Op::CreateFilterGraph, comReady ? kSOk : static_cast<HResult>(0x800401F0u));
    Record("CreateFilterGraph " + Hex(static_cast<uint32_t>(hr)));
    if (hr != kSOk) {
        *graphBuilder = nullptr;
        return hr;
    }
    auto graph = std::make_shared<Graph>();
    graph->id = static_cast<int>(W().graphs.size()) + 1;
    graph->madeBy = CurrentThread();
    graph->madeInMta = ApartmentOf(graph->madeBy) == Apartment::Multi;
    W().graphs.push_back(graph);
    ComObject* builder = NewObject(Kind::GraphBuilder, graph);
    graph->interfaces[0] = builder;
    *graphBuilder = builder;
    return kSOk;
}

HResult QueryGraphInterface(ComPtr graphBuilder, GraphInterface which, ComPtr* out) {
    SIM_LOCK();
    NoteGraphCall();
    static const sim::Op kOps[] = {sim::Op::QueryMediaControl, sim::Op::QueryMediaEvent,
                                   sim::Op::QueryMediaPosition, sim::Op::QueryBasicAudio};
    static const Kind kKinds[] = {Kind::MediaControl, Kind::MediaEvent, Kind::MediaPosition,
                                  Kind::BasicAudio};
    const int index = static_cast<int>(which);
    const HResult hr = Scripted(kOps[index], kSOk);
    Record(std::string("QueryInterface ") + KindName(kKinds[index]) + " " +
           Hex(static_cast<uint32_t>(hr)));
    *out = nullptr;
    ComObject* builder = Use(graphBuilder, Kind::GraphBuilder, "QueryInterface");
    if (!builder) return sim::kEPointer;
    if (hr != kSOk) return hr;
    ComObject*& slot = builder->graph->interfaces[index + 1];
    if (slot && slot->refs > 0) {
        ++slot->refs;
    } else {
        slot = NewObject(kKinds[index], builder->graph);
    }
    *out = slot;
    return kSOk;
}

void Release(ComPtr object) {
    SIM_LOCK();
    NoteGraphCall();
    for (const auto& o : W().comObjects) {
        if (o.get() != object) continue;
        Record(std::string("Release ") + KindName(o->kind));
        if (o->refs <= 0) {
            Error(std::string("Release of an already released ") + KindName(o->kind));
            return;
        }
        CheckApartment(*o, std::string("Release ") + KindName(o->kind));
        --o->refs;
        o->everReleased = true;
        if (o->refs == 0 && o->graph) CloseFilesIfReleased(*o->graph);
        return;
    }
    Record("Release ?");
    Error(object ? "Release of an unknown pointer" : "Release of a null pointer");
}

bool GraphIsFreeThreaded(ComPtr graphBuilder) {
    SIM_LOCK();
    NoteGraphCall();
    const bool free =
        Use(graphBuilder, Kind::GraphBuilder, "GraphIsFreeThreaded") && W().graphFreeThreaded;
    Record(std::string("GraphIsFreeThreaded ") + (free ? "1" : "0"));
    return free;
}

HResult RenderFile(ComPtr graphBuilder, const char16_t* fileName) {
    SIM_LOCK();
    NoteGraphCall();
    const std::string name = Narrow(fileName);
    Graph* g = GraphOf(graphBuilder, Kind::GraphBuilder, "RenderFile");
    const FsEntry* file = FindEntry(FullPath(name));
    // The source filter opens the file for reading, sharing reading only.
    KernelObject* held = nullptr;
    HResult natural = kErrFileNotFound;
    if (file && !file->folder) {
        const uint32_t lastError = W().lastError; // not the caller's business
        held = OpenSharedFile(FullPath(name), true, false, platform::kShareRead);
        W().lastError = lastError;
        natural = held ? kSOk : static_cast<HResult>(0x80070020u); // the sharing violation
        if (held) held->foreign = true;
    }
    const HResult hr = Scripted(sim::Op::RenderFile, natural);
    Record("RenderFile " + name + (hr == kSOk ? "" : " " + Hex(static_cast<uint32_t>(hr))));
    if (!g || !Succeeded(hr)) CloseFileObject(held);
    if (!g) return sim::kEPointer;
    if (Succeeded(hr)) {
        for (const char* part : {"source ", "renderer "}) {
            ComObject* filter = NewObject(Kind::Filter, nullptr);
            filter->refs = 0; // held by the graph only, not by the caller
            filter->name = part + name;
            g->filters.push_back(filter);
        }
        g->filters[g->filters.size() - 2]->file = held;
        g->rendered.push_back(name);
        g->stopTime = W().renderedDuration;
        g->position = 0.0;
        ++g->version;
    }
    return hr;
}

HResult EnumFilters(ComPtr graphBuilder, ComPtr* enumerator) {
    SIM_LOCK();
    NoteGraphCall();
    const HResult hr = Scripted(sim::Op::EnumFilters, kSOk);
    Record("EnumFilters" + (hr == kSOk ? "" : " " + Hex(static_cast<uint32_t>(hr))));
    *enumerator = nullptr;
    ComObject* builder = Use(graphBuilder, Kind::GraphBuilder, "EnumFilters");
    if (!builder) return sim::kEPointer;
    if (hr != kSOk) return hr;
    ComObject* e = NewObject(Kind::Enumerator, builder->graph);
    e->walk = builder->graph->filters;
    e->version = builder->graph->version;
    *enumerator = e;
    return kSOk;
}

HResult NextFilter(ComPtr enumerator, ComPtr* filter) {
    SIM_LOCK();
    NoteGraphCall();
    *filter = nullptr;
    ComObject* e = Use(enumerator, Kind::Enumerator, "Next");
    HResult natural = kSFalse;
    if (e && W().enumOutOfSync && e->version != e->graph->version)
        natural = sim::kEnumOutOfSync;
    else if (e && e->next < e->walk.size())
        natural = kSOk;
    const HResult hr = Scripted(sim::Op::NextFilter, natural);
    Record("Next " + Hex(static_cast<uint32_t>(hr)));
    if (!e) return sim::kEPointer;
    if (hr == kSOk && e->next < e->walk.size()) {
        ComObject* f = e->walk[e->next++];
        ++f->refs;
        *filter = f;
    }
    return hr;
}

HResult RemoveFilter(ComPtr graphBuilder, ComPtr filter) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(graphBuilder, Kind::GraphBuilder, "RemoveFilter");
    ComObject* f = Use(filter, Kind::Filter, "RemoveFilter");
    const bool inGraph =
        g && f && std::find(g->filters.begin(), g->filters.end(), f) != g->filters.end();
    const HResult natural = inGraph ? kSOk : static_cast<HResult>(0x80040216u); // VFW_E_NOT_FOUND
    const HResult hr = Scripted(sim::Op::RemoveFilter, natural);
    Record("RemoveFilter " + (f ? f->name : std::string("?")) +
           (hr == kSOk ? "" : " " + Hex(static_cast<uint32_t>(hr))));
    if (hr == kSOk && inGraph) {
        CloseFileObject(f->file);
        f->file = nullptr;
        g->filters.erase(std::find(g->filters.begin(), g->filters.end(), f));
        ++g->version;
    }
    return hr;
}

namespace {
HResult Transport(ComPtr mediaControl, sim::Op op, const char* call, sim::GraphState to) {
    Graph* g = GraphOf(mediaControl, Kind::MediaControl, call);
    const HResult hr = Scripted(op, kSOk);
    Record(std::string(call) + (hr == kSOk ? "" : " " + Hex(static_cast<uint32_t>(hr))));
    if (!g) return sim::kEPointer;
    if (hr == kSOk || hr == kSFalse) {
        g->state = to;
        EndIfPastStop(*g);
    }
    return hr;
}
} // namespace

HResult Run(ComPtr mediaControl) {
    SIM_LOCK();
    NoteGraphCall();
    return Transport(mediaControl, sim::Op::Run, "Run", sim::GraphState::Running);
}
HResult Pause(ComPtr mediaControl) {
    SIM_LOCK();
    NoteGraphCall();
    return Transport(mediaControl, sim::Op::Pause, "Pause", sim::GraphState::Paused);
}
HResult Stop(ComPtr mediaControl) {
    SIM_LOCK();
    NoteGraphCall();
    return Transport(mediaControl, sim::Op::Stop, "Stop", sim::GraphState::Stopped);
}

HResult GetState(ComPtr mediaControl, int32_t timeoutMs) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(mediaControl, Kind::MediaControl, "GetState");
    const HResult hr = Scripted(sim::Op::GetState, kSOk);
    Record("GetState " + std::to_string(timeoutMs) +
           (hr == kSOk ? "" : " " + Hex(static_cast<uint32_t>(hr))));
    if (!g) return sim::kEPointer;
    if (hr == kVfwStateIntermediate && timeoutMs > 0) { // it waited the whole timeout
        W().tick += static_cast<uint32_t>(timeoutMs);
        W().advanced += static_cast<uint32_t>(timeoutMs);
    }
    return hr;
}

HResult put_CurrentPosition(ComPtr mediaPosition, double seconds) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(mediaPosition, Kind::MediaPosition, "put_CurrentPosition");
    const HResult hr = Scripted(sim::Op::PutCurrentPosition, kSOk);
    Record("put_CurrentPosition " + Seconds(seconds));
    if (!g) return sim::kEPointer;
    if (hr == kSOk) {
        g->position = seconds < 0 ? 0 : seconds;
        EndIfPastStop(*g);
    }
    return hr;
}

HResult get_CurrentPosition(ComPtr mediaPosition, double* seconds) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(mediaPosition, Kind::MediaPosition, "get_CurrentPosition");
    const HResult hr = Scripted(sim::Op::GetCurrentPosition, kSOk);
    Record("get_CurrentPosition");
    if (!g) return sim::kEPointer;
    if (hr == kSOk) *seconds = g->position;
    return hr;
}

HResult get_StopTime(ComPtr mediaPosition, double* seconds) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(mediaPosition, Kind::MediaPosition, "get_StopTime");
    const HResult hr = Scripted(sim::Op::GetStopTime, kSOk);
    Record("get_StopTime");
    if (!g) return sim::kEPointer;
    if (hr == kSOk) *seconds = g->stopTime;
    return hr;
}

HResult put_StopTime(ComPtr mediaPosition, double seconds) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(mediaPosition, Kind::MediaPosition, "put_StopTime");
    const HResult hr = Scripted(sim::Op::PutStopTime, kSOk);
    Record("put_StopTime " + Seconds(seconds));
    if (!g) return sim::kEPointer;
    if (hr == kSOk) g->stopTime = seconds;
    return hr;
}

HResult SetNotifyWindow(ComPtr mediaEvent, Hwnd window, uint32_t message, intptr_t instance) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(mediaEvent, Kind::MediaEvent, "SetNotifyWindow");
    const HResult hr = Scripted(sim::Op::SetNotifyWindow, kSOk);
    Record("SetNotifyWindow " + Hex(message) + (window ? "" : " null") +
           (hr == kSOk ? "" : " " + Hex(static_cast<uint32_t>(hr))));
    if (!g) return sim::kEPointer;
    if (hr == kSOk) {
        g->notifyWindow = window;
        g->notifyMessage = message;
        g->notifyInstance = instance;
    }
    return hr;
}

HResult GetEvent(ComPtr mediaEvent, int32_t* code, intptr_t* param1, intptr_t* param2,
                 int32_t timeoutMs) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(mediaEvent, Kind::MediaEvent, "GetEvent");
    const HResult natural = g && !g->events.empty() ? kSOk : sim::kEAbort;
    const HResult hr = Scripted(sim::Op::GetEvent, natural);
    if (!g) {
        Record("GetEvent " + std::to_string(timeoutMs));
        return sim::kEPointer;
    }
    if (hr >= 0 && !g->events.empty()) {
        const GraphEvent e = g->events.front();
        g->events.pop_front();
        *code = e.code;
        *param1 = e.param1;
        *param2 = e.param2;
        Record("GetEvent " + std::to_string(timeoutMs) + " code " + std::to_string(e.code));
    } else {
        Record("GetEvent " + std::to_string(timeoutMs) + " " + Hex(static_cast<uint32_t>(hr)));
    }
    return hr;
}

HResult FreeEventParams(ComPtr mediaEvent, int32_t code, intptr_t, intptr_t) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(mediaEvent, Kind::MediaEvent, "FreeEventParams");
    const HResult hr = Scripted(sim::Op::FreeEventParams, kSOk);
    Record("FreeEventParams " + std::to_string(code));
    if (!g) return sim::kEPointer;
    ++W().freedEvents;
    return hr;
}

HResult put_Volume(ComPtr basicAudio, int32_t volume) {
    SIM_LOCK();
    NoteGraphCall();
    Graph* g = GraphOf(basicAudio, Kind::BasicAudio, "put_Volume");
    const HResult natural = volume >= -10000 && volume <= 0 ? kSOk : kEInvalidArg;
    const HResult hr = Scripted(sim::Op::PutVolume, natural);
    Record("put_Volume " + std::to_string(volume));
    if (!g) return sim::kEPointer;
    if (hr == kSOk) g->volume = volume;
    return hr;
}

} // namespace platform

namespace sim {

int LiveComObjects() {
    SIM_LOCK();
    int n = 0;
    for (const auto& o : W().comObjects)
        n += o->refs > 0 ? 1 : 0;
    return n;
}

int GraphsCreated() {
    SIM_LOCK();
    return static_cast<int>(W().graphs.size());
}

namespace {
GraphView ViewOf(const Graph& g) {
    GraphView v;
    v.exists = true;
    for (const ComObject* i : g.interfaces)
        v.live = v.live || (i && i->refs > 0);
    for (const auto& o : W().comObjects)
        if (o->kind == Kind::Enumerator && o->graph.get() == &g && o->refs > 0) v.live = true;
    v.state = g.state;
    v.position = g.position;
    v.stopTime = g.stopTime;
    v.volume = g.volume;
    v.notifyWindow = g.notifyWindow;
    v.notifyMessage = g.notifyMessage;
    v.notifyInstance = g.notifyInstance;
    for (const ComObject* f : g.filters)
        v.filters.push_back(f->name);
    v.rendered = g.rendered;
    v.eventsQueued = static_cast<int>(g.events.size());
    v.madeBy = g.madeBy;
    v.madeInMta = g.madeInMta;
    return v;
}
} // namespace

GraphView LastGraph() {
    SIM_LOCK();
    if (W().graphs.empty()) return GraphView{};
    return ViewOf(*W().graphs.back());
}

GraphView GraphNumber(int n) {
    SIM_LOCK();
    if (n < 1 || static_cast<size_t>(n) > W().graphs.size()) return GraphView{};
    return ViewOf(*W().graphs[static_cast<size_t>(n) - 1]);
}

void SetRenderedDuration(double seconds) {
    SIM_LOCK();
    W().renderedDuration = seconds;
}

void PushGraphEvent(int32_t code, intptr_t param1, intptr_t param2) {
    SIM_LOCK();
    if (W().graphs.empty()) {
        Error("PushGraphEvent with no graph");
        return;
    }
    W().graphs.back()->events.push_back({code, param1, param2});
}

int FreedEvents() {
    SIM_LOCK();
    return W().freedEvents;
}
void SetFilterEnumOutOfSync(bool on) {
    SIM_LOCK();
    W().enumOutOfSync = on;
}
int ComInitCount() {
    SIM_LOCK();
    int n = 0;
    for (const auto& [thread, inits] : W().comInits)
        n += inits;
    return n;
}
int ComInitCount(uint32_t threadId) {
    SIM_LOCK();
    auto it = W().comInits.find(threadId);
    return it == W().comInits.end() ? 0 : it->second;
}
std::set<uint32_t> GraphCallThreads() {
    SIM_LOCK();
    return W().graphCallThreads;
}

} // namespace sim
