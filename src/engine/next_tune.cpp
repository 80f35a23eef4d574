// The next tune, prepared on the module's worker while the current one plays.
//
// RenderFile is one call of tens of milliseconds: made on the game's thread at a tune's end
// it drops frames and leaves a silence. The worker renders the next tune ahead instead, in
// the multi-threaded apartment, and leaves it paused at its start. A graph made there
// belongs to that apartment (the graph manager does not hand out the free-threaded
// marshaler), so the game's thread never calls one: once a prepared graph plays, every call
// on it is a job posted to the worker, and the game's thread only reads what the jobs
// publish. Nothing on the game's thread waits for a job, but the releases before a tag cut
// and Quit, which are bounded.
#include <algorithm>
#include <atomic>
#include <iterator>
#include <new>
#include <utility>

#include "engine/engine.h"
#include "engine/graph_calls.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "platform/worker.h"
#include "core/core.h"

namespace {

using graph::Succeeded;

enum SlotState : int { kPreparing, kReady, kFailed };

// One graph of the worker. The game's thread makes the record and fills in its copies
// before the first job; from then on only jobs touch the interfaces, and the game's thread
// reads the atomics.
struct Slot {
    MediaGraphRecord g;
    char16_t name[kNameSize] = {};
    double begin = 0.0; // seconds
    double loop = 0.0;  // the loop start in seconds; 0: none
    bool fromLoop = false;
    double endTrim = 0.0; // whole seconds taken off the end
    intptr_t serial = 0;
    std::atomic<int> state{kPreparing};
    std::atomic<double> stopTime{0.0}; // after the end trim, published with kReady
    std::atomic<int> level{-10000};
    std::atomic<bool> levelQueued{false}; // a level job waits: the next level rides on it
    std::atomic<double> seekTo{0.0};
    std::atomic<double> startAt{0.0}; // where it was set, published with kReady
    std::atomic<platform::Hwnd> window{nullptr};
    double savedPosition = 0.0; // the worker's own
};

std::atomic<int> LiveSlots{0};

// The game's thread's side.
struct NextTuneState {
    platform::Worker* worker = nullptr;
    bool workerFailed = false;
    NextTune::Choice choice;
    bool chosen = false;
    Slot* prepared = nullptr;
    Slot* current = nullptr;       // the tune plays in a worker's graph
    Slot* retired = nullptr;       // the worker's graph that ended last, sounding its last samples
    MediaGraphRecord localRetired; // the game's own graph that ended, likewise
    intptr_t serials = 0;
    uint32_t takeOvers = 0;
};
NextTuneState State;

// --- Jobs, on the worker ---------------------------------------------------------------

Slot* SlotOf(void* param) {
    return static_cast<Slot*>(param);
}

void WaitPaused(const MediaGraphRecord& g) {
    for (int i = 0; i < 50; ++i)
        if (platform::GetState(g.MediaControl, 100) != platform::kVfwStateIntermediate) return;
}

bool Prepare(Slot& s) {
    if (!graph::CreateQuietly(s.g) || !Succeeded(platform::RenderFile(s.g.GraphBuilder, s.name)))
        return false;
    double stopTime = 0.0;
    platform::get_StopTime(s.g.MediaPosition, &stopTime);
    if (s.endTrim != 0.0) {
        stopTime -= s.endTrim;
        platform::put_StopTime(s.g.MediaPosition, stopTime);
    }
    // A loop start at or past the stop time loops on nothing: the tune starts at its begin.
    const bool fromLoop = s.fromLoop && s.loop != 0.0 && s.loop < stopTime;
    if (!Succeeded(platform::put_CurrentPosition(s.g.MediaPosition, fromLoop ? s.loop : s.begin)))
        return false;
    s.startAt.store(fromLoop ? s.loop : s.begin);
    platform::put_Volume(s.g.BasicAudio, s.level.load());
    if (!Succeeded(platform::Pause(s.g.MediaControl))) return false;
    WaitPaused(s.g);
    s.stopTime.store(stopTime);
    return true;
}

void JobPrepare(void* param, bool run) {
    Slot& s = *SlotOf(param);
    s.state.store(run && Prepare(s) ? kReady : kFailed);
}

void JobStart(void* param, bool run) {
    Slot& s = *SlotOf(param);
    if (!run) return;
    platform::SetNotifyWindow(s.g.MediaEvent, s.window.load(), platform::kWmGraphNotify, s.serial);
    platform::put_Volume(s.g.BasicAudio, s.level.load());
    platform::Run(s.g.MediaControl);
}

// The graph that ended sounds its last samples out; the game no longer hears from it.
void JobRetire(void* param, bool run) {
    if (run) platform::SetNotifyWindow(SlotOf(param)->g.MediaEvent, nullptr, 0, 0);
}

void JobRelease(void* param, bool run) {
    Slot* s = SlotOf(param);
    if (run) {
        if (s->g.MediaControl) platform::Stop(s->g.MediaControl);
        graph::ReleaseInterfaces(s->g);
    }
    delete s;
    LiveSlots.fetch_sub(1);
}

void JobLevel(void* param, bool run) {
    Slot& s = *SlotOf(param);
    s.levelQueued.store(false);
    if (run) platform::put_Volume(s.g.BasicAudio, s.level.load());
}

void JobPause(void* param, bool run) {
    if (!run) return;
    const MediaGraphRecord& g = SlotOf(param)->g;
    if (platform::Pause(g.MediaControl) == platform::kSFalse) WaitPaused(g);
}

void JobRun(void* param, bool run) {
    if (run) platform::Run(SlotOf(param)->g.MediaControl);
}

void JobStop(void* param, bool run) {
    if (run) platform::Stop(SlotOf(param)->g.MediaControl);
}

void JobSeek(void* param, bool run) {
    if (run) platform::put_CurrentPosition(SlotOf(param)->g.MediaPosition, SlotOf(param)->seekTo);
}

void JobSavePosition(void* param, bool run) {
    Slot& s = *SlotOf(param);
    if (run) platform::get_CurrentPosition(s.g.MediaPosition, &s.savedPosition);
}

void JobRestorePosition(void* param, bool run) {
    Slot& s = *SlotOf(param);
    if (run) platform::put_CurrentPosition(s.g.MediaPosition, s.savedPosition);
}

// Fetches the graph's events; its end goes to the game window, which tells it from the
// events of the game's own graph by its wParam.
void JobDrain(void* param, bool run) {
    Slot& s = *SlotOf(param);
    if (!run) return;
    int32_t code = 0;
    intptr_t param1 = 0, param2 = 0;
    while (platform::GetEvent(s.g.MediaEvent, &code, &param1, &param2, 0) >= 0) {
        platform::FreeEventParams(s.g.MediaEvent, code, param1, param2);
        if (code == platform::kEcComplete)
            platform::PostToWindow(s.window.load(), platform::kWmGraphNotify,
                                   NextTune::kEndedWParam, s.serial);
    }
}

// --- The game's thread -------------------------------------------------------------------

bool Post(platform::WorkerJob job, Slot* s) {
    return s && State.worker && platform::PostWorkerJob(State.worker, job, s);
}

// Hands a graph to the worker for release; null afterwards. A release that cannot be
// posted (a worker whose queue stays full) leaves the graph to it: the game's thread never
// calls a graph of the worker's apartment, and no wait counts on that one.
void Release(Slot*& s) {
    if (!s) return;
    if (!Post(JobRelease, s)) LiveSlots.fetch_sub(1);
    s = nullptr;
}

void ReleaseLocalRetired() {
    if (State.localRetired.MediaControl) platform::Stop(State.localRetired.MediaControl);
    graph::ReleaseInterfaces(State.localRetired);
}

} // namespace

namespace NextTune {

bool Available() {
    if (PluginSettings.PrepareNextTune == 0 || State.workerFailed) return false;
    if (!State.worker) {
        State.worker = platform::StartWorker();
        State.workerFailed = State.worker == nullptr;
    }
    return State.worker != nullptr;
}

void Prepare(const Choice& choice) {
    Drop();
    if (!Available()) return;
    auto* s = new (std::nothrow) Slot;
    if (!s) return; // no memory: the change is made at the tune's end
    LiveSlots.fetch_add(1);
    const graph::WideName wide = graph::ToWide(choice.name);
    std::copy(std::begin(wide.text), std::end(wide.text), s->name);
    s->begin = choice.begin;
    s->loop = choice.loop;
    s->fromLoop = choice.fromLoop;
    s->endTrim = choice.endTrim;
    s->serial = ++State.serials;
    s->window.store(HostWindow());
    if (!Post(JobPrepare, s)) {
        delete s;
        LiveSlots.fetch_sub(1);
        return;
    }
    State.prepared = s;
    State.choice = choice;
    State.chosen = true;
}

const Choice* Chosen() {
    return State.chosen ? &State.choice : nullptr;
}

bool Ready() {
    return State.prepared && State.prepared->state.load() == kReady;
}

void Drop() {
    State.chosen = false;
    Release(State.prepared);
}

double TakeOver() {
    Slot* next = State.prepared;
    State.prepared = nullptr;
    State.chosen = false;
    if (State.current) {
        Post(JobRetire, State.current);
        Release(State.retired);
        State.retired = State.current;
    } else {
        // The game's own graph: its events stop here, its release waits for a stop.
        ReleaseLocalRetired();
        std::swap(State.localRetired, MediaGraph);
        if (State.localRetired.MediaEvent)
            platform::SetNotifyWindow(State.localRetired.MediaEvent, nullptr, 0, 0);
        MediaGraph.Ready = true;
    }
    State.current = next;
    ++State.takeOvers;
    MediaGraph.Rendered = true;
    MediaGraph.Empty = false;
    return next->stopTime.load();
}

void Begin() {
    Post(JobStart, State.current);
}

uint32_t TakeOvers() {
    return State.takeOvers;
}

bool Remote() {
    return State.current != nullptr;
}

void Level(int level) {
    if (!State.current) return;
    State.current->level.store(level);
    if (!State.current->levelQueued.exchange(true) && !Post(JobLevel, State.current))
        State.current->levelQueued.store(false);
}

void RetiredLevel(int level) {
    if (State.retired) {
        State.retired->level.store(level);
        if (!State.retired->levelQueued.exchange(true) && !Post(JobLevel, State.retired))
            State.retired->levelQueued.store(false);
    } else if (State.localRetired.BasicAudio) {
        platform::put_Volume(State.localRetired.BasicAudio, level);
    }
}

double StopTime() {
    return State.current ? State.current->stopTime.load() : 0.0;
}

double StartPosition() {
    return State.current ? State.current->startAt.load() : 0.0;
}

void Pause() {
    Post(JobPause, State.current);
}

void Run() {
    Post(JobRun, State.current);
}

void Stop() {
    Drop();
    Post(JobStop, State.current);
    Release(State.retired);
    ReleaseLocalRetired();
}

void Seek(double seconds) {
    if (!State.current) return;
    State.current->seekTo.store(seconds);
    Post(JobSeek, State.current);
}

void SavePosition() {
    Post(JobSavePosition, State.current);
}

void RestorePosition() {
    Post(JobRestorePosition, State.current);
}

void DrainEvents() {
    Post(JobDrain, State.current);
}

bool TakeEnded(intptr_t serial) {
    return State.current && State.current->serial == serial;
}

void ReleaseAll() {
    Drop();
    Release(State.current);
    Release(State.retired);
    ReleaseLocalRetired();
}

bool AwaitReleased(uint32_t timeoutMs) {
    const uint32_t start = platform::GetTickCount();
    while (LiveSlots.load() > 0) {
        if (platform::GetTickCount() - start >= timeoutMs) return false;
        platform::ServeSentMessages();
        platform::Sleep(5);
    }
    return true;
}

void Quit() {
    ReleaseAll();
    if (!State.worker) return;
    AwaitReleased(kQuitReleaseMs);
    platform::StopWorker(State.worker, kQuitStopMs);
    State.worker = nullptr;
}

void Forget() {
    State = NextTuneState{};
    LiveSlots.store(0);
}

} // namespace NextTune
