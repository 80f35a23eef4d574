// Init and Quit: the host's first and last calls.
#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "plugin/plugin.h"
#include "selection/selection.h"
#include "control/control.h"
#include "notices/notices.h"

void (*const ModuleShutdown)() = Quit;

namespace {

// What Init set up and Quit must undo exactly once, however often the shut-down runs.
// A host that calls Init twice starts COM twice: each start is undone once.
struct HostSession {
    int comStarts = 0;          // COM start-ups not yet matched by a shut-down
    bool dropsAccepted = false; // the game window accepts dropped files because of us
};
HostSession Session;

void ResetState() {
    PlayerStateRecord& p = PlayerState;
    p.VolumeByKey = false;
    p.ExPauseActive = false;
    p.ListModified = false;
    p.InlineCutActive = false;
    MediaGraph.Ready = false;
    p.Playing = false;
    MediaGraph.Rendered = false;
    p.HostVolume = kVolumeUnknown;
    p.Muted = false;
    p.PlayMode = PlaySource::SingleFile;
    p.Entries.Clear(); // a table an earlier run left behind
    p.Adjust = 0;
    p.Hosei = 0;
}

void ComFailureBeeps(platform::HResult hr) {
    int times = 5;
    if (hr == platform::kEInvalidArg)
        times = 1;
    else if (hr == platform::kEOutOfMemory)
        times = 2;
    else if (hr == platform::kEUnexpected)
        times = 3;
    ErrorFeedback::RepeatFailureBeep({1400, 100}, times, 50);
}

bool IsPreventer(const char* exeName) {
    const char* p1 = PluginSettings.Preventer1;
    const char* p2 = PluginSettings.Preventer2;
    return (p1[0] != '\0' && SameIgnoringAsciiCase(exeName, p1)) ||
           (p2[0] != '\0' && SameIgnoringAsciiCase(exeName, p2));
}

// Starts muted while a program named in the settings runs.
void CheckPreventers() {
    platform::Handle snapshot = platform::CreateProcessSnapshot();
    if (!snapshot) return;
    char name[platform::kMaxPath];
    for (bool ok = platform::FirstProcess(snapshot, name); ok;
         ok = platform::NextProcess(snapshot, name)) {
        if (IsPreventer(name)) {
            PlayerState.Muted = true;
            break;
        }
    }
    platform::CloseObject(snapshot);
}

} // namespace

void Init() {
    ScratchClear();
    platform::SeedRandom(platform::GetTickCount());
    ResetState();
    platform::ReadWindowTitle(HostWindow(), TitleNotice::Queue.SavedTitle,
                              sizeof TitleNotice::Queue.SavedTitle);
    PluginSettings = ReadSettings();
    PlayerState.Adjust = AdjustFromSubVolume(PluginSettings.SubVolume, PluginSettings.VolumeCurve);
    if (PluginSettings.InitRandom == 2 && PlayerState.StartupTick == 0)
        PlayerState.StartupTick = platform::GetTickCount();
    if (PluginSettings.Beep == 1) {
        const ErrorFeedback::Tone chime[] = {{1200, 100}, {1200, 100}};
        ErrorFeedback::FailureBeeps(chime, 2, 50);
    }

    PlayerState.HostThreadId = platform::GetCurrentThreadId();
    ExPause::RegisterParkMessage();

    platform::AcceptDroppedFiles(HostWindow(), true);
    Session.dropsAccepted = true;

    const platform::HResult hr = platform::CoInitialize();
    if (hr == platform::kSOk || hr == platform::kSFalse) {
        ++Session.comStarts;
    } else if (hr != platform::kRpcChangedMode) {
        ComFailureBeeps(hr);
        return; // no graph, no hook, no program check
    }

    if (!InitDS()) {
        ErrorFeedback::RepeatFailureBeep({500, 500}, 3, 50);
        if (PluginSettings.MsgBoxOnError != 0)
            platform::ShowMessageBox(HostWindow(), "Initialize failed in InitDS Function", "Error",
                                     platform::kMbOk);
    }

    if (MediaGraph.MediaEvent)
        platform::SetNotifyWindow(MediaGraph.MediaEvent, HostWindow(), platform::kWmGraphNotify, 0);

    if (!HookHandle)
        HookHandle =
            platform::InstallMessageHook(KeyHook, Module.hDllInstance, PlayerState.HostThreadId);
    CheckPreventers();
}

void Quit() {
    FinishFadeOut();
    if (PlayerState.Playing) Stop();
    SaveIfModified(); // files dropped on a list that is not playing now
    // Without a graph, interfaces a failed creation left behind are still given back.
    ReleaseDS(MediaGraph.Ready ? 1 : 0);
    NextTune::Quit();
    for (; Session.comStarts > 0; --Session.comStarts)
        platform::CoUninitialize();
    if (TitleNotice::Queue.Count != 0) {
        platform::StopWindowTimer(HostWindow(), TitleNotice::kTimerId);
        TitleNotice::Reset(); // the title stays as it is; the next Init starts afresh
    }
    PlayerState.Playing = false;
    WriteBackSubVolume();
    if (Session.dropsAccepted) {
        platform::AcceptDroppedFiles(HostWindow(), false);
        Session.dropsAccepted = false;
    }
    if (HookHandle) {
        platform::RemoveMessageHook(HookHandle);
        HookHandle = nullptr;
    }
}

void ResetModule() {
    Session = HostSession{};
    ResetCoreState();
    ResetEngineState();
    ExPause::Reset();
    TitleNotice::Reset();
    TitleNotice::Queue.SavedTitle[0] = '\0';
}
