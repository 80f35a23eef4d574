// What pausing, resuming and stopping mean for the player: the pause mode chosen in the
// settings, the extra sound, and the playlist grown by drops, which a stop saves.
#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "core/core.h"
#include "selection/selection.h"

void Pause() {
    FinishFadeOut();
    PlayerStateRecord& p = PlayerState;
    if (!MediaGraph.Ready || !p.Playing || p.PlayMode == PlaySource::EmptyPlaylist) return;
    const int mode = PluginSettings.PauseMode;
    switch (mode) {
    case 1:
        PauseGraph("Unknown return value in Run function(%X)");
        break;
    case 2:
        CrossFade::ClockSave();
        if (NextTune::Remote())
            NextTune::SavePosition();
        else
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
    FinishFadeOut();
    PlayerStateRecord& p = PlayerState;
    if (PluginSettings.CloseOutModWhenUnpause != 0) OutModClose();
    if (!MediaGraph.Ready || p.PlayMode == PlaySource::EmptyPlaylist) return;
    switch (PluginSettings.PauseMode) {
    case 1:
        RunGraph(false);
        break;
    case 2:
        CrossFade::ClockRestore();
        if (NextTune::Remote())
            NextTune::RestorePosition();
        else
            platform::put_CurrentPosition(MediaGraph.MediaPosition, p.PausePosition);
        [[fallthrough]];
    case 3:
        p.Muted = false;
        SetVolume(p.HostVolume);
        break;
    case 4:
        RunGraph(true);
        PrepareNext(); // the stop gave back what was prepared
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

void Stop() {
    if (!StopGraph()) return;
    SaveIfModified();
    ReleaseAfterStop();
}

void StopFromHost() {
    if (FadeOut::Active()) return; // the stop is on its way
    PlayerStateRecord& p = PlayerState;
    const int length = PluginSettings.FadeOutOnStop;
    // Stopped as the game sees it: the keys and calls that need a playing tune leave the
    // fading one alone.
    if (length > 0 && p.Playing && p.Paused == 0 && FadeOut::Start(static_cast<uint32_t>(length))) {
        p.Playing = false;
        return;
    }
    Stop();
}

void StepFadeOut() {
    if (FadeOut::Step()) FinishFadeOut();
}

void FinishFadeOut() {
    if (!FadeOut::Active()) return;
    FadeOut::End();
    Stop();
}
