// The simulated platform's state, shared by its parts. Internal to src/platform/sim.
#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim.h"
#include "platform/system.h"
#include "platform/window.h"
#include "platform/worker.h"

namespace sim::detail {

struct Graph;
struct KernelObject;

struct ComObject {
    enum class Kind {
        GraphBuilder,
        MediaControl,
        MediaEvent,
        MediaPosition,
        BasicAudio,
        Enumerator,
        Filter
    };
    Kind kind;
    int refs = 1;
    bool everReleased = false;
    std::shared_ptr<Graph> graph; // null for a filter no longer in a graph
    std::string name;             // a filter's name
    // An enumerator: the filters it walks and where it stands.
    std::vector<ComObject*> walk;
    size_t next = 0;
    uint64_t version = 0;
    // A source filter: the file it keeps open while it is in its graph.
    KernelObject* file = nullptr;
};

struct GraphEvent {
    int32_t code;
    intptr_t param1, param2;
};

struct Graph {
    int id = 0;
    GraphState state = GraphState::Stopped;
    double position = 0.0;
    double stopTime = 0.0;
    int32_t volume = 0;
    platform::Hwnd notifyWindow = nullptr;
    uint32_t notifyMessage = 0;
    intptr_t notifyInstance = 0;
    std::vector<ComObject*> filters;
    std::vector<std::string> rendered;
    std::deque<GraphEvent> events;
    uint64_t version = 0;
    ComObject* interfaces[5] = {}; // by Kind, GraphBuilder..BasicAudio
    // The apartment that made it: the multi-threaded one, or the single-threaded apartment
    // of the thread `madeBy`.
    uint32_t madeBy = 0;
    bool madeInMta = false;
};

// A worker of platform/worker.h: its thread's id, its queue and where it stands.
struct SimWorker {
    uint32_t threadId = 0;
    std::deque<std::pair<platform::WorkerJob, void*>> jobs;
    bool stopping = false;
    bool ended = false;
};

struct KernelObject {
    enum class Kind { Thread, File, Search, Snapshot, Hook };
    Kind kind;
    bool open = true;
    // Thread.
    uint32_t threadId = 0;
    // File: its access, what it lets other handles do (platform::kShare* bits), and
    // whether someone else than the module holds it (another program, a media graph).
    std::string fileKey;
    bool canRead = false;
    bool canWrite = false;
    unsigned share = 0;
    bool foreign = false;
    size_t position = 0;
    // Search and snapshot.
    std::vector<std::string> names;
    size_t index = 0;
    uint32_t endError = 0;
    // Hook.
    platform::HookProc proc = nullptr;
};

struct FsEntry {
    std::string path; // full, as first written
    bool folder = false;
    bool readOnly = false;
    std::string data;
    // The size GetFileSize reports instead of the data's (ReportFileSize); -1: none. A
    // write drops it.
    int64_t reportedSize = -1;
};

struct PendingThread {
    platform::ThreadProc proc;
    void* param;
    uint32_t id;
};

struct Drop {
    std::vector<std::string> names;
    bool finished = false;
};

struct World {
    std::map<unsigned, std::string> strings; // string resources of the module
    std::vector<std::string> log;
    bool callLog = true; // off: Record keeps nothing
    std::vector<std::string> errors;
    std::map<Op, std::deque<platform::HResult>> scripts;

    // COM.
    std::vector<std::unique_ptr<ComObject>> comObjects;
    std::vector<std::shared_ptr<Graph>> graphs;
    double renderedDuration = 180.0;
    bool enumOutOfSync = false;
    int freedEvents = 0;
    // COM start-up by thread: successful CoInitialize calls not yet balanced, and the
    // threads whose CoInitialize answered RPC_E_CHANGED_MODE (already in the MTA).
    std::map<uint32_t, int> comInits;
    std::set<uint32_t> comOtherMode;
    std::set<uint32_t> graphCallThreads; // threads that called into the graph
    std::set<uint32_t> mtaThreads;       // threads that entered the multi-threaded apartment
    bool graphFreeThreaded = false;      // the graph manager has the free-threaded marshaler

    // Workers (platform/worker.h), in the order started; a held one runs no job.
    std::vector<std::unique_ptr<SimWorker>> workers;
    bool holdWorkers = false;
    bool workersRunOnSleep = false; // a sleeping thread lets the workers run their jobs
    bool workersRunning = false;    // they run now (their jobs do not start them again)

    // Clock, random, threads.
    uint32_t tick = 1000000;
    uint64_t advanced = 0; // virtual ms passed since Reset
    std::vector<std::pair<uint32_t, uint32_t>> beeps;
    uint32_t randState = 1;
    int seedCalls = 0;
    uint32_t currentThread = kHostThreadId;
    std::vector<PendingThread> pendingThreads;
    int threadsStarted = 0;
    bool runThreadsOnSleep = true;
    bool runningThreads = false;
    bool realThreads = false; // StartThread starts a real thread
    int threadsRunning = 0;   // real threads started and not yet finished

    // Kernel objects.
    std::vector<std::unique_ptr<KernelObject>> kernelObjects;

    // Memory.
    std::map<void*, size_t> allocations;
    int failAllocationIn = -1;

    bool codePage932 = false;
    uint32_t chosenCodePage = 0; // UseCodePage's; 0: the system's (codePage932)
    std::vector<std::string> processes;
    bool failSnapshot = false;
    std::string currentDir = "C:\\Game";
    std::string programPath = "C:\\Game\\host.exe";

    // Files.
    std::vector<FsEntry> fs;
    uint64_t fsChanges = 0; // entries removed or renamed (adding one shows in fs's size)
    // The search's index: each folder's entries by the folder's key, in the order they
    // were added, with where each one's name begins. Made anew when fs changed.
    struct FolderIndex {
        uint64_t changes = 0;
        size_t entries = 0;
        bool codePage932 = false;
        std::map<std::string, std::vector<std::pair<uint32_t, uint32_t>>> folders;
    } folderIndex;
    uint32_t lastError = 0;
    int64_t writeBudget = -1; // bytes left before the disk is full; -1 unlimited
    uint32_t searchEndError = 0;

    // Windows.
    std::vector<Box> boxes;
    std::deque<int> boxAnswers;
    bool holdBoxes = false;    // a box stays open until released
    bool holdGameBoxes = true; // ... the hook thread's boxes too
    bool pumpInBoxes = false;  // a box on the hook's thread runs its own message loop
    uint64_t boxReleases = 0;  // ReleaseBoxes calls: a held box closes when this changes
    int boxesOpen = 0;
    std::deque<sim::PostedMessage> posted;
    bool failPost = false;
    std::map<uint32_t, int> sentMessageServes; // by thread
    std::map<platform::Hwnd, std::string> titles;
    std::vector<std::string> titleHistory;
    std::map<std::pair<platform::Hwnd, uintptr_t>, uint32_t> timers;
    std::map<platform::Hwnd, bool> dropTargets;
    std::vector<std::unique_ptr<Drop>> drops;
    bool failHook = false;
    uint32_t hookThread = 0;
    int nextHookCalls = 0;
    std::map<int, bool> keysDown;
    std::vector<ShellCall> shellCalls;
    std::vector<std::pair<std::string, unsigned>> sounds;
};

World& W();

// One lock over the whole simulated world: the module's second thread and the test's
// thread may call into the platform at the same time. Every public entry takes it.
// The lock is never held while the sim calls back into the module (a hook, a thread's
// procedure in real-thread mode) nor while a thread waits in real time.
//
// Under ThreadSanitizer the lock must not order the module's threads: on Windows a
// Sleep, a GetTickCount or a message box orders nothing between two threads, and a lock
// that did would hide every race of the module whose two sides call the platform in
// between. So while a thread holds it, ThreadSanitizer sees neither the lock nor the
// sim's memory accesses; what Windows does order is stated explicitly (Order/Ordered):
// a thread's start after its CreateThread, a posted message's retrieval after its post.
// The price: a race on a buffer the module hands to the platform is not seen there.
std::recursive_mutex& Mutex();
// How deep the calling thread holds the lock (0: not at all).
int& LockDepth();
// Hides the calling thread's synchronisation and memory accesses from ThreadSanitizer
// (nothing without it).
void HideFromRaceDetector(bool hide);
// Under ThreadSanitizer: what `token`'s Order calls did happens before what follows an
// Ordered call on it. Called without the lock.
void Order(const void* token);
void Ordered(const void* token);
// While on (a benchmark's choice), the time spent inside outermost platform calls adds up
// in CallTime, so that the logic's own share can be told from the simulation's.
bool& TimingCalls();
std::chrono::nanoseconds& CallTime();
class WorldLock {
  public:
    WorldLock() {
        if (LockDepth()++ == 0) {
            HideFromRaceDetector(true);
            if (TimingCalls()) start_ = std::chrono::steady_clock::now();
        }
        Mutex().lock();
    }
    ~WorldLock() {
        Mutex().unlock();
        if (--LockDepth() == 0) {
            HideFromRaceDetector(false);
            if (TimingCalls()) CallTime() += std::chrono::steady_clock::now() - start_;
        }
    }
    WorldLock(const WorldLock&) = delete;
    WorldLock& operator=(const WorldLock&) = delete;

  private:
    std::chrono::steady_clock::time_point start_{};
};
#define SIM_LOCK() const ::sim::detail::WorldLock simLock_

// The calling thread's id: a real started thread's own, else the one the cooperative
// threads and SetCurrentThreadId set.
uint32_t CurrentThread();
// Lets the other real threads run: a short real sleep. The caller holds no lock.
void YieldRealTime(const char* where);
void CheckRealWait(const char* where, std::chrono::steady_clock::time_point start);
// Waits in real time, without the lock, until `done` (called under the lock) is true.
// A wait that lasts minutes of real time is a test that forgot to release it: stop
// loudly.
template <typename Done> void WaitUnlocked(const char* where, Done done) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        YieldRealTime(where);
        {
            SIM_LOCK();
            if (done()) return;
        }
        CheckRealWait(where, start);
    }
}

// Appends a line to the call log, unless the log is switched off.
void Record(std::string line);
void Error(std::string what);
// The next scripted result of `op`, or `natural` when none is queued.
platform::HResult Scripted(Op op, platform::HResult natural);
std::string Hex(uint32_t value);

// Files (files.cpp).
// The lead bytes of the names the files are kept under: the system's code page (932 or
// single-byte), whatever UseCodePage chose.
bool NameLeadByte(uint8_t byte);
std::string FullPath(std::string_view path);
std::string Key(std::string_view fullPath);
FsEntry* FindEntry(std::string_view fullPath);
bool FolderExists(std::string_view fullPath);
std::string ParentOf(const std::string& fullPath);
std::string NameOf(const std::string& fullPath);
bool FileIsOpen(const std::string& key);
FsEntry& CreateFileEntry(const std::string& fullPath);
// Opens an existing file with Windows' sharing check: every open handle must share the
// access asked for, and `share` must allow what each open handle has. Null, with last
// error 32, when they conflict.
KernelObject* OpenSharedFile(const std::string& fullPath, bool read, bool write, unsigned share);
void CloseFileObject(KernelObject* file);

KernelObject* NewKernelObject(KernelObject::Kind kind);
// The open kernel object behind a handle, or null after recording an error.
KernelObject* UseKernelObject(platform::Handle h, KernelObject::Kind kind, const char* call);

void RunPendingThreads();
// Runs the workers' queued jobs while a thread sleeps, when the test asked for it.
void RunWorkersOnSleep();
// Starts a real thread running `proc` with the id `id` (the lock is held). The caller
// has called Order(&ThreadStartOrder) before it took the lock.
extern const char ThreadStartOrder;
void StartRealThread(platform::ThreadProc proc, void* param, uint32_t id);
// Marks a call into the graph by the calling thread.
void NoteGraphCall();
// The calling thread's apartment.
enum class Apartment { None, Single, Multi };
Apartment ApartmentOf(uint32_t thread);

} // namespace sim::detail
