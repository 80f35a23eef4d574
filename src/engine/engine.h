// The playback engine: the media graph, the transport and the volume.
#pragma once
#include "core/core.h"
#include "platform/types.h"

struct MediaGraphRecord {
    platform::ComPtr GraphBuilder = nullptr;
    platform::ComPtr MediaControl = nullptr;
    platform::ComPtr MediaEvent = nullptr;
    platform::ComPtr MediaPosition = nullptr;
    platform::ComPtr BasicAudio = nullptr;
    bool Ready = false;    // the five interfaces are valid: set by InitDS, cleared by ReleaseDS
    bool Rendered = false; // a file has been started in the graph
    bool Empty = false;    // this graph has had no file started in it since InitDS made it
    bool Held = false;     // paused: the tune's position stands until it runs again
};
extern MediaGraphRecord MediaGraph;

// Media graph.
int InitDS();
void ReleaseDS(uint8_t freeEntryTable);
// Makes the graph anew (InitDS); when that fails, three long beeps. True when made.
bool RemakeGraph();
// Gives the graph back and forgets the file it held: the next tune makes a new one.
void DropGraph();
int RenderTurbo(const char* name);
// Renders the file `name` and starts it with the entry's options that PlayerState holds.
// `sameEntryAgain`: the playlist entry that just ended plays again, from its loop start;
// `repeatsItself`: it will play again right after itself whatever happens, so spare
// graphs of it wait at its loop start.
int RenderAndRun(const char* name, bool sameEntryAgain = false, bool repeatsItself = false);
// A tune has started in the graph at `position`: the graph's flags, the name, the notice,
// playing, its clock.
void TuneStarted(const char* name, double position);
// The current entry's loop start in seconds (0.0 when it has none).
double LoopStartSeconds();
// An entry with a loop start that plays again in place keeps two spare graphs of its
// tune, paused at the loop start. At the tune's end a spare takes over: false when
// there is none (the tune then restarts in its own graph).
bool RestartFromSpare();
// Gives the spare graphs back (a new tune, Stop, ReleaseDS).
void ReleaseLoopSpares();
// The engine's state as the DLL has it when loaded: no graph, no spares, no level applied.
// Gives nothing back: what it forgets belongs to a world that is gone.
void ResetEngineState();
// Its parts, each forgetting its own state.
void ForgetLoopSpares();
void ForgetAppliedLevel();

// Transport on the graph.
int PauseDS();
// Pauses the graph and waits for it; an answer other than done or "not yet" shows
// `failure` (a format with one %X).
void PauseGraph(const char* failure);
// Runs the graph again; `setPlaying` marks the tune as playing when it runs.
void RunGraph(bool setPlaying);
// Moves the tune to `seconds` (past its end: it ends at once).
void SeekGraph(double seconds);
// Silences the playlist's extra sound, if it has one.
void StopExtraSound();
// Stops the tune: false, and nothing done, when there is no graph.
bool StopGraph();
// What follows a stop under ReleaseOnStop: the graph given back (or a warning).
void ReleaseAfterStop();
// Stop without the playlist save, which a later Stop makes (the extended pause).
void StopKeepingList();

// Volume.
void SetVolume(int volume);
// Gives the graph the level SetVolume gave last (a graph that takes over the tune), under
// the fade-out's and the cross-fade's ramps while they run.
void ReapplyVolume();
// That level as the graph has it.
int GraphLevel();

// The fade-out of a host's stop: the level falls, linear in amplitude, over the set time
// while the tune plays on; the volume rules apply on top of it. Its timer's ticks come
// to the hook, which steps the ramp; the stop itself is made by whoever ends the ramp.
namespace FadeOut {
constexpr uintptr_t kTimerId = 77778;
constexpr uint32_t kStepMs = 20;
// Starts the ramp at the level the graph has; false (nothing started) without a graph,
// a game window or a length.
bool Start(uint32_t lengthMs);
bool Active();
// The level `level` (hundredths of a dB) under the ramp as it stands now.
int Level(int level);
// One step of the ramp: the graph gets the level for now; true once the ramp is over.
bool Step();
// The ramp is over: the timer stops, the level is no longer lowered.
void End();
// Forgets the ramp, as the DLL has it when loaded.
void Forget();
} // namespace FadeOut

// The next tune, prepared on the module's worker while the current one plays: rendered,
// at its start, paused. At the tune's end it runs at once and the graph that ended sounds
// its last samples out, to be released later off the game's thread. A graph the worker made
// belongs to its apartment: once one plays, every call on it is posted to the worker and
// nothing on the game's thread waits for one.
namespace NextTune {
// What comes next, chosen by the rules of a tune's end: copies, never pointers into the
// entry table, which a drop reallocates.
struct Choice {
    int entry = -1;                 // the entry chosen; -1: the tune that plays plays again
    char entryText[kNameSize] = ""; // that entry as the table held it
    char name[kNameSize] = "";      // the file
    double begin = 0.0;             // seconds
    double loop = 0.0;              // the loop start in seconds; 0.0: none
    bool fromLoop = false;          // starts at the loop start, when it lies before the end
    double endTrim = 0.0;           // seconds taken off the end
};
// The graph's end of a worker's graph, as wParam of the graph message; lParam is its serial.
constexpr uintptr_t kEndedWParam = 0x4E544E44;
constexpr uint32_t kQuitReleaseMs = 1000; // Quit waits this long for the releases
constexpr uint32_t kQuitStopMs = 500;     // and this long for the worker's end
constexpr uint32_t kCutReleaseMs = 2000;  // a tag cut waits this long for the releases
// Tunes are prepared: the setting is on and the worker runs (started on the first call).
bool Available();
// Prepares `choice` in place of what was prepared.
void Prepare(const Choice& choice);
// The choice made ahead; null when there is none.
const Choice* Chosen();
// Its graph is ready to run.
bool Ready();
// Forgets the choice and releases its graph.
void Drop();
// The prepared graph becomes the tune's; the one that played retires. Its stop time after
// the end trim.
double TakeOver();
// How many times a prepared graph took over.
uint32_t TakeOvers();
// Runs the graph that took over, at the level Level gave it.
void Begin();
// The tune plays in a graph of the worker: the calls below reach it.
bool Remote();
void Level(int level);
// The level of the graph that retired last, sounding its last samples out.
void RetiredLevel(int level);
// The stop time of the tune that plays, after the end trim, and where it started.
double StopTime();
double StartPosition();
void Pause();
void Run();
// Stops the tune, drops what was prepared and releases the graphs still sounding out.
void Stop();
void Seek(double seconds);
void SavePosition();
void RestorePosition();
// The graph told the game window of events: the worker fetches them.
void DrainEvents();
// The end message of serial `serial` is the playing tune's.
bool TakeEnded(intptr_t serial);
// Releases every graph of the worker and the game's graph that retired.
void ReleaseAll();
// Waits, serving sent messages, until the worker has released every graph it had; false
// when `timeoutMs` passed first (a tag cut then may find its file still open).
bool AwaitReleased(uint32_t timeoutMs);
// Releases everything and ends the worker, each wait bounded.
void Quit();
// As the DLL has it when loaded.
void Forget();
} // namespace NextTune

// The moment of a prepared change, and the cross-fade between the tunes of a list or
// folder. While a tune plays, a timer on the game window watches for the moment its last
// `lengthMs` (0: no fade) and kLeadMs begin; the prepared tune then starts, the old one
// sounding on, and with a fade the timer steps both levels, linear in amplitude, the
// volume rules on top. It never waits.
namespace CrossFade {
constexpr uintptr_t kTimerId = 77779;
constexpr uint32_t kWatchMs = 50;
constexpr uint32_t kStepMs = 20;
// What the old tune still sounds after its end event, less what the new one takes to be
// heard after Run (docs/performance.md, "Tune changes").
constexpr uint32_t kLeadMs = 30;
// Watches the tune that plays; nothing without a game window.
void Watch(uint32_t lengthMs);
// The moment has come (a tick close to it is set for it).
bool Due();
// The fade's length being watched for.
uint32_t Length();
// No more watching (the change came without a fade).
void Unwatch();
// The playing tune's clock, kept from the module's own calls on its graph: started at a
// position, held (paused), run again, moved, and PauseMode 2's mark saved and restored.
void ClockStart(double position);
void ClockHold();
void ClockRun();
void ClockSeek(double position);
void ClockSave();
void ClockRestore();
double ClockPosition();
// The fade begins: the tune that is about to retire had `oldLevel`.
void Start(int oldLevel);
bool Active();
// The level `level` of the tune that plays under the fade-in as it stands now.
int Level(int level);
// One step of the ramp; true once it is over.
bool Step();
// No fade and no watch: the timer stops, the old tune falls silent, the new one is whole.
void End();
void Forget();
} // namespace CrossFade

// The game's thread parks for the extended pause's worker. The worker never stops the
// game's thread from outside: it asks it to park inside the module at a safe point (a
// registered message the hook sees, or a wait of the module's own), and the parked thread
// makes every graph call itself, before and after the worker's box or tag cut.
namespace ExPause {
// What the worker is asked to do while the game is parked.
enum class Request : int { PauseBox = 1, TagCut = 2 };
// How long the worker waits for the game's thread to park, longer than any wait of the
// module's own; past it the freeze is skipped.
constexpr uint32_t kParkTimeoutMs = 8000;
extern uint32_t ParkMessage; // registered at Init; 0 before
void RegisterParkMessage();
// No park under way; the registered message number stays, as Windows keeps it.
void Reset();
// The hook, on the park message: parks when the request of `generation` still waits;
// true when it parked.
bool ServePark(uintptr_t generation);
// A wait of the module's own on the game's thread: serves whatever request waits.
bool ServePendingPark();
// On the game's thread, before the tune is replaced or a cut is asked for: waits while a
// worker is starting or asking for the park, parking when it asks, and while it ends
// after a park. Bounded (kAwaitWorkerMs from the last park) and serving sent messages;
// a worker that showed its box without the park is not waited for. A worker still at
// work when the wait ends belongs to a tune that is over: its end message does nothing.
constexpr uint32_t kAwaitWorkerMs = 2000;
void AwaitWorker();
// The hook, on the end message (0x0492): false when it comes from a worker that the game
// stopped waiting for, and must do nothing.
bool TakeCurrentDone();

// The worker's side. A worker is starting from the moment it is asked for until it has
// claimed the work (or found another at it): AwaitWorker waits for it meanwhile.
void SetWorkerStarting(bool starting);
// The worker at work from now on: a fresh start, starting no more.
void BeginWork();
// Asks the game's thread to park for `request`; true once it is parked. False when it did
// not park in time: the worker then goes on with the game running.
bool RequestPark(Request request);
// Lets the parked game's thread go on.
void ReleasePark();
// The file the tag cut works on, copied by the game's thread before it parked.
const char* CutPath();
} // namespace ExPause
