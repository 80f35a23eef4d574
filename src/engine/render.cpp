// Rendering a file into the graph and starting it: the turbo re-load, positions and
// trims, volume, notifications, Run.
#include <cstring>

#include "engine/engine.h"
#include "engine/graph_calls.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "notices/notices.h"

namespace {

using graph::Succeeded;
using platform::HResult;

constexpr HResult kEnumOutOfSync = static_cast<HResult>(0x80040203u); // VFW_E_ENUM_OUT_OF_SYNC
constexpr int kMaxFilterWalks = 32;

// The extension for the turbo check: from the last '.' of the whole name, or the whole
// name when it has none.
const char* TurboExtension(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot ? dot : name;
}

// Waits for a Run that answered S_FALSE, a little over 5 s at most, serving the messages
// other threads send meanwhile.
void RunWait() {
    const uint32_t start = platform::GetTickCount();
    while (platform::GetState(MediaGraph.MediaControl, 250) == platform::kVfwStateIntermediate) {
        platform::ServeSentMessages();
        if (platform::GetTickCount() - start > 5000u) {
            ErrorFeedback::StatusBox("Too much time was spent before completion of transit.", 0);
            return;
        }
    }
}

// The stop time, moved earlier by the entry's end trim (whole seconds); read only when
// the end trim or the loop start needs it, 0.0 otherwise.
double ApplyEndTrim() {
    const PlayerStateRecord& p = PlayerState;
    double stopTime = 0.0;
    if (p.EntryEnd == 0 && p.EntryLoop == 0) return stopTime;
    platform::get_StopTime(MediaGraph.MediaPosition, &stopTime);
    if (p.EntryEnd != 0) {
        stopTime -= static_cast<double>(p.EntryEnd / 1000);
        platform::put_StopTime(MediaGraph.MediaPosition, stopTime);
    }
    return stopTime;
}

// The graph has just rendered `name`: volume, positions, notifications, Run. The first
// play starts at the entry's beg= (whole seconds); an entry playing again right after
// itself starts at its loop start, to the millisecond.
void StartSequence(const char* name, bool sameEntryAgain, bool repeatsItself) {
    PlayerStateRecord& p = PlayerState;
    SetVolume(p.HostVolume == kVolumeUnknown ? 255 : p.HostVolume);
    const double begin = p.EntryBeg != 0 ? static_cast<double>(p.EntryBeg / 1000) : 0.0;
    const bool fromLoop = sameEntryAgain && p.EntryLoop != 0;
    if (!fromLoop) platform::put_CurrentPosition(MediaGraph.MediaPosition, begin);
    const double stopTime = ApplyEndTrim();
    // A loop start at or past the stop time would loop on nothing: the entry then plays
    // as if it had none.
    if (p.EntryLoop != 0 && LoopStartSeconds() >= stopTime) p.EntryLoop = 0;
    if (fromLoop)
        platform::put_CurrentPosition(MediaGraph.MediaPosition,
                                      p.EntryLoop != 0 ? LoopStartSeconds() : begin);
    graph::NotifyGameWindow(MediaGraph);
    const HResult run = platform::Run(MediaGraph.MediaControl);
    if (run == platform::kSFalse)
        RunWait();
    else if (run != platform::kSOk)
        ErrorFeedback::StatusBox("Unknown return value of Run function(%X)", run);
    TuneStarted(name, fromLoop && p.EntryLoop != 0 ? LoopStartSeconds() : begin);
    // The worker prepares the tune again when it can: spares made here cost the game's thread
    // two renders.
    if (p.EntryLoop != 0 && repeatsItself && !NextTune::Available())
        graph::PrepareLoopSpares(name, stopTime);
}

} // namespace

void TuneStarted(const char* name, double position) {
    PlayerStateRecord& p = PlayerState;
    MediaGraph.Rendered = true;
    MediaGraph.Empty = false;
    CopyText(p.MediaFile, name, sizeof p.MediaFile);
    TitleNotice::Show(ScratchFormat("playing : %s", p.MediaFile), PluginSettings.DispWindowTime,
                      TitleNotice::kPlayingKind);
    p.Playing = true;
    MediaGraph.Held = false;
    CrossFade::ClockStart(position);
}

int RenderTurbo(const char* name) {
    MediaGraphRecord& g = MediaGraph;
    if (!g.Rendered) return 0;
    // Removing a filter changes the graph under the enumerator, which then answers
    // "out of sync" instead of the next filter: a fresh enumerator carries on, so no old
    // filter stays behind to play beside the new tune. A graph holds a handful of
    // filters; the bound only guards against one that refuses to leave.
    for (int walk = 0; walk < kMaxFilterWalks; ++walk) {
        platform::ComPtr enumerator = nullptr;
        if (platform::EnumFilters(g.GraphBuilder, &enumerator) != platform::kSOk || !enumerator)
            break;
        platform::ComPtr filter = nullptr;
        HResult next = platform::kSOk;
        while ((next = platform::NextFilter(enumerator, &filter)) == platform::kSOk) {
            if (platform::RemoveFilter(g.GraphBuilder, filter) != 0)
                ErrorFeedback::AlwaysBox("removefilter failed");
            platform::Release(filter);
            filter = nullptr;
        }
        platform::Release(enumerator);
        if (next != kEnumOutOfSync) break;
    }
    const graph::WideName wide = graph::ToWide(name);
    const HResult hr = platform::RenderFile(g.GraphBuilder, wide.text);
    if (Succeeded(hr)) return 1;
    if (hr != platform::kErrFileNotFound)
        ErrorFeedback::StatusBox("Error occured on rendering file(%X)", hr);
    DropGraph();
    return 0;
}

int RenderAndRun(const char* name, bool sameEntryAgain, bool repeatsItself) {
    PlayerStateRecord& p = PlayerState;
    MediaGraphRecord& g = MediaGraph;
    if (g.Ready && g.Rendered && !NextTune::Remote() && PluginSettings.TurboLoadMusic != 0 &&
        SameIgnoringAsciiCase(TurboExtension(p.MediaFile), TurboExtension(name), 8)) {
        // A graph made anew after a tag cut has no filters left to remove but may have
        // been set running by the resume that followed: stop it, as below.
        if (g.Empty) platform::Stop(g.MediaControl);
        if (RenderTurbo(name) == 1) {
            StartSequence(name, sameEntryAgain, repeatsItself);
            return 1;
        }
        TitleNotice::Collapse();
        TitleNotice::Show("[ERROR] Can't render music(Turbo).", PluginSettings.DispWindowTime,
                          TitleNotice::kShowNow);
        TitleNotice::Show("[ERROR] Use normal rendering instead.", PluginSettings.DispWindowTime,
                          TitleNotice::kFollowUp);
    }

    const graph::WideName wide = graph::ToWide(name);
    bool created = true;
    if (g.Rendered) {
        ReleaseDS(0);
        created = RemakeGraph();
    } else if (!g.Ready) {
        created = RemakeGraph();
    } else {
        // A graph that never had a file started in it may still have been set running
        // (an UnPause before the first tune); filters rendered into a running graph
        // would stay silent, so stop it first.
        platform::Stop(g.MediaControl);
    }
    if (!created) {
        ErrorFeedback::FailureBox("Initialize failed");
        return 0;
    }

    const HResult hr = platform::RenderFile(g.GraphBuilder, wide.text);
    if (hr == platform::kErrFileNotFound) return 0;
    if (!Succeeded(hr)) {
        ErrorFeedback::StatusBox("Error occured on rendering file(%X)", hr);
        return -1;
    }
    StartSequence(name, sameEntryAgain, repeatsItself);
    return 1;
}
