// Control of the simulated platform: the world the logic runs in under the unit tests.
//
// Every platform call appends a short line to the call log ("Run", "GetState 250",
// "put_Volume -2032", "Beep 1400 100", "MessageBox Error|Initialize failed in InitDS
// Function"...). Misuse that Windows would punish or that breaks an ownership rule
// (releasing a COM object twice, closing a handle twice, calling a released interface,
// freeing memory that was never allocated, CoUninitialize without a successful
// CoInitialize) is recorded in Errors(); the test fixture fails a test that leaves any.
//
// Nothing sleeps for real: Sleep, Beep and a GetState that answers "still in transit"
// advance a virtual clock.
//
// Threads, cooperative (the default): StartThread records the thread and queues it; it
// runs when the test calls RunThreads() or, by default, when the calling thread sleeps
// (a sleeping thread lets the others run). While it runs, GetCurrentThreadId answers the
// new thread's id.
//
// Threads, real (SetRealThreads(true)): StartThread starts a real thread at once, so the
// module's two threads run side by side (under ThreadSanitizer too). Every sim entry
// takes one lock over the world; Sleep and Beep advance the virtual clock under it, then
// let the other threads run for a moment of real time without it. The test's thread
// keeps its id (kHostThreadId unless SetCurrentThreadId changed it); started threads
// have 2001, 2002... The test joins them with JoinThreads() before it looks at the end
// state; Reset joins them too.
//
// Under ThreadSanitizer (the tsan preset) a sim call orders nothing between threads, as
// on Windows a Sleep or a message box orders nothing: a race of the module is reported
// even when both sides call the platform in between. What Windows does order is ordered:
// what a thread did before StartThread happens before the new thread runs, and what a
// thread did before PostToWindow happens before what follows TakePostedMessage (or the
// hook call of DeliverPostedMessages). Hand over anything else with std::atomic.
#pragma once
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/types.h"
#include "platform/window.h"

struct Out_Module;

namespace sim {

// The host's game window, owner of boxes and target of the title notices.
inline const platform::Hwnd kGameWindow = reinterpret_cast<platform::Hwnd>(uintptr_t{0x10010});
inline const platform::Instance kModuleInstance =
    reinterpret_cast<platform::Instance>(uintptr_t{0x6a000000});
constexpr uint32_t kHostThreadId = 1000;
constexpr platform::HResult kEAbort = static_cast<platform::HResult>(0x80004004u);
constexpr platform::HResult kEPointer = static_cast<platform::HResult>(0x80004003u);
constexpr platform::HResult kPartialRender = 0x00040258; // VFW_S_PARTIAL_RENDER
constexpr platform::HResult kEnumOutOfSync = static_cast<platform::HResult>(0x80040203u);
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInsufficientBuffer = 122;

// A clean world: empty log, no files but the folders C:\, C:\Game and C:\WINDOWS,
// current folder C:\Game, tick count 1000000, thread 1000, no processes, no scripts,
// cooperative threads. Real threads still running are joined first (held boxes are
// let go so that they can end).
void Reset();

// --- Call log ---------------------------------------------------------------------
std::vector<std::string> Log(); // a copy
void ClearLog();
// Off: platform calls add no line to the log (misuse still does, and Errors() still
// records it), so a benchmark can call the logic millions of times without the log
// growing. On by default; Reset turns it back on.
void SetCallLog(bool on);
// On: the calling thread's time inside platform calls adds up in TimeInCalls (a benchmark's
// measure of the logic's own share). Off by default; set it while no other thread runs.
void TimeCalls(bool on);
std::chrono::nanoseconds TimeInCalls();
// Forgets the log and every other record of what happened: beeps, boxes, titles written,
// sounds and started programs. The state of the world stays.
void ClearHistory();
// A line matches `call` when it equals it or starts with it followed by a space.
int Count(std::string_view call);
bool Called(std::string_view call);
// Index of the first matching line at or after `from`, -1 when none.
int Find(std::string_view call, int from = 0);
std::vector<std::string> Lines(std::string_view call);
// The log as one text, a line each, for failure messages.
std::string LogText();

// --- Recorded misuse --------------------------------------------------------------
std::vector<std::string> Errors(); // a copy
void ClearErrors();

// --- Scripted status codes --------------------------------------------------------
enum class Op {
    CoInitialize,
    CreateFilterGraph,
    QueryMediaControl,
    QueryMediaEvent,
    QueryMediaPosition,
    QueryBasicAudio,
    RenderFile,
    EnumFilters,
    NextFilter,
    RemoveFilter,
    Run,
    Pause,
    Stop,
    GetState,
    SetNotifyWindow,
    GetEvent,
    FreeEventParams,
    PutCurrentPosition,
    GetCurrentPosition,
    GetStopTime,
    PutStopTime,
    PutVolume,
};
// Queues results that the next calls of `op` answer, one per call. With the queue
// empty a call answers its natural result (S_OK; RenderFile by the file system;
// GetEvent by the graph's event queue; put_Volume by its range).
void Script(Op op, std::initializer_list<platform::HResult> results);
void Script(Op op, platform::HResult result, int times);
int Pending(Op op);

// --- COM objects and the graph ----------------------------------------------------
int LiveComObjects();
int GraphsCreated();
enum class GraphState { Stopped, Paused, Running };
struct GraphView {
    bool exists = false; // a graph was created since Reset
    bool live = false;   // some interface of it is still held
    GraphState state = GraphState::Stopped;
    double position = 0.0;
    double stopTime = 0.0;
    int32_t volume = 0;
    platform::Hwnd notifyWindow = nullptr;
    uint32_t notifyMessage = 0;
    intptr_t notifyInstance = 0;
    std::vector<std::string> filters;  // names, in the graph's order
    std::vector<std::string> rendered; // every name rendered into it
    int eventsQueued = 0;
    uint32_t madeBy = 0;    // the thread that created it
    bool madeInMta = false; // ... in the multi-threaded apartment
};
// The graph created last; the n-th graph created since Reset (from 1).
GraphView LastGraph();
GraphView GraphNumber(int n);
// Length of a rendered file, seconds (default 180.0).
void SetRenderedDuration(double seconds);
// Queues an event on the graph created last (code 1 is the end of the stream).
void PushGraphEvent(int32_t code, intptr_t param1 = 0, intptr_t param2 = 0);
int FreedEvents();
// On: a filter enumerator answers "out of sync" once the graph changed under it, as
// DirectShow documents. Off (default): it walks the filters it saw when created.
void SetFilterEnumOutOfSync(bool on);

// --- COM start-up -----------------------------------------------------------------
// Successful CoInitialize calls not yet balanced: on all threads / on one thread. COM is
// set up per thread: a graph created on a thread that has not initialised COM fails with
// CO_E_NOTINITIALIZED, unless some thread of the process runs in the multithreaded
// apartment (its CoInitialize answered RPC_E_CHANGED_MODE).
int ComInitCount();
int ComInitCount(uint32_t threadId);
// The threads that called any graph function (platform/media.h) since Reset.
std::set<uint32_t> GraphCallThreads();

// --- Apartments -------------------------------------------------------------------
// A thread that called CoInitialize has its own single-threaded apartment; a worker's
// thread (platform/worker.h) is in the multi-threaded one, and so is any thread without
// COM of its own once some thread is. A graph belongs to the apartment that made it.
// Off (the default, as under Wine 8.0): the graph manager has no free-threaded marshaler,
// and a call on a graph (its interfaces, their Release) from a thread of another apartment
// is recorded in Errors(): a graph of a single-threaded apartment is for the thread that
// made it, one of the multi-threaded apartment for that apartment's threads. On: the graph
// manager hands out the free-threaded marshaler, any thread may call any graph, and
// platform::GraphIsFreeThreaded answers true.
void SetGraphFreeThreaded(bool on);

// --- Workers (platform/worker.h) ----------------------------------------------------
// A worker's thread has an id like a started thread's (2001, 2002...) and is in the
// multi-threaded apartment from its start. In both thread modes its jobs run only when the
// test calls RunWorkerJobs: every queued job, in order, each as the worker's thread
// (GetCurrentThreadId answers its id); returns how many ran. A stop drops the jobs still
// queued (they are called with run = false) and ends the worker at once, unless workers
// are held: a held worker is one inside a long job, it runs nothing, and StopWorker gives
// up after its bound (the virtual clock moves on by it, and it serves sent messages) and
// answers false; the next RunWorkerJobs after the hold drops what is left and ends it.
int RunWorkerJobs();
void HoldWorkers(bool hold);
// On: a thread that sleeps (a bounded wait for the worker) lets the workers run their queued
// jobs meanwhile, as a worker's thread runs beside a waiting one; a held worker still runs
// nothing. Off by default.
void RunWorkersOnSleep(bool on);
int WorkersRunning();   // started and not ended
int WorkerJobsQueued(); // queued and not yet run, all workers

// --- Clock and beeps --------------------------------------------------------------
uint32_t Now();
void SetTickCount(uint32_t ms);
std::vector<std::pair<uint32_t, uint32_t>> Beeps(); // (frequency, duration)

// --- Random -----------------------------------------------------------------------
uint32_t RandomState();
int SeedCalls();
// What the C runtime's rand answers after srand(seed), `draws` times.
std::vector<int> RandSequence(uint32_t seed, int draws);

// --- Threads ----------------------------------------------------------------------
void SetCurrentThreadId(uint32_t id);
int OpenThreadHandles(); // thread handles opened and not closed
int ThreadsStarted();
int ThreadsPending();
void RunThreads(); // runs the started threads that have not run yet
void SetRunThreadsOnSleep(bool on);
// Real threads (see the top of this file); off by default. Turning them off joins the
// running ones first.
void SetRealThreads(bool on);
// Waits until every started real thread has finished. Called by the test's thread,
// holding nothing of the world.
void JoinThreads();
int ThreadsRunning(); // real threads started and not yet finished

// --- Memory -----------------------------------------------------------------------
int LiveAllocations();
// The `nth` allocation from now (0 = the next one) fails.
void FailAllocation(int nth = 0);

// --- Code page ----------------------------------------------------------------------
// On: code page 932's lead bytes (0x81-0x9F, 0xE0-0xFC). Off (default): single-byte.
void SetCodePage932(bool on);

// --- Processes ----------------------------------------------------------------------
void SetProcesses(std::initializer_list<const char*> exeNames);
void FailProcessSnapshot(bool fail);

// --- Folders ------------------------------------------------------------------------
void SetCurrentDir(std::string_view path);
void SetHostProgramPath(std::string_view path);

// --- Files ----------------------------------------------------------------------------
// Paths: relative ones resolve against the current folder; '/' counts as '\'; case is
// ignored. Adding a file creates its folders.
// Sharing follows Windows: each open handle has its access and share flags, and an open
// that conflicts fails with ERROR_SHARING_VIOLATION; deleting or renaming a file fails
// so while a handle that does not share deletion holds it, and a file open in any handle
// is not replaced (ERROR_ACCESS_DENIED). A rendered file is held by its graph (media).
void AddFile(std::string_view path, std::string_view contents);
void AddFolder(std::string_view path);
bool HasFile(std::string_view path);
std::string FileText(std::string_view path); // empty when missing
std::map<std::string, std::string> Files();  // every file: its full path and contents
void RemoveFileOrFolder(std::string_view path);
// Names of the files and folders directly in `folder`, in creation order.
std::vector<std::string> ListFolder(std::string_view folder);
// Writes (WriteFile, and the copies CopyFile makes) fail with ERROR_DISK_FULL once
// `bytes` more bytes have been written.
void FailWritesAfter(uint32_t bytes);
// The file claims `bytes` bytes (GetFileSize reports them) while it holds only its
// contents: reads end where the contents end. Writing to the file drops the claim.
void ReportFileSize(std::string_view path, uint64_t bytes);
// Creating or replacing this file fails with ERROR_ACCESS_DENIED.
void SetReadOnly(std::string_view path, bool readOnly = true);
// File handles the module opened and has not closed (those below not counted).
int OpenFileHandles();
// Another program opens the file for reading, letting others do what `shareFlags`
// (platform::kShare* bits) allow, and holds it until CloseHeld.
platform::Handle HoldOpen(std::string_view path, unsigned shareFlags);
void CloseHeld(platform::Handle token);
// The next directory search that reaches its end reports `code` instead of 18.
void SetSearchEndError(uint32_t code);
int OpenSearches();

// --- Windows and the user interface ---------------------------------------------------
struct Box {
    platform::Hwnd owner;
    std::string text;
    std::string caption;
    unsigned flags;
    uint32_t thread; // the thread that showed it
};
std::vector<Box> Boxes(); // every box shown since Reset, a copy
// Answers for the next boxes to close, in order; with none queued: IDYES for MB_YESNO,
// else IDOK. A box takes its answer when it closes, from whichever thread showed it.
void AnswerBoxes(std::initializer_list<int> answers);
// On: a box shown from now on stays open (its ShowMessageBox blocks that thread, holding
// nothing of the world) until ReleaseBoxes() or HoldBoxes(false). Real threads only: in
// the cooperative mode nothing could close it, so the box is recorded as misuse and
// closes at once. Reset turns holding off. gameThreadToo false: the boxes of the hook's
// thread close at once, as answered.
void HoldBoxes(bool hold, bool gameThreadToo = true);
void ReleaseBoxes(); // closes every box open now
// On: a box shown on the hook's thread first hands the posted messages queued then (and
// those posted meanwhile) to the hook, as the box's own message loop would on Windows.
void PumpInBoxes(bool on);
int BoxesOpen(); // boxes held open now

// --- Posted and sent messages ---------------------------------------------------------
// RegisterMessage answers one number per name (case ignored) from 0xC000 up, the same
// for the whole test run, as Windows keeps them for the session.
struct PostedMessage {
    platform::Hwnd window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t thread; // the posting thread
};
std::vector<PostedMessage> PostedMessages(); // queued and not taken, oldest first
// Takes the oldest posted message; false when none is queued.
bool TakePostedMessage(platform::HookMessage* out);
// Takes every queued message and hands it to the installed hook (none, once the module has
// taken it away), as the host's message loop would; returns how many. Messages posted
// meanwhile are delivered too.
int DeliverPostedMessages();
// On: PostToWindow fails (the queue is full) and queues nothing.
void FailPostMessage(bool fail);
// ServeSentMessages calls made by one thread since Reset.
int SentMessageServes(uint32_t threadId);

void SetWindowTitle(platform::Hwnd window, std::string_view title);
std::string WindowTitle(platform::Hwnd window);
std::vector<std::string> TitleHistory(); // every title written, in order

bool TimerRunning(platform::Hwnd window, uintptr_t id);
uint32_t TimerPeriod(platform::Hwnd window, uintptr_t id);
bool AcceptsDrops(platform::Hwnd window);

// A drop of these names onto the game window; the result is the WM_DROPFILES wParam.
uintptr_t MakeDrop(std::initializer_list<const char*> names);
uintptr_t MakeDrop(const std::vector<std::string>& names);
bool DropFinished(uintptr_t drop);

platform::HookProc InstalledHook();
int HooksInstalled(); // hooks installed and not removed
void FailHookInstall(bool fail);
uint32_t HookThread();
int NextHookCalls();
constexpr intptr_t kNextHookResult = 4242;
// Calls the installed hook as the host's message retrieval would, with HC_ACTION.
intptr_t DeliverToHook(platform::Hwnd window, uint32_t message, uintptr_t wParam = 0,
                       intptr_t lParam = 0);
// Key presses as the hook sees them: a WM_KEYDOWN for the game window.
intptr_t PressKey(int virtualKey, bool ctrl = false);

void SetKeyDown(int virtualKey, bool down);

struct ShellCall {
    platform::Hwnd owner;
    std::string verb, file, parameters, directory;
    bool hasDirectory;
    int show;
};
const std::vector<ShellCall>& ShellCalls(); // read while no other thread runs

// Every PlaySoundFile call: the name ("" for null) and the flags.
// Read while no other thread runs.
const std::vector<std::pair<std::string, unsigned>>& Sounds();

// --- The host's output module ---------------------------------------------------------
// A record whose Pause, Close, SetVolume and SetPan log "out.Pause 1", "out.Close",
// "out.SetVolume -2032", "out.SetPan 5" into the call log; the rest stay null.
// The module's string resources, as its resource script would hold them.
void SetStringResource(unsigned id, const char* text);
Out_Module* OutModule();
std::vector<std::string> OutModCalls();

} // namespace sim
