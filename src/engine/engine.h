// The playback engine: the media graph, the transport and the volume.
#pragma once
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
// the fade-out's ramp while one runs.
void ReapplyVolume();

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
