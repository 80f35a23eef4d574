// The transport: pause by five modes, resume, stop.
#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "selection/selection.h"

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

// Pauses the graph and waits for the transition; other answers show `failure`.
void PauseGraph(const char* failure) {
    const HResult hr = platform::Pause(MediaGraph.MediaControl);
    if (hr == platform::kSFalse)
        PauseWait();
    else if (hr != platform::kSOk)
        ErrorFeedback::StatusBox(failure, hr);
}

void StopExtraSound() {
    if (PlayerState.ExtSound[0] != '\0') platform::PlaySoundFile(nullptr, 0);
}

void RunAgain(bool setPlaying) {
    const HResult hr = platform::Run(MediaGraph.MediaControl);
    if (Succeeded(hr)) {
        if (setPlaying) PlayerState.Playing = true;
    } else {
        ErrorFeedback::StatusBox("Error occured on running file(%X)", hr);
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

void Pause() {
    PlayerStateRecord& p = PlayerState;
    if (!MediaGraph.Ready || !p.Playing || p.PlayMode == -1) return;
    const int mode = PluginSettings.PauseMode;
    switch (mode) {
    case 1:
        PauseGraph("Unknown return value in Run function(%X)");
        break;
    case 2:
        platform::get_CurrentPosition(MediaGraph.MediaPosition, &p.PausePosition);
        [[fallthrough]];
    case 3:
        p.Muted = true;
        SetVolume(p.HostVolume);
        break;
    case 4:
    case 5:
        Stop();
        break;
    default:
        break;
    }
    p.Paused = mode;
    OutModPause(mode != 0 ? 1 : 0);
    StopExtraSound();
}

void UnPause() {
    PlayerStateRecord& p = PlayerState;
    if (PluginSettings.CloseOutModWhenUnpause != 0) OutModClose();
    if (!MediaGraph.Ready || p.PlayMode == -1) return;
    switch (PluginSettings.PauseMode) {
    case 1:
        RunAgain(false);
        break;
    case 2:
        platform::put_CurrentPosition(MediaGraph.MediaPosition, p.PausePosition);
        [[fallthrough]];
    case 3:
        p.Muted = false;
        SetVolume(p.HostVolume);
        break;
    case 4:
        RunAgain(true);
        break;
    case 5: {
        char file[kNameSize];
        CopyText(file, p.MediaFile, sizeof file);
        Play(file);
        break;
    }
    default:
        break;
    }
    if (p.ExtSound[0] != '\0')
        platform::PlaySoundFile(p.ExtSound,
                                platform::kSndFilename | platform::kSndLoop | platform::kSndAsync);
    p.Paused = 0;
    OutModPause(0);
}

namespace {

void StopTune(bool saveList) {
    PlayerStateRecord& p = PlayerState;
    ReleaseLoopSpares(); // the spares of a tune that loops, and the last samples it still sounds
    if (!MediaGraph.Ready) return;
    const HResult hr = platform::Stop(MediaGraph.MediaControl);
    StopExtraSound();
    if (!Succeeded(hr)) ErrorFeedback::StatusBox("Unknown error on stopping(%X)", hr);
    p.Playing = false;
    if (saveList) SaveIfModified();
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
    if (MediaGraph.Ready) {
        ReleaseDS(0);
        MediaGraph.Rendered = false;
        MediaGraph.Ready = false;
    }
}

} // namespace

void Stop() {
    StopTune(true);
}

void StopKeepingList() {
    StopTune(false);
}
