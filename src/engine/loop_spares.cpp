// Spare graphs of a tune that plays again in place from its loop start.
#include <utility>

#include "engine/engine.h"
#include "engine/graph_calls.h"
#include "platform/media.h"
#include "core/core.h"

using graph::Succeeded;

namespace {

// Spare graphs of a tune that plays again in place from its loop start. A seek in the
// playing graph throws away the samples on their way to the sound device, the tune's
// last ones, and the first samples from the loop start take as long again to arrive. A
// spare graph holds the tune paused at its loop start, its first samples ready: at the
// tune's end it runs at once, while the graph that ended sounds its last samples out.
// Three graphs take turns: the one playing, the spare, and the one that ended at the
// loop point before, which is made the next spare when its samples have long been heard.
struct LoopSpares {
    MediaGraphRecord graphs[2]; // [0] ready; [1] ready, or the tune that ended last
    double stopTime = 0.0;      // the stop time moved by the end trim; 0.0 when untrimmed
};
LoopSpares Spares;

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
    if (Spares.stopTime != 0.0 &&
        !Succeeded(platform::put_StopTime(s.MediaPosition, Spares.stopTime)))
        return false;
    return Succeeded(platform::Pause(s.MediaControl));
}

// A new graph with the tune rendered, made ready. A spare is a help, never needed: its
// failures go unreported, and the tune then restarts in its own graph.
bool MakeSpare(MediaGraphRecord& s, const char16_t* name) {
    return graph::CreateQuietly(s) && Succeeded(platform::RenderFile(s.GraphBuilder, name)) &&
           ReadySpare(s);
}

} // namespace

bool graph::CreateQuietly(MediaGraphRecord& s) {
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
    return true;
}

void graph::PrepareLoopSpares(const char* name, double stopTime) {
    Spares.stopTime = PlayerState.EntryEnd != 0 ? stopTime : 0.0;
    const graph::WideName wide = graph::ToWide(name);
    for (MediaGraphRecord& s : Spares.graphs) {
        if (!MakeSpare(s, wide.text)) {
            ReleaseLoopSpares();
            return;
        }
    }
}

bool RestartFromSpare() {
    MediaGraphRecord& g = MediaGraph;
    if (NextTune::Remote() || !g.Ready || !Spares.graphs[0].MediaControl ||
        !Spares.graphs[1].MediaControl)
        return false;
    SwapInterfaces(g, Spares.graphs[0]);
    SwapInterfaces(Spares.graphs[0], Spares.graphs[1]);
    // The graph that ended sounds its last samples out; the hook no longer hears from it.
    platform::SetNotifyWindow(Spares.graphs[1].MediaEvent, nullptr, 0, 0);
    ReapplyVolume();
    graph::NotifyGameWindow(g);
    platform::Run(g.MediaControl);
    if (!ReadySpare(Spares.graphs[0])) ReleaseLoopSpares();
    return true;
}

void ForgetLoopSpares() {
    Spares = LoopSpares{};
}

void ReleaseLoopSpares() {
    for (MediaGraphRecord& s : Spares.graphs) {
        if (s.MediaControl) platform::Stop(s.MediaControl);
        graph::ReleaseInterfaces(s);
    }
    Spares.stopTime = 0.0;
}

double LoopStartSeconds() {
    return PlayerState.EntryLoop > 0 ? PlayerState.EntryLoop / 1000.0 : 0.0;
}
