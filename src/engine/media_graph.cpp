// The media graph: creating it, giving it back, rendering a file and starting it.
#include <cstring>
#include <utility>

#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "core/core.h"
#include "selection/selection.h"
#include "ui/ui.h"

MediaGraphRecord MediaGraph;

namespace {

using platform::HResult;

constexpr HResult kEnumOutOfSync = static_cast<HResult>(0x80040203u); // VFW_E_ENUM_OUT_OF_SYNC
constexpr int kMaxFilterWalks = 32;

bool Succeeded(HResult hr) {
    return hr == platform::kSOk || hr == platform::kSFalse;
}

void ReleaseInterface(platform::ComPtr& p) {
    if (p) {
        platform::Release(p);
        p = nullptr;
    }
}

// Gives back whatever interfaces are held, in the order ReleaseDS uses.
void ReleaseInterfaces(MediaGraphRecord& g = MediaGraph) {
    ReleaseInterface(g.BasicAudio);
    ReleaseInterface(g.MediaPosition);
    if (g.MediaEvent) {
        platform::SetNotifyWindow(g.MediaEvent, nullptr, 0, 0);
        ReleaseInterface(g.MediaEvent);
    }
    ReleaseInterface(g.MediaControl);
    ReleaseInterface(g.GraphBuilder);
}

struct WideName {
    char16_t text[kNameSize];
};

WideName ToWide(const char* name) {
    WideName w{};
    platform::AnsiToWide(name, w.text, kNameSize);
    w.text[kNameSize - 1] = u'\0';
    return w;
}

// The extension for the turbo check: from the last '.' of the whole name, or the whole
// name when it has none.
const char* TurboExtension(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot ? dot : name;
}

// Waits for a Run that answered S_FALSE, a little over 5 s at most.
void RunWait() {
    const uint32_t start = platform::GetTickCount();
    while (platform::GetState(MediaGraph.MediaControl, 250) == platform::kVfwStateIntermediate) {
        if (platform::GetTickCount() > start + 5000u) {
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

// Spare graphs of a tune that plays again in place from its loop start. A seek in the
// playing graph throws away the samples on their way to the sound device, the tune's
// last ones, and the first samples from the loop start take as long again to arrive. A
// spare graph holds the tune paused at its loop start, its first samples ready: at the
// tune's end it runs at once, while the graph that ended sounds its last samples out.
// Three graphs take turns: the one playing, the spare, and the one that ended at the
// loop point before, which is made the next spare when its samples have long been heard.
MediaGraphRecord Spares[2]; // [0] ready; [1] ready, or the tune that ended last
double SpareStopTime = 0.0; // the stop time moved by the end trim; 0.0 when untrimmed

void SwapInterfaces(MediaGraphRecord& a, MediaGraphRecord& b) {
    std::swap(a.GraphBuilder, b.GraphBuilder);
    std::swap(a.MediaControl, b.MediaControl);
    std::swap(a.MediaEvent, b.MediaEvent);
    std::swap(a.MediaPosition, b.MediaPosition);
    std::swap(a.BasicAudio, b.BasicAudio);
}

// Stops a spare, sets it to the loop start and pauses it, so that it fetches the first
// samples from there.
bool ReadySpare(MediaGraphRecord& s) {
    platform::Stop(s.MediaControl);
    if (!Succeeded(platform::put_CurrentPosition(s.MediaPosition, LoopStartSeconds())))
        return false;
    if (SpareStopTime != 0.0 && !Succeeded(platform::put_StopTime(s.MediaPosition, SpareStopTime)))
        return false;
    return Succeeded(platform::Pause(s.MediaControl));
}

// A new graph with the tune rendered, made ready. A spare is a help, never needed: its
// failures go unreported, and the tune then restarts in its own graph.
bool MakeSpare(MediaGraphRecord& s, const char16_t* name) {
    if (platform::CreateFilterGraph(&s.GraphBuilder) != platform::kSOk) {
        s.GraphBuilder = nullptr;
        return false;
    }
    static const struct {
        platform::GraphInterface which;
        platform::ComPtr MediaGraphRecord::*field;
    } kParts[] = {{platform::GraphInterface::MediaControl, &MediaGraphRecord::MediaControl},
                  {platform::GraphInterface::MediaEvent, &MediaGraphRecord::MediaEvent},
                  {platform::GraphInterface::MediaPosition, &MediaGraphRecord::MediaPosition},
                  {platform::GraphInterface::BasicAudio, &MediaGraphRecord::BasicAudio}};
    for (const auto& part : kParts) {
        if (platform::QueryGraphInterface(s.GraphBuilder, part.which, &(s.*part.field)) != 0) {
            s.*part.field = nullptr;
            return false;
        }
    }
    return Succeeded(platform::RenderFile(s.GraphBuilder, name)) && ReadySpare(s);
}

void PrepareLoopSpares(const char* name, double stopTime) {
    SpareStopTime = PlayerState.EntryEnd != 0 ? stopTime : 0.0;
    const WideName wide = ToWide(name);
    for (MediaGraphRecord& s : Spares) {
        if (!MakeSpare(s, wide.text)) {
            ReleaseLoopSpares();
            return;
        }
    }
}

// The graph has just rendered `name`: volume, positions, notifications, Run. The first
// play starts at the entry's beg= (whole seconds); an entry playing again right after
// itself starts at its loop start, to the millisecond.
void StartSequence(const char* name, bool sameEntryAgain) {
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
    if (platform::SetNotifyWindow(MediaGraph.MediaEvent, HostWindow(), platform::kWmGraphNotify,
                                  0) != 0) {
        const ErrorFeedback::Tone refused{1500, 400};
        ErrorFeedback::FailureBeeps(&refused, 1);
    }
    const HResult run = platform::Run(MediaGraph.MediaControl);
    if (run == platform::kSFalse)
        RunWait();
    else if (run != platform::kSOk)
        ErrorFeedback::StatusBox("Unknown return value of Run function(%X)", run);
    MediaGraph.Rendered = true;
    MediaGraph.Empty = false;
    CopyText(p.MediaFile, name, sizeof p.MediaFile);
    TitleNotice::Show(ScratchFormat("playing : %s", p.MediaFile), PluginSettings.DispWindowTime,
                      TitleNotice::kPlayingKind);
    p.Playing = true;
    if (p.EntryLoop != 0 && EntryRepeatsItself()) PrepareLoopSpares(name, stopTime);
}

} // namespace

bool RestartFromSpare() {
    MediaGraphRecord& g = MediaGraph;
    if (!g.Ready || !Spares[0].MediaControl || !Spares[1].MediaControl) return false;
    SwapInterfaces(g, Spares[0]);
    SwapInterfaces(Spares[0], Spares[1]);
    // The graph that ended sounds its last samples out; the hook no longer hears from it.
    platform::SetNotifyWindow(Spares[1].MediaEvent, nullptr, 0, 0);
    ReapplyVolume();
    if (platform::SetNotifyWindow(g.MediaEvent, HostWindow(), platform::kWmGraphNotify, 0) != 0) {
        const ErrorFeedback::Tone refused{1500, 400};
        ErrorFeedback::FailureBeeps(&refused, 1);
    }
    platform::Run(g.MediaControl);
    if (!ReadySpare(Spares[0])) ReleaseLoopSpares();
    return true;
}

void ReleaseLoopSpares() {
    for (MediaGraphRecord& s : Spares) {
        if (s.MediaControl) platform::Stop(s.MediaControl);
        ReleaseInterfaces(s);
    }
    SpareStopTime = 0.0;
}

double LoopStartSeconds() {
    return PlayerState.EntryLoop > 0 ? PlayerState.EntryLoop / 1000.0 : 0.0;
}

int InitDS() {
    MediaGraphRecord& g = MediaGraph;
    ReleaseInterfaces(); // what an earlier failed creation left behind
    if (platform::CreateFilterGraph(&g.GraphBuilder) != 0) {
        g.GraphBuilder = nullptr;
        ModuleShutdown();
        return 0;
    }
    // The four further interfaces, in order; the first one refused ends the creation
    // with its beeps, and all but the audio interface shut the module down.
    using Tone = ErrorFeedback::Tone;
    static const struct {
        platform::GraphInterface which;
        platform::ComPtr MediaGraphRecord::*field;
        Tone tones[2];
        int toneCount;
        bool shutDown;
    } kSteps[] = {
        {platform::GraphInterface::MediaControl, &MediaGraphRecord::MediaControl, {}, 0, true},
        {platform::GraphInterface::MediaEvent,
         &MediaGraphRecord::MediaEvent,
         {{500, 100}, {700, 100}},
         2,
         true},
        {platform::GraphInterface::MediaPosition,
         &MediaGraphRecord::MediaPosition,
         {{500, 100}},
         1,
         true},
        {platform::GraphInterface::BasicAudio,
         &MediaGraphRecord::BasicAudio,
         {{700, 200}, {500, 400}},
         2,
         false},
    };
    for (const auto& step : kSteps) {
        if (platform::QueryGraphInterface(g.GraphBuilder, step.which, &(g.*step.field)) == 0)
            continue;
        g.*step.field = nullptr;
        ErrorFeedback::FailureBeeps(step.tones, step.toneCount);
        if (step.shutDown) ModuleShutdown();
        return 0;
    }
    g.Empty = true;
    return 1;
}

void ReleaseDS(uint8_t freeEntryTable) {
    ReleaseLoopSpares();
    ReleaseInterfaces();
    if (freeEntryTable == 1) FreeEntryTable();
    MediaGraph.Ready = false;
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
    const WideName wide = ToWide(name);
    const HResult hr = platform::RenderFile(g.GraphBuilder, wide.text);
    if (Succeeded(hr)) return 1;
    if (hr != platform::kErrFileNotFound)
        ErrorFeedback::StatusBox("Error occured on rendering file(%X)", hr);
    ReleaseDS(0);
    g.Rendered = false;
    g.Ready = false;
    return 0;
}

int RenderAndRun(const char* text, bool sameEntryAgain) {
    PlayerStateRecord& p = PlayerState;
    MediaGraphRecord& g = MediaGraph;
    p.EntryBeg = 0;
    p.EntryEnd = 0;
    p.EntryLoop = 0;
    p.Hosei = 0;
    ReleaseLoopSpares(); // they hold the tune that played
    if (text[0] == '\0') return 0;
    if (p.PlayMode == -1) return 0;
    char name[kNameSize];
    if (p.PlayMode == 1)
        ParseEntry(text, name);
    else
        CopyText(name, text, sizeof name);

    if (p.Playing) {
        PauseDS();
        Stop();
        p.Playing = false;
    }

    if (g.Ready && g.Rendered && PluginSettings.TurboLoadMusic != 0 &&
        SameIgnoringAsciiCase(TurboExtension(p.MediaFile), TurboExtension(name), 8)) {
        // A graph made anew after a tag cut has no filters left to remove but may have
        // been set running by the resume that followed: stop it, as below.
        if (g.Empty) platform::Stop(g.MediaControl);
        if (RenderTurbo(name) == 1) {
            StartSequence(name, sameEntryAgain);
            return 1;
        }
        TitleNotice::Collapse();
        TitleNotice::Show("[ERROR] Can't render music(Turbo).", PluginSettings.DispWindowTime,
                          TitleNotice::kShowNow);
        TitleNotice::Show("[ERROR] Use normal rendering instead.", PluginSettings.DispWindowTime,
                          TitleNotice::kFollowUp);
    }

    const WideName wide = ToWide(name);
    bool created = true;
    if (g.Rendered) {
        ReleaseDS(0);
        g.Ready = false;
        created = InitDS() != 0;
    } else if (!g.Ready) {
        created = InitDS() != 0;
    } else {
        // A graph that never had a file started in it may still have been set running
        // (an UnPause before the first tune); filters rendered into a running graph
        // would stay silent, so stop it first.
        platform::Stop(g.MediaControl);
    }
    if (!created) {
        ErrorFeedback::RepeatFailureBeep({1800, 500}, 3, 100);
        ErrorFeedback::FailureBox("Initialize failed");
        return 0;
    }
    g.Ready = true;

    const HResult hr = platform::RenderFile(g.GraphBuilder, wide.text);
    if (hr == platform::kErrFileNotFound) return 0;
    if (!Succeeded(hr)) {
        ErrorFeedback::StatusBox("Error occured on rendering file(%X)", hr);
        return -1;
    }
    StartSequence(name, sameEntryAgain);
    return 1;
}
