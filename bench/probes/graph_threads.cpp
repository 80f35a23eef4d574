// What the platform's media graphs allow between two threads: a probe of the platform,
// not module code (it speaks to the system directly).
//
//   graph_threads.exe [--rounds N] FILE...
//
// The main thread plays the game's part: a single-threaded apartment with a window, whose
// loop takes its messages and waits for the next frame at 60 frames a second. A worker in
// the multi-threaded apartment makes graphs for it. The probe prints, for each file:
//   ftm      whether the graph manager aggregates the free-threaded marshaler, for a graph
//            made in either apartment, and what an interface handed over through
//            CoMarshalInterThreadInterfaceInStream becomes on the other thread;
//   prepare  the worker's steps (create, render, volume, seek, pause) and the longest stall
//            of the game's frames meanwhile, against the same render made on the game's
//            thread and against an idle worker;
//   calls    how long each call on a worker's graph holds the game's thread, against the
//            same calls on a graph the game's thread made, with every failing status;
//   events   whether the end of a worker's graph reaches the game's window;
//   release  stop and release on the game's thread against the same handed to the worker;
//   parked   the worker's render while the game's thread neither pumps nor runs;
//   platform the module's own worker (platform/worker.h, win32 back-end): its apartment, a
//            graph prepared in it, and its stop, within the bound and past it.
// Every time is in milliseconds, from the performance counter.
#include <windows.h>
#include <dshow.h>
#include <objbase.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "platform/media.h"
#include "platform/worker.h"

namespace {

constexpr UINT kGraphNotify = WM_APP + 1;
constexpr double kFrameMs = 1000.0 / 60.0;
constexpr LONGLONG kUnitsPerMs = 10000; // REFERENCE_TIME: 100 ns

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// --- figures ---------------------------------------------------------------------------

std::map<std::string, std::vector<double>> figures;  // name -> samples
std::map<std::string, std::map<HRESULT, int>> codes; // call -> status -> count
HWND gameWindow = nullptr;
DWORD gameThread = 0;
int graphNotices = 0; // graph notices the game's window procedure received
constexpr UINT kPosted = WM_APP + 2;
bool inCall = false; // the game's thread is inside a call on a graph
int reentered = 0;   // messages its window procedure took meanwhile

void Note(const std::string& name, double ms) {
    figures[name].push_back(ms);
}

void Code(const std::string& call, HRESULT hr) {
    ++codes[call][hr];
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void PrintFigures(const char* kind) {
    for (const auto& [name, v] : figures) {
        if (v.empty()) continue;
        std::printf("  %-4s %-44s median %8.3f  max %8.3f  min %8.3f  (n=%zu)\n", kind,
                    name.c_str(), Median(v), *std::max_element(v.begin(), v.end()),
                    *std::min_element(v.begin(), v.end()), v.size());
    }
    // Statuses: S_OK and S_FALSE in one count, every other one by call.
    int fine = 0;
    for (const auto& [call, byCode] : codes) {
        std::string text;
        for (const auto& [hr, n] : byCode) {
            if (hr == S_OK || hr == S_FALSE) {
                fine += n;
                continue;
            }
            char item[48];
            std::snprintf(item, sizeof item, " 0x%08lX x%d", static_cast<unsigned long>(hr), n);
            text += item;
        }
        if (!text.empty()) std::printf("  %-4s FAILED %-37s%s\n", kind, call.c_str(), text.c_str());
    }
    std::printf("  %-4s %d calls answered S_OK or S_FALSE\n", kind, fine);
    figures.clear();
    codes.clear();
}

// --- the game's frames -------------------------------------------------------------------

// The game's loop: takes every message, then waits for the next frame's deadline (or a
// message). Runs until `until` is signalled (and at least `minMs` passed) or, without an
// event, for `minMs`. Returns the longest stall: how late a frame began after its deadline.
double PumpFrames(HANDLE until, double minMs, double* longestInterval = nullptr) {
    const double start = NowMs();
    double deadline = start;
    double lastFrame = start;
    double stall = 0.0, interval = 0.0;
    for (;;) {
        double t = NowMs();
        if (t >= deadline) { // a frame
            stall = std::max(stall, t - deadline);
            if (t > start) interval = std::max(interval, t - lastFrame);
            lastFrame = t;
            deadline += kFrameMs;
            if (deadline < t) deadline = t + kFrameMs; // frames dropped: start again
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        t = NowMs();
        const bool done = until ? ::WaitForSingleObject(until, 0) == WAIT_OBJECT_0 : true;
        if (done && t - start >= minMs) break;
        const double left = deadline - t;
        const DWORD wait = left <= 0 ? 0 : static_cast<DWORD>(std::ceil(left));
        ::MsgWaitForMultipleObjects(until ? 1 : 0, until ? &until : nullptr, FALSE, wait,
                                    QS_ALLINPUT);
    }
    if (longestInterval) *longestInterval = interval;
    return stall;
}

// --- graphs ----------------------------------------------------------------------------

struct Graph {
    IGraphBuilder* builder = nullptr;
    IMediaControl* control = nullptr;
    IMediaSeeking* seeking = nullptr;
    IMediaEventEx* events = nullptr;
    IBasicAudio* audio = nullptr;
};

template <typename T> void Drop(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

void ReleaseGraph(Graph& g) {
    Drop(g.audio);
    Drop(g.events);
    Drop(g.seeking);
    Drop(g.control);
    Drop(g.builder);
}

// What a prepared tune needs: rendered, at its start, at its level, paused. `where` names
// the thread in the figures.
bool PrepareGraph(const wchar_t* file, Graph& g, const std::string& where) {
    double t = NowMs();
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IGraphBuilder, reinterpret_cast<void**>(&g.builder));
    Note(where + " create", NowMs() - t);
    Code(where + " CoCreateInstance", hr);
    if (FAILED(hr)) return false;
    t = NowMs();
    g.builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g.control));
    g.builder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&g.seeking));
    g.builder->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&g.events));
    g.builder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&g.audio));
    Note(where + " query", NowMs() - t);
    if (!g.control || !g.seeking || !g.events || !g.audio) return false;
    t = NowMs();
    hr = g.builder->RenderFile(file, nullptr);
    Note(where + " RenderFile", NowMs() - t);
    Code(where + " RenderFile", hr);
    if (FAILED(hr)) return false;
    t = NowMs();
    Code(where + " put_Volume", g.audio->put_Volume(-600));
    LONGLONG at = 200 * kUnitsPerMs;
    Code(where + " SetPositions", g.seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning,
                                                          nullptr, AM_SEEKING_NoPositioning));
    Code(where + " Pause", g.control->Pause());
    OAFilterState state = 0;
    Code(where + " GetState(2000)", g.control->GetState(2000, &state));
    Note(where + " volume+seek+pause+wait", NowMs() - t);
    return state == State_Paused;
}

// --- the worker in the multi-threaded apartment --------------------------------------------

// The probe's jobs run on the module's own worker (platform/worker.h); `done` tells the
// game's loop that the job handed over last has ended.
struct Worker {
    platform::Worker* worker = nullptr;
    HANDLE done = nullptr; // manual-reset
    void (*job)(void*) = nullptr;
    void* arg = nullptr;
};

void Dispatch(void* param, bool run) {
    auto* w = static_cast<Worker*>(param);
    if (run) w->job(w->arg);
    ::SetEvent(w->done);
}

// Hands `job` to the worker without waiting for it.
void Post(Worker& w, void (*job)(void*), void* arg) {
    ::ResetEvent(w.done);
    w.job = job;
    w.arg = arg;
    platform::PostWorkerJob(w.worker, Dispatch, &w);
}

// Hands `job` to the worker and keeps the game's frames going until it has ended; returns
// the longest stall. With `pump` false the game's thread sleeps `minMs` without pumping
// first (a game busy or parked), then waits.
double OnWorker(Worker& w, void (*job)(void*), void* arg, bool pump = true, double minMs = 0,
                double* longestInterval = nullptr) {
    Post(w, job, arg);
    if (!pump) {
        ::Sleep(static_cast<DWORD>(minMs));
        ::WaitForSingleObject(w.done, 30000);
        return 0;
    }
    return PumpFrames(w.done, minMs, longestInterval);
}

struct PrepareJob {
    const wchar_t* file;
    const char* where;
    Graph graph;
    bool ok = false;
    double ms = 0;
};
void PrepareOnWorker(void* p) {
    auto* job = static_cast<PrepareJob*>(p);
    const double t = NowMs();
    job->ok = PrepareGraph(job->file, job->graph, job->where);
    job->ms = NowMs() - t;
}

struct ReleaseJob {
    Graph graph;
    bool stopFirst = true;
    double ms = 0;
};
void ReleaseOnWorker(void* p) {
    auto* job = static_cast<ReleaseJob*>(p);
    const double t = NowMs();
    if (job->stopFirst) Code("worker Stop before release", job->graph.control->Stop());
    ReleaseGraph(job->graph);
    job->ms = NowMs() - t;
}

void Idle(void*) {
    ::Sleep(300);
}

// --- the free-threaded marshaler ------------------------------------------------------------

std::string UnmarshalClassOf(IUnknown* object) {
    IMarshal* marshal = nullptr;
    HRESULT hr = object->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal));
    char text[160];
    if (FAILED(hr) || !marshal) {
        std::snprintf(text, sizeof text, "no IMarshal (0x%08lX)", static_cast<unsigned long>(hr));
        return text;
    }
    CLSID cls{};
    hr = marshal->GetUnmarshalClass(IID_IMediaControl, object, MSHCTX_INPROC, nullptr,
                                    MSHLFLAGS_NORMAL, &cls);
    marshal->Release();
    wchar_t wide[64] = {};
    ::StringFromGUID2(cls, wide, 64);
    std::snprintf(text, sizeof text, "IMarshal yes, GetUnmarshalClass 0x%08lX %ls%s",
                  static_cast<unsigned long>(hr), wide,
                  IsEqualCLSID(cls, CLSID_InProcFreeMarshaler) ? " = CLSID_InProcFreeMarshaler"
                                                               : " (not the free-threaded one)");
    return text;
}

struct MarshalJob {
    const wchar_t* file;
    Graph graph;
    IStream* stream = nullptr;
    HRESULT marshalled = E_FAIL;
    std::string workerClass;
};
void MakeAndMarshal(void* p) {
    auto* job = static_cast<MarshalJob*>(p);
    if (!PrepareGraph(job->file, job->graph, "marshal")) return;
    job->workerClass = UnmarshalClassOf(job->graph.builder);
    job->marshalled = ::CoMarshalInterThreadInterfaceInStream(IID_IMediaControl, job->graph.control,
                                                              &job->stream);
}
void ReleaseMarshalled(void* p) {
    ReleaseGraph(static_cast<MarshalJob*>(p)->graph);
}

std::string ThreadingModel() {
    HKEY key = nullptr;
    const char* path = "CLSID\\{E436EBB3-524F-11CE-9F53-0020AF0BA770}\\InprocServer32";
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(no InprocServer32 key)";
    char value[64] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG rc = ::RegQueryValueExA(key, "ThreadingModel", nullptr, &type,
                                       reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(value) : std::string("(no ThreadingModel value)");
}

void BusyWorker(void*) {
    ::Sleep(400);
}

// Calls through the proxy: how long they hold the game's thread, and whether its window
// procedure runs meanwhile (a message posted just before each call).
void ProbeProxy(Worker& worker, IMediaControl* proxy) {
    for (int round = 0; round < 5; ++round) {
        const struct {
            const char* name;
            HRESULT (STDMETHODCALLTYPE IMediaControl::*call)();
        } calls[] = {{"Run", &IMediaControl::Run},
                     {"Pause", &IMediaControl::Pause},
                     {"Stop", &IMediaControl::Stop}};
        for (const auto& c : calls) {
            ::PostMessageW(gameWindow, kPosted, 0, 0);
            inCall = true;
            reentered = 0;
            const double t = NowMs();
            const HRESULT hr = (proxy->*c.call)();
            Note(std::string("proxy ") + c.name + ": held the game's thread", NowMs() - t);
            inCall = false;
            Note(std::string("proxy ") + c.name + ": posted messages dispatched inside", reentered);
            Code(std::string("proxy ") + c.name, hr);
            PumpFrames(nullptr, 30);
        }
    }
    // The same while the worker thread itself is busy (a render, a wait).
    for (int round = 0; round < 3; ++round) {
        Post(worker, BusyWorker, nullptr);
        ::Sleep(50);
        const double t = NowMs();
        Code("proxy Pause, worker busy", proxy->Pause());
        Note("proxy Pause, worker thread busy: held", NowMs() - t);
        PumpFrames(worker.done, 0);
        Code("proxy Stop", proxy->Stop());
    }
    PrintFigures("");
}

struct RunJob {
    Graph* graph;
    double signalledAt = 0;
    double ranAt = 0;
    HRESULT hr = E_FAIL;
};
void RunOnWorker(void* p) {
    auto* job = static_cast<RunJob*>(p);
    job->hr = job->graph->control->Run();
    job->ranAt = NowMs();
}

// The game's thread only signals; the worker runs its own prepared graph.
void ProbeHandOff(Worker& worker, const wchar_t* file) {
    for (int round = 0; round < 5; ++round) {
        PrepareJob prepare{file, "hand-off", {}, false, 0};
        OnWorker(worker, PrepareOnWorker, &prepare);
        if (!prepare.ok) continue;
        PumpFrames(nullptr, 50);
        RunJob run{&prepare.graph};
        run.signalledAt = NowMs();
        Post(worker, RunOnWorker, &run);
        Note("hand-off: signalling held the game's thread", NowMs() - run.signalledAt);
        PumpFrames(worker.done, 0);
        Note("hand-off: signal to Run returned on the worker", run.ranAt - run.signalledAt);
        Code("hand-off Run", run.hr);
        PumpFrames(nullptr, 100);
        ReleaseJob release{prepare.graph, true, 0};
        OnWorker(worker, ReleaseOnWorker, &release);
    }
    figures.erase("hand-off create");
    figures.erase("hand-off query");
    figures.erase("hand-off RenderFile");
    figures.erase("hand-off volume+seek+pause+wait");
    PrintFigures("");
}

void ProbeMarshaler(Worker& worker, const wchar_t* file) {
    std::printf("ftm: CLSID_FilterGraph ThreadingModel = %s\n", ThreadingModel().c_str());
    IGraphBuilder* own = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, reinterpret_cast<void**>(&own)))) {
        std::printf("ftm: graph made on the game's thread (STA): %s\n",
                    UnmarshalClassOf(own).c_str());
        own->Release();
    }
    MarshalJob job{file, {}, nullptr, E_FAIL, {}};
    OnWorker(worker, MakeAndMarshal, &job);
    std::printf("ftm: graph made on the worker (MTA): %s\n", job.workerClass.c_str());
    if (job.stream) {
        IMediaControl* there = nullptr;
        const HRESULT hr = ::CoGetInterfaceAndReleaseStream(job.stream, IID_IMediaControl,
                                                            reinterpret_cast<void**>(&there));
        std::printf("ftm: CoMarshalInterThreadInterfaceInStream 0x%08lX on the worker, "
                    "unmarshalled on the game's thread 0x%08lX: %s\n",
                    static_cast<unsigned long>(job.marshalled), static_cast<unsigned long>(hr),
                    there == job.graph.control
                        ? "the very same pointer (no proxy)"
                        : "another pointer (a proxy: calls go through the worker's apartment)");
        if (there && there != job.graph.control) ProbeProxy(worker, there);
        if (there) there->Release();
    }
    OnWorker(worker, ReleaseMarshalled, &job);
    figures.clear();
    codes.clear();
    ProbeHandOff(worker, file);
}

// --- the rounds -----------------------------------------------------------------------------

// Each call a game's thread makes on a prepared graph, timed on that thread.
void GameCalls(Graph& g, const std::string& whose) {
    auto timed = [&](const char* name, HRESULT hr, double t) {
        Note(whose + ": " + name, NowMs() - t);
        Code(whose + ": " + name, hr);
    };
    ::SetLastError(0);
    double t = NowMs();
    HRESULT hr = g.events->SetNotifyWindow(reinterpret_cast<OAHWND>(gameWindow), kGraphNotify, 0);
    timed("SetNotifyWindow", hr, t);
    t = NowMs();
    hr = g.control->Run();
    timed("Run", hr, t);
    OAFilterState state = 0;
    t = NowMs();
    hr = g.control->GetState(0, &state);
    timed("GetState(0)", hr, t);
    PumpFrames(nullptr, 250);
    LONGLONG position = 0;
    t = NowMs();
    hr = g.seeking->GetCurrentPosition(&position);
    timed("GetCurrentPosition", hr, t);
    Note(whose + ": position after 250 ms from 200 ms", static_cast<double>(position) / 1e4);
    t = NowMs();
    hr = g.audio->put_Volume(-1200);
    timed("put_Volume", hr, t);
    t = NowMs();
    hr = g.control->Pause();
    timed("Pause (running)", hr, t);
    t = NowMs();
    hr = g.control->Run();
    timed("Run (paused)", hr, t);
    PumpFrames(nullptr, 50);
    t = NowMs();
    hr = g.control->Stop();
    timed("Stop (running)", hr, t);
    LONGLONG at = 0, stop = 300 * kUnitsPerMs;
    t = NowMs();
    hr = g.seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, &stop,
                                 AM_SEEKING_AbsolutePositioning);
    timed("SetPositions (stopped)", hr, t);
    // The end of the stream, 300 ms in: does it reach the game's window?
    t = NowMs();
    hr = g.control->Run();
    timed("Run (stopped)", hr, t);
    const double runAt = NowMs();
    const int noticesBefore = graphNotices;
    bool complete = false;
    while (!complete && NowMs() - runAt < 3000) {
        PumpFrames(nullptr, 5);
        if (graphNotices == noticesBefore) continue;
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (g.events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            if (code == EC_COMPLETE) complete = true;
            g.events->FreeEventParams(code, p1, p2);
        }
    }
    Note(whose + ": end of stream reached the window (1=yes)", complete ? 1.0 : 0.0);
    if (complete) Note(whose + ": Run to EC_COMPLETE at 300 ms", NowMs() - runAt);
    t = NowMs();
    hr = g.events->SetNotifyWindow(0, 0, 0);
    timed("SetNotifyWindow(0)", hr, t);
    // Running again, to be released while it plays.
    at = 0;
    hr = g.seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr,
                                 AM_SEEKING_NoPositioning);
    Code(whose + ": SetPositions (complete)", hr);
    Code(whose + ": Run (again)", g.control->Run());
    PumpFrames(nullptr, 100);
}

void Rounds(Worker& worker, const wchar_t* file, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        // Prepared on the worker while the game's frames go on.
        PrepareJob job{file, "worker", {}, false, 0};
        double interval = 0;
        const double stall = OnWorker(worker, PrepareOnWorker, &job, true, 0, &interval);
        Note("worker prepare: game's longest stall", stall);
        Note("worker prepare: game's longest frame interval", interval);
        Note("worker prepare: whole, on the worker", job.ms);
        if (!job.ok) {
            std::printf("  round %d: the worker's graph was not prepared\n", round);
            ReleaseGraph(job.graph);
            continue;
        }
        GameCalls(job.graph, "worker's graph");
        if (round % 2 == 0) {
            const double t = NowMs();
            Code("game Stop before release (worker's graph)", job.graph.control->Stop());
            ReleaseGraph(job.graph);
            Note("release worker's graph on the game's thread: held", NowMs() - t);
        } else {
            ReleaseJob release{job.graph, true, 0};
            const double releaseStall = OnWorker(worker, ReleaseOnWorker, &release);
            Note("release on the worker: game's longest stall", releaseStall);
            Note("release on the worker: time on the worker", release.ms);
        }

        // The same made on the game's thread, as today: the frame after it is late by it.
        Graph own;
        PumpFrames(nullptr, 20);
        const double t0 = NowMs();
        const bool ok = PrepareGraph(file, own, "game");
        Note("game prepare: held the game's thread", NowMs() - t0);
        if (ok) GameCalls(own, "game's own graph");
        const double t1 = NowMs();
        if (own.control) Code("game Stop before release (own graph)", own.control->Stop());
        ReleaseGraph(own);
        Note("release own graph on the game's thread: held", NowMs() - t1);

        // The loop's own jitter, with an idle worker.
        Note("idle worker: game's longest stall", OnWorker(worker, Idle, nullptr));
    }
    // The worker's render while the game's thread neither pumps nor runs (busy or parked).
    for (int round = 0; round < 3; ++round) {
        PrepareJob job{file, "parked game: worker", {}, false, 0};
        OnWorker(worker, PrepareOnWorker, &job, false, 1500);
        Note("parked game: worker prepare whole", job.ms);
        Note("parked game: prepared (1=yes)", job.ok ? 1.0 : 0.0);
        ReleaseJob release{job.graph, false, 0};
        OnWorker(worker, ReleaseOnWorker, &release, false, 0);
        Note("parked game: release of a paused graph on the worker", release.ms);
    }
}

// --- the module's own worker ----------------------------------------------------------------

struct PlatformJob {
    const wchar_t* file = nullptr;
    HANDLE done = nullptr;
    APTTYPE apartment = APTTYPE_CURRENT;
    bool ran = false, prepared = false, freeThreaded = false;
    int dropped = 0;
    Graph graph;
};

void PrepareInPlatformWorker(void* p, bool run) {
    auto* job = static_cast<PlatformJob*>(p);
    job->ran = run;
    if (run) {
        APTTYPEQUALIFIER qualifier{};
        ::CoGetApartmentType(&job->apartment, &qualifier);
        job->prepared = PrepareGraph(job->file, job->graph, "platform worker");
        job->freeThreaded = job->graph.builder && platform::GraphIsFreeThreaded(job->graph.builder);
        ReleaseGraph(job->graph);
    }
    ::SetEvent(job->done);
}

void LongJob(void* p, bool run) {
    auto* job = static_cast<PlatformJob*>(p);
    if (run) ::Sleep(1500);
    job->ran = run;
    ::SetEvent(job->done);
}

void CountDropped(void* p, bool run) {
    if (!run) ++static_cast<PlatformJob*>(p)->dropped;
}

void ProbePlatformWorker(const wchar_t* file) {
    PlatformJob job;
    job.file = file;
    job.done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    platform::Worker* worker = platform::StartWorker();
    if (!worker || !platform::PostWorkerJob(worker, PrepareInPlatformWorker, &job)) {
        std::printf("platform worker: could not start or post\n");
        return;
    }
    const double stall = PumpFrames(job.done, 0);
    std::printf("platform worker: job ran=%d apartment %d (1 MTA), graph prepared=%d, "
                "free-threaded=%d, game's longest stall %.3f ms\n",
                job.ran, static_cast<int>(job.apartment), job.prepared, job.freeThreaded, stall);
    double t = NowMs();
    const bool ended = platform::StopWorker(worker, 2000);
    std::printf("platform worker: idle, StopWorker(2000) -> %d after %.3f ms\n", ended,
                NowMs() - t);

    PlatformJob slow;
    slow.done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    worker = platform::StartWorker();
    platform::PostWorkerJob(worker, LongJob, &slow);
    platform::PostWorkerJob(worker, CountDropped, &slow);
    platform::PostWorkerJob(worker, CountDropped, &slow);
    ::Sleep(100); // the long job has begun
    t = NowMs();
    const bool endedInBound = platform::StopWorker(worker, 300);
    const double held = NowMs() - t;
    const DWORD later = ::WaitForSingleObject(slow.done, 5000);
    ::Sleep(50);
    std::printf("platform worker: in a 1.5 s job, StopWorker(300) -> %d after %.3f ms; the job "
                "then %s, ran=%d, queued jobs dropped %d of 2\n",
                endedInBound, held, later == WAIT_OBJECT_0 ? "finished" : "did not finish",
                slow.ran, slow.dropped);
    ::CloseHandle(job.done);
    ::CloseHandle(slow.done);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kGraphNotify && ::GetCurrentThreadId() == gameThread) ++graphNotices;
    if (message == kPosted && inCall) ++reentered;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

std::wstring Wide(const char* text) {
    wchar_t out[MAX_PATH] = {};
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, out, MAX_PATH);
    return out;
}

DWORD WINAPI Watchdog(LPVOID) {
    ::Sleep(240000);
    std::printf("watchdog: the probe ran for four minutes; something hangs\n");
    std::fflush(stdout);
    ::ExitProcess(3);
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int rounds = 6;
    bool platformOnly = false;
    std::vector<std::wstring> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--platform-only") == 0)
            platformOnly = true;
        else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else
            files.push_back(Wide(argv[i]));
    }
    if (files.empty()) {
        std::printf("usage: graph_threads [--rounds N] FILE...\n");
        return 2;
    }
    ::CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);

    const HRESULT sta = ::CoInitialize(nullptr);
    APTTYPE apartment{};
    APTTYPEQUALIFIER qualifier{};
    ::CoGetApartmentType(&apartment, &qualifier);
    std::printf("game's thread: CoInitialize 0x%08lX, apartment %d (0 STA, 1 MTA, 3 main STA)\n",
                static_cast<unsigned long>(sta), static_cast<int>(apartment));
    gameThread = ::GetCurrentThreadId();
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"GraphThreadsGame";
    ::RegisterClassW(&wc);
    gameWindow = ::CreateWindowW(wc.lpszClassName, L"game", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240,
                                 nullptr, nullptr, wc.hInstance, nullptr);

    Worker worker{platform::StartWorker(), ::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!worker.worker) {
        std::printf("worker: could not start\n");
        return 1;
    }

    // The first graph of a process loads the media libraries: not part of any figure.
    {
        PrepareJob warm{files[0].c_str(), "warm", {}, false, 0};
        OnWorker(worker, PrepareOnWorker, &warm);
        ReleaseJob release{warm.graph, false, 0};
        OnWorker(worker, ReleaseOnWorker, &release);
        Graph own;
        PrepareGraph(files[0].c_str(), own, "warm");
        ReleaseGraph(own);
        figures.clear();
        codes.clear();
    }

    ProbeMarshaler(worker, files[0].c_str());
    ProbePlatformWorker(files[0].c_str());
    figures.clear();
    codes.clear();
    for (const std::wstring& file : files) {
        if (platformOnly) break;
        std::printf("file %ls, %d rounds\n", file.c_str(), rounds);
        Rounds(worker, file.c_str(), rounds);
        PrintFigures("");
    }

    // The worker ends when asked, within a bound.
    const double t = NowMs();
    const bool ended = platform::StopWorker(worker.worker, 5000);
    std::printf("worker: asked to end, %s after %.3f ms\n", ended ? "ended" : "still running",
                NowMs() - t);
    ::CloseHandle(worker.done);
    ::DestroyWindow(gameWindow);
    ::CoUninitialize();
    std::printf("done\n");
    return 0;
}
