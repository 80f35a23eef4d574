// The game's thread never waits without a bound, never waits for what only it could end,
// and acts on the module's own messages only when they are posted to the game window.
// Suites named Threads run in the ThreadSanitizer build too.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "fixture.h"
#include "platform/system.h"

namespace {
constexpr int kBackSpace = 0x08, kX = 0x58;
const platform::Hwnd kOtherWindow = reinterpret_cast<platform::Hwnd>(uintptr_t{0x20020});
const char* const kPausedCaption = "Paused - by OrvalinMUGENBGM";

int PausedBoxes() {
    int n = 0;
    for (const auto& box : sim::Boxes())
        n += box.caption == kPausedCaption;
    return n;
}

// Waits in real time for `done`, at most five seconds.
template <class Done> bool WaitFor(Done done) {
    for (int i = 0; i < 5000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}
} // namespace

struct PrivateMessageCase {
    const char* name;
    platform::Hwnd window;
    uint32_t message;
    uintptr_t wParam;
    std::vector<std::string> expected; // the calls it leads to, of those below
};

class PrivateMessages : public ModuleTest,
                        public ::testing::WithParamInterface<PrivateMessageCase> {};

TEST_P(PrivateMessages, CountOnlyOnTheGameWindow) {
    const PrivateMessageCase& c = GetParam();
    sim::AddFile("a.mp3", "");
    StartModule();
    ASSERT_EQ(Module.Play("a.mp3"), 0);
    Module.Pause();
    sim::ClearHistory();
    sim::DeliverToHook(c.window, c.message, c.wParam);
    std::vector<std::string> acts;
    for (const char* act : {"Sleep", "BringWindowToFront", "GetEvent", "Run"})
        if (sim::Called(act)) acts.push_back(act);
    EXPECT_EQ(acts, c.expected);
    if (c.message == platform::kWmSleepRequest && !acts.empty()) {
        EXPECT_EQ(sim::Lines("Sleep"),
                  std::vector<std::string>{"Sleep " +
                                           std::to_string(std::min<uintptr_t>(c.wParam, 2000))});
    }
}

const PrivateMessageCase kPrivateMessages[] = {
    {"SleepOnTheGameWindow", sim::kGameWindow, platform::kWmSleepRequest, 500, {"Sleep"}},
    {"LongSleepIsBounded", sim::kGameWindow, platform::kWmSleepRequest, 0xFFFFFFFFu, {"Sleep"}},
    {"SleepElsewhere", kOtherWindow, platform::kWmSleepRequest, 500, {}},
    {"SleepAsAThreadMessage", nullptr, platform::kWmSleepRequest, 500, {}},
    {"FrontOnTheGameWindow",
     sim::kGameWindow,
     platform::kWmBringToFront,
     0,
     {"BringWindowToFront"}},
    {"FrontElsewhere", kOtherWindow, platform::kWmBringToFront, 0, {}},
    {"GraphEventsElsewhere", kOtherWindow, platform::kWmGraphNotify, 0, {}},
    {"ResumeOnTheGameWindow",
     sim::kGameWindow,
     platform::kWmExPauseDone,
     0,
     {"BringWindowToFront", "Run"}},
    {"ResumeElsewhere", kOtherWindow, platform::kWmExPauseDone, 0, {}},
};
INSTANTIATE_TEST_SUITE_P(Messages, PrivateMessages, ::testing::ValuesIn(kPrivateMessages),
                         [](const auto& tp) { return std::string(tp.param.name); });

// Ctrl+X's own cut asks on the game's thread; its box's message loop takes the end of an
// earlier extended pause, which with PauseMode 5 plays the tune again. That Play must not
// wait for the cut that is asking.
TEST_F(ModuleTest, InlineCutBoxServesAResumeWithoutWaitingForItself) {
    WriteSettings("PauseMode=5\r\n");
    sim::AddFile("a.mp3", "ID3 tune");
    StartModule();
    ASSERT_EQ(Module.Play("a.mp3"), 0);
    sim::PumpInBoxes(true);
    sim::AnswerBoxes({platform::kIdNo});
    platform::PostToWindow(sim::kGameWindow, platform::kWmExPauseDone, 0, 0);
    sim::PressKey(kX, /*ctrl=*/true);
    EXPECT_TRUE(PlayerState.Playing);
    EXPECT_FALSE(PlayerState.InlineCutActive);
    EXPECT_EQ(sim::FileText("a.mp3"), "ID3 tune");
}

class GameThreadWaitsThreads : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        sim::SetRealThreads(true);
    }
    void TearDown() override {
        sim::ReleaseBoxes();
        sim::HoldBoxes(false);
        sim::JoinThreads();
        sim::DeliverPostedMessages();
        ModuleTest::TearDown();
    }
    // The extended pause whose park the game never takes: its box is up (held open)
    // while the game runs on.
    void PauseBoxWithoutThePark(const std::string& settings) {
        WriteSettings("UseExPause=1\r\n" + settings);
        sim::AddFile("a.mp3", "ID3 tune");
        sim::AddFile("b.mp3", "");
        StartQuietly();
        ASSERT_EQ(Module.Play("a.mp3"), 0);
        sim::HoldBoxes(true, /*gameThreadToo=*/false);
        sim::PressKey(kBackSpace);
        ASSERT_TRUE(WaitFor([] { return sim::BoxesOpen() == 1; }));
    }
};

// The game's next Play does not wait for a box it cannot close, answers sent messages,
// and the late end of that pause does nothing to the new tune.
TEST_F(GameThreadWaitsThreads, PlayDoesNotWaitForAnUnparkedPauseBox) {
    PauseBoxWithoutThePark("PauseMode=5\r\n");
    std::atomic<bool> played{false};
    std::thread closer([&played] { // a user who closes the box after a while
        for (int i = 0; i < 3000 && !played; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sim::ReleaseBoxes();
    });
    EXPECT_EQ(Module.Play("b.mp3"), 0);
    EXPECT_EQ(sim::BoxesOpen(), 1) << "Play waited for the box";
    played = true;
    closer.join();
    sim::JoinThreads();
    sim::DeliverPostedMessages(); // the late end of the pause
    EXPECT_EQ(sim::Count("RenderFile b.mp3"), 1);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
}

// Ctrl+X while that box is up cuts on the game's thread and leaves the worker's flag
// alone: a BackSpace then starts no second worker beside the first.
TEST_F(GameThreadWaitsThreads, OneWorkerAtATimeAfterAnInlineCut) {
    PauseBoxWithoutThePark("");
    sim::AnswerBoxes({platform::kIdNo});
    sim::PressKey(kX, /*ctrl=*/true);
    EXPECT_TRUE(PlayerState.ExPauseActive);
    sim::PressKey(kBackSpace);
    WaitFor([] { return sim::ThreadsRunning() <= 1 && !PlayerState.InlineCutActive; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sim::ThreadsRunning(), 1);
    EXPECT_EQ(PausedBoxes(), 1);
}
