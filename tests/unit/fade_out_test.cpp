// The fade-out of the game's stop: the level ramps down while the game goes on, and the
// stop is made at the ramp's end or by whatever comes first.
#include <functional>
#include <string>

#include "fixture.h"
#include "platform/media.h"
#include "platform/window.h"

class FadeOutTest : public ModuleTest {
  protected:
    // a.mp3 playing at host volume 128 (-2032), the game's stop given at tick `start`.
    void FadingFrom(uint32_t start, const std::string& settings = "FadeOutOnStop=1000\r\n") {
        WriteSettings(settings);
        sim::AddFile("a.mp3", "");
        StartModule();
        SetVolume(128);
        ASSERT_EQ(Module.Play("a.mp3"), 0);
        sim::SetTickCount(start);
        sim::ClearHistory();
        Module.Stop();
    }
    void Tick(uint32_t at) {
        sim::SetTickCount(at);
        sim::DeliverToHook(sim::kGameWindow, platform::kWmTimer, FadeOut::kTimerId);
    }
    bool TimerRuns() { return sim::TimerRunning(sim::kGameWindow, FadeOut::kTimerId); }
};

TEST_F(FadeOutTest, TheLevelFallsLinearlyInAmplitudeAndTheStopComesAtTheEnd) {
    FadingFrom(10000);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
    EXPECT_TRUE(TimerRuns());
    EXPECT_EQ(sim::Count("Stop"), 0);
    Tick(10500); // half the amplitude: 6.02 dB down
    EXPECT_EQ(sim::LastGraph().volume, -2032 - 602);
    Tick(10900); // a tenth: 20 dB down
    EXPECT_EQ(sim::LastGraph().volume, -2032 - 2000);
    SetVolume(255); // the volume rules apply under the ramp
    EXPECT_EQ(sim::LastGraph().volume, 0 - 2000);
    Tick(11000);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Stopped);
    EXPECT_FALSE(TimerRuns());
    SetVolume(255);
    EXPECT_EQ(sim::LastGraph().volume, 0);
}

struct FadeEnd {
    const char* name;
    std::function<void()> act;
    sim::GraphState after;
};

class WhatEndsAFade : public FadeOutTest, public ::testing::WithParamInterface<FadeEnd> {};

TEST_P(WhatEndsAFade, TheStopIsMadeAtOnce) {
    FadingFrom(10000);
    sim::SetTickCount(10100);
    GetParam().act();
    EXPECT_FALSE(TimerRuns());
    EXPECT_EQ(sim::Count("Stop"), 1);
    EXPECT_EQ(sim::LastGraph().state, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Events, WhatEndsAFade,
    ::testing::Values(FadeEnd{"NewTune", [] { Module.Play("a.mp3"); }, sim::GraphState::Running},
                      FadeEnd{"TuneEnds",
                              [] {
                                  sim::PushGraphEvent(1);
                                  sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
                              },
                              sim::GraphState::Stopped},
                      FadeEnd{"Pause", [] { Module.Pause(); }, sim::GraphState::Stopped},
                      FadeEnd{"Quit", [] { Module.Quit(); }, sim::GraphState::Stopped}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FadeOutTest, WithoutTheSettingOrWhilePausedTheStopIsImmediate) {
    FadingFrom(10000, "");
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Stopped);
    EXPECT_FALSE(TimerRuns());

    Module.Play("a.mp3");
    PluginSettings.FadeOutOnStop = 1000;
    Module.Pause();
    Module.Stop();
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Stopped);
    EXPECT_FALSE(TimerRuns());
}
