// The park: how the game's thread yields to the extended pause's worker.
//
// The game's thread is never stopped from outside: stopped at an arbitrary instruction it
// may hold the process heap's lock or the loader's, and the worker, which allocates,
// would then wait for ever. Instead the worker asks the game's thread to park inside the
// module at a safe point: a registered message posted to the game window, which the hook
// sees, or a wait of the module's own (Play, or Ctrl+X, waiting for the worker). The
// parked thread makes every graph call itself, since the graph belongs to the thread
// that made it, then waits until the worker is done, handling the messages other threads
// send to its windows so that nothing the worker does can block on it.
#include <atomic>

#include "core/core.h"
#include "engine/engine.h"
#include "notices/notices.h"
#include "platform/system.h"
#include "platform/window.h"

namespace ExPause {

uint32_t ParkMessage = 0;

namespace {

// Where a park request stands. The worker moves Idle to Requested; the game's thread
// Requested to Parking to Parked; the worker Parked to Released; the game's thread
// Released to Idle. A worker that waited in vain takes Requested back to Idle, and the
// game's thread then finds nothing to do.
enum Stage : int { kIdle, kRequested, kParking, kParked, kReleased };

// The park's whole state, shared by the game's thread and the worker.
struct ParkState {
    std::atomic<int> stage{kIdle};
    std::atomic<uint32_t> generation{0};
    std::atomic<Request> request{Request::PauseBox};
    // The file the tag cut works on, copied by the game's thread before it parks.
    char cutPath[kNameSize] = "";
    // From Start until the worker has claimed the work (or found another at it).
    std::atomic<bool> workerStarting{false};
    // The worker's park request was not taken: its box shows with the game running.
    std::atomic<bool> workerUnparked{false};
    // The end message of the worker at work is stale: the game stopped waiting for it.
    std::atomic<bool> doneIsStale{false};
};
ParkState Park;

constexpr uint32_t kParkedPollMs = 5;
constexpr uint32_t kWorkerPollMs = 10;

// On the game's thread, before it parks: the music paused, and for a tag cut the tune
// stopped and the graph given back, which still holds the file open.
void WorkBeforeParking(Request request) {
    PauseDS();
    if (request != Request::TagCut) return;
    CopyText(Park.cutPath, PlayerState.MediaFile, sizeof Park.cutPath);
    StopKeepingList(); // a later Stop saves a list grown by drops
    if (MediaGraph.Ready) ReleaseDS(PlayerState.PlayMode == PlaySource::SingleFile ? 1 : 0);
}

// On the game's thread, once the worker let it go.
void WorkAfterParking(Request request) {
    if (request == Request::TagCut) RemakeGraph();
    TitleNotice::ShowDeferred(); // what the tag cut reported
}

} // namespace

void Reset() {
    Park.stage.store(kIdle);
    Park.generation.store(0);
    Park.request.store(Request::PauseBox);
    Park.cutPath[0] = '\0';
    Park.workerStarting.store(false);
    Park.workerUnparked.store(false);
    Park.doneIsStale.store(false);
}

void RegisterParkMessage() {
    if (ParkMessage == 0) ParkMessage = platform::RegisterMessage("OrvalinMugenBGM.ParkGame");
}

void AwaitWorker() {
    const PlayerStateRecord& p = PlayerState;
    uint32_t since = platform::GetTickCount();
    while (Park.workerStarting.load() || (p.ExPauseActive && !Park.workerUnparked.load())) {
        if (ServePendingPark()) since = platform::GetTickCount(); // the freeze is the user's
        if (platform::GetTickCount() - since >= kAwaitWorkerMs) break;
        platform::ServeSentMessages();
        platform::Sleep(10);
    }
    if (p.ExPauseActive) Park.doneIsStale.store(true);
}

bool TakeCurrentDone() {
    return !Park.doneIsStale.exchange(false);
}

bool ServePark(uintptr_t generation) {
    if (generation != Park.generation.load()) return false; // a request that is over
    int expected = kRequested;
    if (!Park.stage.compare_exchange_strong(expected, kParking))
        return false; // served or withdrawn
    const Request request = Park.request.load();
    WorkBeforeParking(request);
    Park.stage.store(kParked);
    while (Park.stage.load() != kReleased) {
        platform::ServeSentMessages();
        platform::Sleep(kParkedPollMs);
    }
    Park.stage.store(kIdle);
    WorkAfterParking(request);
    return true;
}

bool ServePendingPark() {
    return ServePark(Park.generation.load());
}

void SetWorkerStarting(bool starting) {
    Park.workerStarting.store(starting);
}

void BeginWork() {
    Park.workerUnparked.store(false);
    Park.doneIsStale.store(false);
    Park.workerStarting.store(false);
}

bool RequestPark(Request request) {
    Park.request.store(request);
    const uint32_t generation = Park.generation.fetch_add(1) + 1;
    // The park before this one may still be finishing its work on the game's thread.
    int expected = kIdle;
    while (!Park.stage.compare_exchange_strong(expected, kRequested)) {
        expected = kIdle;
        platform::Sleep(kWorkerPollMs);
    }
    if (ParkMessage != 0 && HostWindow() &&
        platform::PostToWindow(HostWindow(), ParkMessage, generation, 0)) {
        const uint32_t start = platform::GetTickCount();
        while (platform::GetTickCount() - start < kParkTimeoutMs) {
            if (Park.stage.load() == kParked) return true;
            platform::Sleep(kWorkerPollMs);
        }
    }
    expected = kRequested;
    if (Park.stage.compare_exchange_strong(expected, kIdle)) { // never taken
        Park.workerUnparked.store(true);
        return false;
    }
    // The game's thread took the request meanwhile; what it does before parking is the
    // module's own work, and it ends.
    while (Park.stage.load() != kParked)
        platform::Sleep(kWorkerPollMs);
    return true;
}

void ReleasePark() {
    Park.stage.store(kReleased);
}

const char* CutPath() {
    return Park.cutPath;
}

} // namespace ExPause
