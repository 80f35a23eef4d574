// The fade-out of a host's stop: the tune keeps playing while its level falls, linear in
// amplitude, over the set time; a timer on the game window steps the ramp, so the game's
// thread never waits for it.
#include <cmath>

#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"

namespace {

constexpr int kSilence = -10000;

struct Ramp {
    bool active = false;
    uint32_t startTick = 0;
    uint32_t lengthMs = 0;
};
Ramp Fade;

} // namespace

namespace FadeOut {

bool Start(uint32_t lengthMs) {
    const platform::Hwnd window = HostWindow();
    if (lengthMs == 0 || !window || !MediaGraph.Ready) return false;
    Fade = {true, platform::GetTickCount(), lengthMs};
    platform::StartWindowTimer(window, kTimerId, kStepMs);
    return true;
}

bool Active() {
    return Fade.active;
}

int Offset() {
    if (!Fade.active) return 0;
    const uint32_t elapsed = platform::GetTickCount() - Fade.startTick;
    if (elapsed >= Fade.lengthMs) return kSilence;
    const double gain = 1.0 - static_cast<double>(elapsed) / Fade.lengthMs;
    const double hundredthsDb = 2000.0 * std::log10(gain);
    return hundredthsDb < kSilence ? kSilence : static_cast<int>(hundredthsDb);
}

int Level(int level) {
    if (!Fade.active) return level; // as the volume rules give it, refusals included
    const int faded = level + Offset();
    return faded < kSilence ? kSilence : faded;
}

bool Step() {
    if (!Fade.active) return false;
    if (platform::GetTickCount() - Fade.startTick >= Fade.lengthMs) return true;
    ReapplyVolume();
    return false;
}

void End() {
    if (!Fade.active) return;
    Fade = Ramp{};
    platform::StopWindowTimer(HostWindow(), kTimerId);
}

void Forget() {
    Fade = Ramp{};
}

} // namespace FadeOut
