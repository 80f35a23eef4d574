// The moment of a prepared change, and the cross-fade between the tunes of a list or folder.
// A tune's end event comes when its position reaches the stop time, while its last samples
// are still on their way to the sound device, and a paused graph's first samples take a
// little longer to get there: the prepared tune starts kLeadMs before the end so that it
// follows without a break. With a cross-fade it starts that much earlier again, and for the
// set time both sound, the old one falling and the new one rising, each linear in
// amplitude. A timer on the game window first watches for the moment, then steps the ramp:
// the game's thread never waits for either.
#include <cmath>

#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"

namespace {

constexpr int kSilence = -10000;

struct CrossFadeState {
    bool watching = false;
    bool active = false;
    uint32_t lengthMs = 0;
    uint32_t startTick = 0;
    int oldLevel = 0; // the level the tune that retires had when the fade began
};
CrossFadeState Fade;

// Where the playing tune stands, kept from the module's own calls on its graph. The
// graph's own position is not read: under Wine it runs ahead after pauses.
struct TuneClock {
    bool running = false;
    double from = 0.0;    // the position when it last ran or stood
    uint32_t runTick = 0; // when it last ran
    double saved = 0.0;   // PauseMode 2's mark
};
TuneClock Clock;

// Hundredths of a decibel for the amplitude `gain` (0 to 1).
int GainOffset(double gain) {
    if (gain <= 0.0) return kSilence;
    const double hundredthsDb = 2000.0 * std::log10(gain);
    return hundredthsDb < kSilence ? kSilence : static_cast<int>(hundredthsDb);
}

double Progress() {
    const uint32_t elapsed = platform::GetTickCount() - Fade.startTick;
    return elapsed >= Fade.lengthMs ? 1.0 : static_cast<double>(elapsed) / Fade.lengthMs;
}

int Lowered(int level, int offset) {
    const int lowered = level + offset;
    return lowered < kSilence ? kSilence : lowered;
}

} // namespace

namespace CrossFade {

void Watch(uint32_t lengthMs) {
    const platform::Hwnd window = HostWindow();
    if (Fade.active) return; // the ramp's end watches anew
    End();
    if (!window) return;
    Fade.watching = true;
    Fade.lengthMs = lengthMs;
    platform::StartWindowTimer(window, kTimerId, kWatchMs);
}

bool Due() {
    if (!Fade.watching || Fade.active || !MediaGraph.Ready) return false;
    double stopTime = 0.0;
    if (NextTune::Remote())
        stopTime = NextTune::StopTime();
    else
        platform::get_StopTime(MediaGraph.MediaPosition, &stopTime);
    const double position = ClockPosition();
    if (stopTime <= 0.0) return false;
    const double wait = stopTime - position - (Fade.lengthMs + kLeadMs) / 1000.0;
    if (wait <= 0.0) return true;
    // Close to it: the next tick comes at the moment itself.
    if (wait < 2.0 * kWatchMs / 1000.0)
        platform::StartWindowTimer(HostWindow(), kTimerId,
                                   static_cast<uint32_t>(wait * 1000.0) + 1);
    return false;
}

uint32_t Length() {
    return Fade.lengthMs;
}

void Unwatch() {
    if (!Fade.watching) return;
    Fade.watching = false;
    platform::StopWindowTimer(HostWindow(), kTimerId);
}

void Start(int oldLevel) {
    Fade.watching = false;
    Fade.active = true;
    Fade.startTick = platform::GetTickCount();
    Fade.oldLevel = oldLevel;
    platform::StartWindowTimer(HostWindow(), kTimerId, kStepMs);
}

bool Active() {
    return Fade.active;
}

int Level(int level) {
    return Fade.active ? Lowered(level, GainOffset(Progress())) : level;
}

bool Step() {
    if (!Fade.active) return false;
    const double progress = Progress();
    NextTune::RetiredLevel(Lowered(Fade.oldLevel, GainOffset(1.0 - progress)));
    ReapplyVolume();
    return progress >= 1.0;
}

void End() {
    const bool timer = Fade.watching || Fade.active;
    const bool ramp = Fade.active;
    Fade = CrossFadeState{};
    if (timer) platform::StopWindowTimer(HostWindow(), kTimerId);
    if (!ramp) return;
    NextTune::RetiredLevel(kSilence);
    ReapplyVolume(); // the new tune at its whole level
}

void Forget() {
    Fade = CrossFadeState{};
    Clock = TuneClock{};
}

void ClockStart(double position) {
    Clock.running = true;
    Clock.from = position;
    Clock.runTick = platform::GetTickCount();
}

void ClockHold() {
    Clock.from = ClockPosition();
    Clock.running = false;
}

void ClockRun() {
    if (!Clock.running) ClockStart(Clock.from);
}

void ClockSeek(double position) {
    if (Clock.running)
        ClockStart(position);
    else
        Clock.from = position;
}

void ClockSave() {
    Clock.saved = ClockPosition();
}

void ClockRestore() {
    ClockSeek(Clock.saved);
}

double ClockPosition() {
    if (!Clock.running) return Clock.from;
    return Clock.from + (platform::GetTickCount() - Clock.runTick) / 1000.0;
}

} // namespace CrossFade
