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
std::atomic<int> ParkStage{kIdle};
std::atomic<uint32_t> ParkGeneration{0};
std::atomic<Request> ParkRequest{Request::PauseBox};
// The file the tag cut works on, copied by the game's thread before it parks.
char CutPathText[kNameSize];
// From Start until the worker has claimed the work (or found another at it).
std::atomic<bool> WorkerStarting{false};
// The worker's park request was not taken: its box shows with the game running.
std::atomic<bool> WorkerUnparked{false};
// The end message of the worker at work is stale: the game stopped waiting for it.
std::atomic<bool> DoneIsStale{false};

constexpr uint32_t kParkedPollMs = 5;
constexpr uint32_t kWorkerPollMs = 10;

// On the game's thread, before it parks: the music paused, and for a tag cut the tune
// stopped and the graph given back, which still holds the file open.
void WorkBeforeParking(Request request) {
    PauseDS();
    if (request != Request::TagCut) return;
    CopyText(CutPathText, PlayerState.MediaFile, sizeof CutPathText);
    StopKeepingList(); // a later Stop saves a list grown by drops
    if (MediaGraph.Ready) ReleaseDS(PlayerState.PlayMode == 0 ? 1 : 0);
}

// On the game's thread, once the worker let it go.
void WorkAfterParking(Request request) {
    if (request == Request::TagCut && !InitDS())
        ErrorFeedback::RepeatFailureBeep({1800, 500}, 3, 100);
    TitleNotice::ShowDeferred(); // what the tag cut reported
}

} // namespace

void Reset() {
    ParkStage.store(kIdle);
    ParkGeneration.store(0);
    ParkRequest.store(Request::PauseBox);
    CutPathText[0] = '\0';
    WorkerStarting.store(false);
    WorkerUnparked.store(false);
    DoneIsStale.store(false);
}

void RegisterParkMessage() {
    if (ParkMessage == 0) ParkMessage = platform::RegisterMessage("OrvalinMugenBGM.ParkGame");
}

void AwaitWorker() {
    const PlayerStateRecord& p = PlayerState;
    uint32_t since = platform::GetTickCount();
    while (WorkerStarting.load() || (p.ExPauseActive && !WorkerUnparked.load())) {
        if (ServePendingPark()) since = platform::GetTickCount(); // the freeze is the user's
        if (platform::GetTickCount() - since >= kAwaitWorkerMs) break;
        platform::ServeSentMessages();
        platform::Sleep(10);
    }
    if (p.ExPauseActive) DoneIsStale.store(true);
}

bool TakeCurrentDone() {
    return !DoneIsStale.exchange(false);
}

bool ServePark(uintptr_t generation) {
    if (generation != ParkGeneration.load()) return false; // a request that is over
    int expected = kRequested;
    if (!ParkStage.compare_exchange_strong(expected, kParking)) return false; // served or withdrawn
    const Request request = ParkRequest.load();
    WorkBeforeParking(request);
    ParkStage.store(kParked);
    while (ParkStage.load() != kReleased) {
        platform::ServeSentMessages();
        platform::Sleep(kParkedPollMs);
    }
    ParkStage.store(kIdle);
    WorkAfterParking(request);
    return true;
}

bool ServePendingPark() {
    return ServePark(ParkGeneration.load());
}

void SetWorkerStarting(bool starting) {
    WorkerStarting.store(starting);
}

void BeginWork() {
    WorkerUnparked.store(false);
    DoneIsStale.store(false);
    WorkerStarting.store(false);
}

bool RequestPark(Request request) {
    ParkRequest.store(request);
    const uint32_t generation = ParkGeneration.fetch_add(1) + 1;
    // The park before this one may still be finishing its work on the game's thread.
    int expected = kIdle;
    while (!ParkStage.compare_exchange_strong(expected, kRequested)) {
        expected = kIdle;
        platform::Sleep(kWorkerPollMs);
    }
    if (ParkMessage != 0 && HostWindow() &&
        platform::PostToWindow(HostWindow(), ParkMessage, generation, 0)) {
        const uint32_t start = platform::GetTickCount();
        while (platform::GetTickCount() - start < kParkTimeoutMs) {
            if (ParkStage.load() == kParked) return true;
            platform::Sleep(kWorkerPollMs);
        }
    }
    expected = kRequested;
    if (ParkStage.compare_exchange_strong(expected, kIdle)) { // never taken
        WorkerUnparked.store(true);
        return false;
    }
    // The game's thread took the request meanwhile; what it does before parking is the
    // module's own work, and it ends.
    while (ParkStage.load() != kParked)
        platform::Sleep(kWorkerPollMs);
    return true;
}

void ReleasePark() {
    ParkStage.store(kReleased);
}

const char* CutPath() {
    return CutPathText;
}

} // namespace ExPause
