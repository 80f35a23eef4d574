// The media graph's lifetime: creating it with its four further interfaces, and giving
// it back. The graph keeps its own flags: InitDS sets Ready, ReleaseDS clears it.
#include "engine/engine.h"
#include "engine/graph_calls.h"
#include "platform/media.h"
#include "core/core.h"

MediaGraphRecord MediaGraph;

int InitDS() {
    MediaGraphRecord& g = MediaGraph;
    graph::ReleaseInterfaces(g); // what an earlier failed creation left behind
    g.Ready = false;
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
    g.Ready = true;
    return 1;
}

void ReleaseDS(uint8_t freeEntryTable) {
    ReleaseLoopSpares();
    CrossFade::End();
    NextTune::ReleaseAll();
    graph::ReleaseInterfaces(MediaGraph);
    if (freeEntryTable == 1) PlayerState.Entries.Clear();
    MediaGraph.Ready = false;
}

bool RemakeGraph() {
    if (InitDS()) return true;
    ErrorFeedback::RepeatFailureBeep({1800, 500}, 3, 100);
    return false;
}

void DropGraph() {
    ReleaseDS(0);
    MediaGraph.Rendered = false;
}

void ResetEngineState() {
    ForgetLoopSpares();
    ForgetAppliedLevel();
    FadeOut::Forget();
    NextTune::Forget();
    CrossFade::Forget();
    MediaGraph = MediaGraphRecord{};
}
