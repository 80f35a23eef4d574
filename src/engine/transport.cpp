// The transport on the graph: pausing it (and waiting for the pause), running it again,
// stopping it. What a pause or a stop means for the player is decided above.
#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"

namespace {

using platform::HResult;

bool Succeeded(HResult hr) {
    return hr == platform::kSOk || hr == platform::kSFalse;
}

// Waits for a Pause that answered S_FALSE: at most 102 GetState calls of 100 ms, and no
// longer than kPauseWaitMs in all, well inside the worker's park timeout. Between the
// calls it serves the messages other threads send, so the game never stops answering.
constexpr uint32_t kPauseWaitMs = 5000;

void PauseWait() {
    int counter = 0;
    const uint32_t start = platform::GetTickCount();
    while (platform::GetState(MediaGraph.MediaControl, 100) == platform::kVfwStateIntermediate) {
        platform::ServeSentMessages();
        if (counter > 100 || platform::GetTickCount() - start >= kPauseWaitMs) {
            ErrorFeedback::StatusBox("Too much time was spent before completion of transit(pause).",
                                     0);
            return;
        }
        ++counter;
    }
}

} // namespace

int PauseDS() {
    if (!MediaGraph.Ready) return 0;
    PauseGraph("Unknown return value of Run function(%X)");
    StopExtraSound();
    PlayerState.Paused = 1;
    return OutModPause(1);
}

// Pauses the graph and waits for the transition; other answers show `failure`.
void PauseGraph(const char* failure) {
    MediaGraph.Held = true;
    CrossFade::ClockHold();
    if (NextTune::Remote()) return NextTune::Pause();
    const HResult hr = platform::Pause(MediaGraph.MediaControl);
    if (hr == platform::kSFalse)
        PauseWait();
    else if (hr != platform::kSOk)
        ErrorFeedback::StatusBox(failure, hr);
}

void StopExtraSound() {
    if (PlayerState.ExtSound[0] != '\0') platform::PlaySoundFile(nullptr, 0);
}

void RunGraph(bool setPlaying) {
    MediaGraph.Held = false;
    CrossFade::ClockRun();
    if (NextTune::Remote()) {
        NextTune::Run();
        if (setPlaying) PlayerState.Playing = true;
        return;
    }
    const HResult hr = platform::Run(MediaGraph.MediaControl);
    if (Succeeded(hr)) {
        if (setPlaying) PlayerState.Playing = true;
    } else {
        ErrorFeedback::StatusBox("Error occured on running file(%X)", hr);
    }
}

void SeekGraph(double seconds) {
    CrossFade::ClockSeek(seconds);
    if (NextTune::Remote())
        NextTune::Seek(seconds);
    else if (MediaGraph.Ready)
        platform::put_CurrentPosition(MediaGraph.MediaPosition, seconds);
}

bool StopGraph() {
    PlayerStateRecord& p = PlayerState;
    ReleaseLoopSpares(); // the spares of a tune that loops, and the last samples it still sounds
    // What was prepared goes with the tune; a graph that ended sounds out no longer.
    CrossFade::End();
    CrossFade::ClockHold(); // a stopped graph keeps its position: a later Run goes on from it
    NextTune::Stop();
    if (!MediaGraph.Ready) return false;
    const HResult hr =
        NextTune::Remote() ? platform::kSOk : platform::Stop(MediaGraph.MediaControl);
    StopExtraSound();
    if (!Succeeded(hr)) ErrorFeedback::StatusBox("Unknown error on stopping(%X)", hr);
    p.Playing = false;
    return true;
}

void ReleaseAfterStop() {
    if (PluginSettings.ReleaseOnStop == 0) return;
    const bool stopPauses = PluginSettings.PauseMode == 4 || PluginSettings.PauseMode == 5;
    if (stopPauses)
        ErrorFeedback::FailureBox(
            "Warning : ReleaseOnStop option is invalid under PauseMode = 4 or 5.");
    if (PluginSettings.TurboLoadMusic != 0) {
        ErrorFeedback::FailureBox(
            "Warning : ReleaseOnStop option is invalid under TurboLoadMusic = 1.");
        return;
    }
    if (stopPauses) return;
    if (MediaGraph.Ready) DropGraph();
}

void StopKeepingList() {
    if (StopGraph()) ReleaseAfterStop();
}
