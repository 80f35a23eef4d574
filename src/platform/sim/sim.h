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
// Threads: StartThread records the thread and queues it; it runs when the test calls
// RunThreads() or, by default, when the calling thread sleeps (a sleeping thread lets
// the others run). While it runs, GetCurrentThreadId answers the new thread's id.
#pragma once
#include <cstdint>
#include <initializer_list>
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
// current folder C:\Game, tick count 1000000, thread 1000, no processes, no scripts.
void Reset();

// --- Call log ---------------------------------------------------------------------
const std::vector<std::string>& Log();
void ClearLog();
// Off: platform calls add no line to the log (misuse still does, and Errors() still
// records it), so a benchmark can call the logic millions of times without the log
// growing. On by default; Reset turns it back on.
void SetCallLog(bool on);
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
const std::vector<std::string>& Errors();
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
};
// The graph created last.
GraphView LastGraph();
// Length of a rendered file, seconds (default 180.0).
void SetRenderedDuration(double seconds);
// Queues an event on the graph created last (code 1 is the end of the stream).
void PushGraphEvent(int32_t code, intptr_t param1 = 0, intptr_t param2 = 0);
int FreedEvents();
// On: a filter enumerator answers "out of sync" once the graph changed under it, as
// DirectShow documents. Off (default): it walks the filters it saw when created.
void SetFilterEnumOutOfSync(bool on);

// --- COM start-up -----------------------------------------------------------------
int ComInitCount(); // successful CoInitialize calls not yet balanced

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
void FailOpenThread(bool fail);
int OpenThreadHandles(); // thread handles opened and not closed
int SuspendCount(uint32_t threadId);
int ThreadsStarted();
int ThreadsPending();
void RunThreads(); // runs the started threads that have not run yet
void SetRunThreadsOnSleep(bool on);

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
void RemoveFileOrFolder(std::string_view path);
// Names of the files and folders directly in `folder`, in creation order.
std::vector<std::string> ListFolder(std::string_view folder);
// Writes (WriteFile, and the copies CopyFile makes) fail with ERROR_DISK_FULL once
// `bytes` more bytes have been written.
void FailWritesAfter(uint32_t bytes);
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
};
const std::vector<Box>& Boxes();
// Answers for the next boxes; with none queued: IDYES for MB_YESNO, else IDOK.
void AnswerBoxes(std::initializer_list<int> answers);

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
const std::vector<ShellCall>& ShellCalls();

// Every PlaySoundFile call: the name ("" for null) and the flags.
const std::vector<std::pair<std::string, unsigned>>& Sounds();

// --- The host's output module ---------------------------------------------------------
// A record whose Pause, Close, SetVolume and SetPan log "out.Pause 1", "out.Close",
// "out.SetVolume -2032", "out.SetPan 5" into the call log; the rest stay null.
// The module's string resources, as its resource script would hold them.
void SetStringResource(unsigned id, const char* text);
Out_Module* OutModule();
std::vector<std::string> OutModCalls();

} // namespace sim
