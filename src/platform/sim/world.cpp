// The simulated world: call log, recorded misuse, scripted results, and the control
// functions that do not belong to one platform header.
#include "platform/sim/world.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_THREAD__)
#define ORV_SIM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORV_SIM_TSAN 1
#endif
#endif

#ifdef ORV_SIM_TSAN
#include <sanitizer/tsan_interface.h>
extern "C" { // ThreadSanitizer's dynamic annotations
void AnnotateIgnoreReadsBegin(const char* file, int line);
void AnnotateIgnoreReadsEnd(const char* file, int line);
void AnnotateIgnoreWritesBegin(const char* file, int line);
void AnnotateIgnoreWritesEnd(const char* file, int line);
void AnnotateIgnoreSyncBegin(const char* file, int line);
void AnnotateIgnoreSyncEnd(const char* file, int line);
}
#endif

namespace sim::detail {

void HideFromRaceDetector([[maybe_unused]] bool hide) {
#ifdef ORV_SIM_TSAN
    if (hide) {
        AnnotateIgnoreSyncBegin(__FILE__, __LINE__);
        AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
        AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
    } else {
        AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
        AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
        AnnotateIgnoreSyncEnd(__FILE__, __LINE__);
    }
#endif
}

void Order([[maybe_unused]] const void* token) {
#ifdef ORV_SIM_TSAN
    __tsan_release(const_cast<void*>(token));
#endif
}

void Ordered([[maybe_unused]] const void* token) {
#ifdef ORV_SIM_TSAN
    __tsan_acquire(const_cast<void*>(token));
#endif
}

namespace {
// A real started thread's id; 0 on the test's thread.
thread_local uint32_t RealThreadId = 0;

// The real threads started and not yet joined. Never destroyed: a thread a test forgot
// to join must not end the run at exit.
std::vector<std::thread>& RealThreads() {
    static auto* threads = new std::vector<std::thread>();
    return *threads;
}

[[noreturn]] void Fatal(const std::string& what) {
    std::fputs(("sim: " + what + "\n").c_str(), stderr);
    std::abort();
}
} // namespace

std::recursive_mutex& Mutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

int& LockDepth() {
    thread_local int depth = 0;
    return depth;
}

bool& TimingCalls() {
    static bool on = false;
    return on;
}

std::chrono::nanoseconds& CallTime() {
    thread_local std::chrono::nanoseconds spent{};
    return spent;
}

uint32_t CurrentThread() {
    return RealThreadId != 0 ? RealThreadId : W().currentThread;
}

void YieldRealTime(const char* where) {
    // Waiting with the lock held would stop every other thread: a fault of the sim.
    if (LockDepth() != 0)
        Fatal(std::string(where) + " waits while its thread holds the simulated world's lock");
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void CheckRealWait(const char* where, std::chrono::steady_clock::time_point start) {
    if (std::chrono::steady_clock::now() - start > std::chrono::minutes(2))
        Fatal(std::string(where) + " waited two minutes of real time; nothing ends it");
}

const char ThreadStartOrder = 0;

void StartRealThread(platform::ThreadProc proc, void* param, uint32_t id) {
    ++W().threadsRunning;
    RealThreads().emplace_back([proc, param, id] {
        Ordered(&ThreadStartOrder); // what the starter did before CreateThread
        RealThreadId = id;
        {
            SIM_LOCK();
            Record("ThreadStart " + std::to_string(id));
        }
        proc(param);
        SIM_LOCK();
        Record("ThreadEnd " + std::to_string(id));
        --W().threadsRunning;
    });
}

void NoteGraphCall() {
    W().graphCallThreads.insert(CurrentThread());
}

// A thread that entered the multi-threaded apartment (a worker, or one whose CoInitialize
// found it there) is in it; one that called CoInitialize has its own single-threaded
// apartment; any other thread belongs to the multi-threaded apartment once it exists.
Apartment ApartmentOf(uint32_t thread) {
    const World& w = W();
    if (w.mtaThreads.count(thread) || w.comOtherMode.count(thread)) return Apartment::Multi;
    const auto inits = w.comInits.find(thread);
    if (inits != w.comInits.end() && inits->second > 0) return Apartment::Single;
    return w.mtaThreads.empty() && w.comOtherMode.empty() ? Apartment::None : Apartment::Multi;
}

World& W() {
    // Never destroyed: the module's globals give their memory back through it at exit.
    static World* const world = new World;
    return *world;
}

void Record(std::string line) {
    if (!W().callLog) return;
    W().log.push_back(std::move(line));
}

void Error(std::string what) {
    W().errors.push_back(what);
    W().log.push_back("ERROR " + what);
}

platform::HResult Scripted(Op op, platform::HResult natural) {
    auto it = W().scripts.find(op);
    if (it == W().scripts.end() || it->second.empty()) return natural;
    const platform::HResult result = it->second.front();
    it->second.pop_front();
    return result;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

KernelObject* NewKernelObject(KernelObject::Kind kind) {
    W().kernelObjects.push_back(std::make_unique<KernelObject>());
    KernelObject* object = W().kernelObjects.back().get();
    object->kind = kind;
    return object;
}

KernelObject* UseKernelObject(platform::Handle h, KernelObject::Kind kind, const char* call) {
    // From the newest: the handle in use is most often one just made.
    const auto& objects = W().kernelObjects;
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        const auto& object = *it;
        if (object.get() != h) continue;
        if (!object->open) {
            Error(std::string(call) + " on a closed handle");
            return nullptr;
        }
        if (object->kind != kind) {
            Error(std::string(call) + " on a handle of another kind");
            return nullptr;
        }
        return object.get();
    }
    Error(std::string(call) + (h ? " on an unknown handle" : " on a null handle"));
    return nullptr;
}

void RunPendingThreads() {
    World& w = W();
    if (w.runningThreads) return; // a thread that sleeps does not start the others
    w.runningThreads = true;
    while (!w.pendingThreads.empty()) {
        const PendingThread thread = w.pendingThreads.front();
        w.pendingThreads.erase(w.pendingThreads.begin());
        const uint32_t caller = w.currentThread;
        w.currentThread = thread.id;
        Record("ThreadStart " + std::to_string(thread.id));
        thread.proc(thread.param);
        Record("ThreadEnd " + std::to_string(thread.id));
        w.currentThread = caller;
    }
    w.runningThreads = false;
}

} // namespace sim::detail

namespace sim {

using namespace detail;

void Reset() {
    {
        SIM_LOCK();
        W().holdBoxes = false; // a held box would keep its thread from ending
    }
    JoinThreads();
    SIM_LOCK();
    World& w = W();
    for (auto& [block, size] : w.allocations)
        std::free(block);
    w = World{};
    w.fs.push_back({"C:\\", true, false, {}, -1});
    w.fs.push_back({"C:\\Game", true, false, {}, -1});
    w.fs.push_back({"C:\\WINDOWS", true, false, {}, -1});
    w.titles[kGameWindow] = "Game Window";
}

std::vector<std::string> Log() {
    SIM_LOCK();
    return W().log;
}
void ClearLog() {
    SIM_LOCK();
    W().log.clear();
}
void SetCallLog(bool on) {
    SIM_LOCK();
    W().callLog = on;
}

void TimeCalls(bool on) {
    TimingCalls() = on;
}

std::chrono::nanoseconds TimeInCalls() {
    return CallTime();
}

void ClearHistory() {
    SIM_LOCK();
    World& w = W();
    w.log.clear();
    w.beeps.clear();
    w.boxes.clear();
    w.titleHistory.clear();
    w.sounds.clear();
    w.shellCalls.clear();
}

namespace {
bool Matches(const std::string& line, std::string_view call) {
    if (line.size() < call.size() || line.compare(0, call.size(), call) != 0) return false;
    return line.size() == call.size() || line[call.size()] == ' ';
}
} // namespace

int Count(std::string_view call) {
    SIM_LOCK();
    int n = 0;
    for (const auto& line : W().log)
        n += Matches(line, call) ? 1 : 0;
    return n;
}

bool Called(std::string_view call) {
    SIM_LOCK();
    return Count(call) > 0;
}

int Find(std::string_view call, int from) {
    SIM_LOCK();
    const auto& log = W().log;
    for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < log.size(); ++i)
        if (Matches(log[i], call)) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> Lines(std::string_view call) {
    SIM_LOCK();
    std::vector<std::string> out;
    for (const auto& line : W().log)
        if (Matches(line, call)) out.push_back(line);
    return out;
}

std::string LogText() {
    SIM_LOCK();
    std::string text;
    for (const auto& line : W().log)
        text += line + "\n";
    return text;
}

std::vector<std::string> Errors() {
    SIM_LOCK();
    return W().errors;
}
void ClearErrors() {
    SIM_LOCK();
    W().errors.clear();
}

void Script(Op op, std::initializer_list<platform::HResult> results) {
    SIM_LOCK();
    for (platform::HResult r : results)
        W().scripts[op].push_back(r);
}

void Script(Op op, platform::HResult result, int times) {
    SIM_LOCK();
    for (int i = 0; i < times; ++i)
        W().scripts[op].push_back(result);
}

int Pending(Op op) {
    SIM_LOCK();
    auto it = W().scripts.find(op);
    return it == W().scripts.end() ? 0 : static_cast<int>(it->second.size());
}

uint32_t Now() {
    SIM_LOCK();
    return W().tick;
}
void SetTickCount(uint32_t ms) {
    SIM_LOCK();
    W().tick = ms;
}
std::vector<std::pair<uint32_t, uint32_t>> Beeps() {
    SIM_LOCK();
    return W().beeps;
}

uint32_t RandomState() {
    SIM_LOCK();
    return W().randState;
}
int SeedCalls() {
    SIM_LOCK();
    return W().seedCalls;
}
std::vector<int> RandSequence(uint32_t seed, int draws) {
    SIM_LOCK();
    std::vector<int> out;
    for (int i = 0; i < draws; ++i) {
        seed = seed * 214013u + 2531011u;
        out.push_back(static_cast<int>((seed >> 16) & 0x7FFFu));
    }
    return out;
}

void SetCurrentThreadId(uint32_t id) {
    SIM_LOCK();
    if (RealThreadId != 0)
        RealThreadId = id;
    else
        W().currentThread = id;
}
int OpenThreadHandles() {
    SIM_LOCK();
    int n = 0;
    for (const auto& o : W().kernelObjects)
        n += (o->kind == KernelObject::Kind::Thread && o->open) ? 1 : 0;
    return n;
}
int ThreadsStarted() {
    SIM_LOCK();
    return W().threadsStarted;
}
int ThreadsPending() {
    SIM_LOCK();
    return static_cast<int>(W().pendingThreads.size());
}
void RunThreads() {
    SIM_LOCK();
    RunPendingThreads();
}
void SetRunThreadsOnSleep(bool on) {
    SIM_LOCK();
    W().runThreadsOnSleep = on;
}
void SetRealThreads(bool on) {
    if (!on) JoinThreads();
    SIM_LOCK();
    W().realThreads = on;
}
void JoinThreads() {
    if (RealThreadId != 0) Fatal("JoinThreads called by a started thread");
    if (LockDepth() != 0) Fatal("JoinThreads called while holding the simulated world's lock");
    for (;;) { // a thread may start others while we wait
        std::vector<std::thread> started;
        {
            SIM_LOCK();
            started.swap(RealThreads());
        }
        if (started.empty()) return;
        for (auto& thread : started)
            thread.join();
    }
}
int ThreadsRunning() {
    SIM_LOCK();
    return W().threadsRunning;
}

int LiveAllocations() {
    SIM_LOCK();
    return static_cast<int>(W().allocations.size());
}
void FailAllocation(int nth) {
    SIM_LOCK();
    W().failAllocationIn = nth;
}

void SetCodePage932(bool on) {
    SIM_LOCK();
    W().codePage932 = on;
}

void SetProcesses(std::initializer_list<const char*> exeNames) {
    SIM_LOCK();
    W().processes.assign(exeNames.begin(), exeNames.end());
}
void FailProcessSnapshot(bool fail) {
    SIM_LOCK();
    W().failSnapshot = fail;
}

void SetCurrentDir(std::string_view path) {
    SIM_LOCK();
    W().currentDir = FullPath(path);
}
void SetHostProgramPath(std::string_view path) {
    SIM_LOCK();
    W().programPath = std::string(path);
}

} // namespace sim
