// What the engine's files share about one graph: its calls' success, giving its
// interfaces back, the name it renders, and the game window it reports to.
#pragma once
#include "core/core.h"
#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"

namespace graph {

inline bool Succeeded(platform::HResult hr) {
    return hr == platform::kSOk || hr == platform::kSFalse;
}

inline void ReleaseInterface(platform::ComPtr& p) {
    if (p) {
        platform::Release(p);
        p = nullptr;
    }
}

// Gives back whatever interfaces are held, in the order ReleaseDS uses.
inline void ReleaseInterfaces(MediaGraphRecord& g) {
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

inline WideName ToWide(const char* name) {
    WideName w{};
    platform::AnsiToWide(name, w.text, kNameSize);
    w.text[kNameSize - 1] = u'\0';
    return w;
}

// The graph's events go to the game window as 0x405; a refusal beeps once.
inline void NotifyGameWindow(const MediaGraphRecord& g) {
    if (platform::SetNotifyWindow(g.MediaEvent, HostWindow(), platform::kWmGraphNotify, 0) != 0) {
        const ErrorFeedback::Tone refused{1500, 400};
        ErrorFeedback::FailureBeeps(&refused, 1);
    }
}

// A new graph with its four further interfaces, none of its failures reported. False when
// one is missing: what was made is left in `g` for the caller to release.
bool CreateQuietly(MediaGraphRecord& g);

// Spare graphs of a tune that loops (loop_spares.cpp): made when its entry starts.
void PrepareLoopSpares(const char* name, double stopTime);

} // namespace graph
