// The message hook on the game's thread: hot keys, graph events, the notice timer and
// the window requests other programs may post. It never swallows or alters a message.
#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/key_list.h"
#include "core/core.h"
#include "selection/selection.h"
#include "tools/tools.h"
#include "control/control.h"
#include "notices/notices.h"

namespace {

constexpr int kVkControl = 0x11;
constexpr double kPastTheEnd = 99999.0;
constexpr uint32_t kMaxSleepRequestMs = 2000;

bool CtrlDown() {
    return platform::GetAsyncKeyState(kVkControl) < 0;
}

// The actions below are kept out of the hook's body ([[gnu::noinline]]): the hook runs for
// every message the game takes, and the rare actions inlined into it would give every
// message a wider frame (more registers saved and restored) for nothing.
[[gnu::noinline]] void ToggleMute() {
    PlayerStateRecord& p = PlayerState;
    p.VolumeByKey = true;
    p.Muted = !p.Muted;
    if (p.Muted)
        SetVolume(0);
    else
        SetVolume(p.HostVolume == kVolumeUnknown ? 0 : p.HostVolume);
}

// F7 lowers, F8 raises the key adjustment by one step within its mode's limits.
[[gnu::noinline]] void StepAdjust(int direction) {
    PlayerStateRecord& p = PlayerState;
    p.VolumeByKey = true;
    const bool linear = PluginSettings.VolumeCurve == 0;
    const int step = linear ? 100 : 1;
    const int limit = linear ? 10000 : 255;
    int adjust = p.Adjust + direction * step;
    if (adjust > limit) adjust = limit;
    if (adjust < -limit) adjust = -limit;
    p.Adjust = adjust;
    if (p.HostVolume != kVolumeUnknown) SetVolume(p.HostVolume);
}

[[gnu::noinline]] void TogglePause() {
    if (PlayerState.Paused != 0)
        UnPause();
    else
        PauseDS();
}

[[gnu::noinline]] void OpenUserFile(const char* file, bool inGameFolder) {
    // A current folder that does not fit the 256 bytes is not read: the program then
    // starts in the process's current folder, which is that same folder.
    const uint32_t length = platform::GetCurrentDir(ScratchText, kNameSize);
    const bool read = length > 0 && length < kNameSize;
    platform::ShellOpen(HostWindow(), "open", PluginSettings.OpenUserSoftwareA, file,
                        inGameFolder && read ? ScratchText : nullptr, platform::kSwShowNormal);
}

[[gnu::noinline]] void ShowKeyHelp() {
    static char keyList[kScratchSize];
    if (platform::LoadStringResource(DllInstance(), ORV_KEY_LIST_RESOURCE, keyList,
                                     sizeof keyList) <= 0)
        keyList[0] = '\0';
    Pause();
    platform::Sleep(100);
    platform::ShowMessageBox(HostWindow(), keyList, "Key Help - OrvalinMUGENBGM -",
                             platform::kMbOk);
    platform::Sleep(900);
    UnPause();
}

// Ctrl+X: with the extended pause the worker cuts the tag while the game is parked;
// without it, or while the worker is busy, the cut runs here on the game's thread. That
// cut marks itself with its own flag, which no wait depends on: a second Ctrl+X or a
// worker started from inside its box does nothing, and Play never waits for it.
[[gnu::noinline]] void CutTagKey() {
    PlayerStateRecord& p = PlayerState;
    if (p.InlineCutActive) return;
    if (PluginSettings.UseExPause != 0 && !p.ExPauseActive) {
        ExPause::Start(ExPause::Request::TagCut);
        ExPause::AwaitWorker(); // parked here, if the worker asks now
        return;
    }
    p.InlineCutActive = true;
    Stop();
    if (platform::ShowMessageBox(HostWindow(), kTagCutQuestion, ErrorFeedback::kCaption,
                                 platform::kMbYesNo) == platform::kIdYes) {
        // A stopped graph still holds its file, shared for reading only: give the graph
        // back for the cut and make a new one after it, as the worker's cut does.
        const bool graphKept = MediaGraph.Ready;
        if (graphKept) ReleaseDS(0);
        NextTune::AwaitReleased(NextTune::kCutReleaseMs); // the worker's graphs may hold the file
        CutId3v2Tag(p.MediaFile);
        if (graphKept) RemakeGraph();
    }
    p.InlineCutActive = false;
    if (MediaGraph.Ready) {
        char file[kNameSize];
        CopyText(file, p.MediaFile, sizeof file);
        Play(file); // the media file itself, as a single file
    }
}

void KeyCommand(uintptr_t wParam) {
    switch (wParam & 0xFFFF) {
    case 0x08:
        if (PluginSettings.UseExPause != 0 && PlayerState.Playing)
            ExPause::Start(ExPause::Request::PauseBox);
        break;
    case 0x35:
        if (CtrlDown()) OpenUserFile(PluginSettings.OpenUserFileA1, true);
        break;
    case 0x36:
        if (CtrlDown()) OpenUserFile(PluginSettings.OpenUserFileA2, false);
        break;
    case 0x48:
        if (CtrlDown()) ShowKeyHelp();
        break;
    case 0x52:
        if (CtrlDown() && PlayerState.Playing) ForceInsertMusic();
        break;
    case 0x58:
        if (CtrlDown() && PlayerState.Playing) CutTagKey();
        break;
    case 0x75:
        ToggleMute();
        break;
    case 0x76:
        StepAdjust(-1);
        break;
    case 0x77:
        StepAdjust(+1);
        break;
    case 0x78:
        if (PlayerState.Playing) TogglePause();
        break;
    case 0x7A:
        SeekGraph(kPastTheEnd);
        break;
    default:
        break;
    }
}

// A sleep another program asks for, bounded: the game must never freeze for long.
[[gnu::noinline]] void SleepOnRequest(uintptr_t ms) {
    platform::Sleep(ms < kMaxSleepRequestMs ? static_cast<uint32_t>(ms) : kMaxSleepRequestMs);
}

[[gnu::noinline]] void ExPauseDone() {
    platform::BringWindowToFront(HostWindow());
    TitleNotice::ShowDeferred();
    UnPause();
}

// A tune that ends while it fades out has had its stop; otherwise the music moves on.
void TuneEnded() {
    if (FadeOut::Active())
        FinishFadeOut();
    else
        AdvanceAfterTune();
}

// Fetches every queued graph event; each end of stream moves the music on.
[[gnu::noinline]] void GraphEvents() {
    if (!MediaGraph.Ready) return;
    if (NextTune::Remote()) return NextTune::DrainEvents();
    for (;;) {
        platform::ComPtr events = MediaGraph.MediaEvent; // a tune change may replace it
        if (!events) return;
        int32_t code = 0;
        intptr_t param1 = 0, param2 = 0;
        if (platform::GetEvent(events, &code, &param1, &param2, 0) < 0) return;
        platform::FreeEventParams(events, code, param1, param2);
        if (code == platform::kEcComplete) TuneEnded();
    }
}

// The module's own messages count only when posted to the game window: other windows
// of the game's thread may use the same numbers for their own purposes.
bool ForGameWindow(const platform::HookMessage& m) {
    return m.window != nullptr && m.window == HostWindow();
}

void Dispatch(const platform::HookMessage& m) {
    switch (m.message) {
    case platform::kWmKeyDown:
        KeyCommand(m.wParam);
        break;
    case platform::kWmTimer:
        if (m.wParam == TitleNotice::kTimerId)
            TitleNotice::Tick(HostWindow());
        else if (m.wParam == FadeOut::kTimerId && ForGameWindow(m))
            StepFadeOut();
        else if (m.wParam == CrossFade::kTimerId && ForGameWindow(m))
            StepCrossFade();
        break;
    case platform::kWmDropFiles:
        AddDroppedFiles(m.wParam);
        break;
    case platform::kWmGraphNotify:
        if (!ForGameWindow(m)) break;
        if (m.wParam != NextTune::kEndedWParam)
            GraphEvents();
        else if (NextTune::TakeEnded(m.lParam))
            TuneEnded();
        break;
    case platform::kWmBringToFront:
        if (ForGameWindow(m)) platform::BringWindowToFront(HostWindow());
        break;
    case platform::kWmSleepRequest:
        if (ForGameWindow(m)) SleepOnRequest(m.wParam);
        break;
    case platform::kWmExPauseDone:
        if (ForGameWindow(m) && ExPause::TakeCurrentDone()) ExPauseDone();
        break;
    default:
        if (m.message == ExPause::ParkMessage && m.message != 0 && ForGameWindow(m))
            ExPause::ServePark(m.wParam);
        break;
    }
}

} // namespace

intptr_t KeyHook(int code, uintptr_t wParam, intptr_t lParam) {
    // A message is acted on once, when it leaves the queue: a host that peeks before it
    // removes passes each message here twice.
    if (code == 0 && wParam == platform::kPmRemove) Dispatch(platform::ReadHookMessage(lParam));
    return platform::CallNextHook(HookHandle, code, wParam, lParam);
}
