// The message hook: key commands, graph events, the notice timer and the window
// requests; every message goes on to the next hook unchanged.
#include <string>

#include "fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
constexpr int kF6 = 0x75, kF7 = 0x76, kF8 = 0x77, kF9 = 0x78, kF11 = 0x7A;
constexpr int kBackSpace = 0x08;
} // namespace

class KeyHookTest : public ModuleTest {
  protected:
    void Begin(const std::string& settings = "") {
        WriteSettings(settings);
        sim::AddFile("a.mp3", "");
        sim::AddFile("b.mp3", "");
        StartQuietly();
    }
    void BeginPlaying(const std::string& settings = "") {
        Begin(settings);
        SetVolume(128);
        ASSERT_EQ(Module.Play("a.mp3"), 0);
        sim::ClearHistory();
    }
};

TEST_F(KeyHookTest, EveryMessageGoesOnToTheNextHook) {
    BeginPlaying();
    const uint32_t messages[] = {platform::kWmKeyDown,
                                 platform::kWmTimer,
                                 platform::kWmGraphNotify,
                                 platform::kWmBringToFront,
                                 platform::kWmSleepRequest,
                                 0x0101,
                                 0x0104,
                                 0x0102};
    for (uint32_t m : messages)
        EXPECT_EQ(sim::DeliverToHook(sim::kGameWindow, m, kF6), sim::kNextHookResult) << m;
    EXPECT_EQ(sim::NextHookCalls(), 8);
}

TEST_F(KeyHookTest, NonActionCodesAreOnlyPassedOn) {
    BeginPlaying();
    const platform::HookMessage msg{sim::kGameWindow, platform::kWmKeyDown, kF6, 0};
    EXPECT_EQ(KeyHook(-1, 0, reinterpret_cast<intptr_t>(&msg)), sim::kNextHookResult);
    EXPECT_FALSE(PlayerState.Muted);
    EXPECT_EQ(sim::NextHookCalls(), 1);
}

TEST_F(KeyHookTest, MuteToggles) {
    WriteSettings("DisplayToWindowText=1\r\n");
    BeginPlaying("DisplayToWindowText=1\r\n");
    sim::PressKey(kF6, /*ctrl=*/true); // Ctrl does not matter for F6
    EXPECT_TRUE(PlayerState.Muted);
    EXPECT_EQ(sim::LastGraph().volume, -10000);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), " [Mute ON]");
    sim::PressKey(kF6);
    EXPECT_FALSE(PlayerState.Muted);
    EXPECT_EQ(sim::LastGraph().volume, -2032);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "Volume : 203  (Adjust : 0) ");
    EXPECT_EQ(PlayerState.HostVolume, 128);
}

TEST_F(KeyHookTest, UnmuteBeforeAnyHostVolumeUsesSilence) {
    Begin();
    PlayerState.Muted = true; // a listed program was running at start-up
    sim::PressKey(kF6);
    EXPECT_FALSE(PlayerState.Muted);
    EXPECT_THAT(sim::Lines("put_Volume"), ElementsAre("put_Volume -10000"));
}

struct StepCase {
    int curve, before, key, after;
    friend std::ostream& operator<<(std::ostream& os, const StepCase& c) {
        return os << "curve " << c.curve << " from " << c.before << " key " << c.key;
    }
};

class AdjustKeys : public KeyHookTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(AdjustKeys, StepWithinTheLimits) {
    const StepCase& c = GetParam();
    BeginPlaying("VolumeCurve=" + std::to_string(c.curve) + "\r\n");
    PlayerState.Adjust = c.before;
    sim::PressKey(c.key);
    EXPECT_EQ(PlayerState.Adjust, c.after);
    EXPECT_EQ(sim::Count("put_Volume"), 1);
    EXPECT_FALSE(PlayerState.VolumeByKey);
}

INSTANTIATE_TEST_SUITE_P(Steps, AdjustKeys,
                         ::testing::Values(StepCase{0, 0, kF7, -100}, StepCase{0, 0, kF8, 100},
                                           StepCase{0, -10000, kF7, -10000},
                                           StepCase{0, 9950, kF8, 10000},
                                           StepCase{0, -9950, kF7, -10000}, StepCase{1, 0, kF8, 1},
                                           StepCase{1, 255, kF8, 255}, StepCase{1, -255, kF7, -255},
                                           StepCase{1, -254, kF7, -255}, StepCase{3, 10, kF7, 9}));

TEST_F(KeyHookTest, AdjustmentBeforeAnyHostVolumeWaitsForTheHost) {
    Begin("DisplayToWindowText=1\r\n");
    sim::PressKey(kF8);
    EXPECT_EQ(PlayerState.Adjust, 100);
    EXPECT_FALSE(sim::Called("put_Volume"));
    EXPECT_TRUE(PlayerState.VolumeByKey);
    SetVolume(255); // the host's next call shows the notice
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "Volume : over 255  (Adjust : +2) ");
}

TEST_F(KeyHookTest, PauseKeyTogglesOnlyWhilePlaying) {
    BeginPlaying("PauseMode=3\r\n");
    sim::PressKey(kF9);
    EXPECT_EQ(Module.IsPaused(), 1);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Paused);
    sim::PressKey(kF9); // resumes by the pause mode, which leaves the graph paused
    EXPECT_EQ(Module.IsPaused(), 0);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Paused);
    Module.Stop();
    sim::ClearHistory();
    sim::PressKey(kF9);
    EXPECT_FALSE(sim::Called("Pause"));
}

TEST_F(KeyHookTest, NextTuneJumpsPastTheEnd) {
    BeginPlaying();
    sim::PressKey(kF11);
    EXPECT_THAT(sim::Lines("put_CurrentPosition"), ElementsAre("put_CurrentPosition 99999"));
    EXPECT_EQ(sim::LastGraph().eventsQueued, 1); // the graph reports the end
    sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
    EXPECT_THAT(sim::Lines("put_CurrentPosition"),
                ElementsAre("put_CurrentPosition 99999", "put_CurrentPosition 0"));
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
}

TEST_F(KeyHookTest, NextTuneWithoutAGraphDoesNothing) {
    Begin();
    ReleaseDS(0);
    sim::ClearHistory();
    sim::PressKey(kF11);
    sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
    EXPECT_THAT(sim::Lines("put_CurrentPosition"), IsEmpty());
    EXPECT_FALSE(sim::Called("GetEvent"));
}

TEST_F(KeyHookTest, NextTuneInAListMovesOn) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\n");
    sim::AddFile("l.txt", "[orvalin_bgmlist]\r\n[list]\r\na.mp3\r\nb.mp3\r\n");
    Module.Play("l.txt");
    sim::PressKey(kF11);
    sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
    EXPECT_EQ(PlayerState.CurrentEntry, 1);
    EXPECT_STREQ(PlayerState.MediaFile, "b.mp3");
}

TEST_F(KeyHookTest, EveryQueuedEventIsFetchedAndFreed) {
    BeginPlaying("ChangeSoundOnLoop=0\r\n");
    sim::PushGraphEvent(3);
    sim::PushGraphEvent(1);
    sim::PushGraphEvent(14);
    sim::PushGraphEvent(1);
    sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
    EXPECT_EQ(sim::FreedEvents(), 4);
    EXPECT_EQ(sim::Count("Run"), 2); // one restart per end of stream
    EXPECT_EQ(sim::Count("GetEvent"), 5);
    EXPECT_EQ(sim::LastGraph().eventsQueued, 0);
}

TEST_F(KeyHookTest, EventsAfterATuneChangeComeFromTheNewGraph) {
    Begin("InitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\n");
    sim::AddFile("l.txt", "[orvalin_bgmlist]\r\n[list]\r\na.mp3\r\nb.mp3\r\n");
    Module.Play("l.txt");
    sim::PushGraphEvent(1);
    sim::PushGraphEvent(1);
    sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
    // The first end changed the tune and the graph: the second event died with the old one.
    EXPECT_EQ(PlayerState.CurrentEntry, 1);
    EXPECT_EQ(sim::FreedEvents(), 1);
}

TEST_F(KeyHookTest, LettersNeedCtrl) {
    BeginPlaying();
    for (int key : {0x35, 0x36, 0x48, 0x52, 0x58})
        sim::PressKey(key);
    EXPECT_THAT(sim::ShellCalls(), IsEmpty());
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    EXPECT_TRUE(PlayerState.Playing);
}

TEST_F(KeyHookTest, CommandsThatNeedATuneDoNothingWithoutOne) {
    Begin("UseExPause=1\r\n");
    sim::PressKey(kBackSpace);
    sim::PressKey(0x58, true);
    sim::PressKey(0x52, true);
    sim::PressKey(kF9);
    EXPECT_EQ(sim::ThreadsStarted(), 0);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    EXPECT_FALSE(sim::Called("Pause"));
}

TEST_F(KeyHookTest, OpenUserFiles) {
    Begin("OpenUserSoftwareA=editor.exe\r\nOpenUserFileA1=data\\a1.cfg\r\n");
    sim::SetCurrentDir("D:\\Games\\Fight");
    sim::PressKey(0x35, true);
    sim::PressKey(0x36, true);
    ASSERT_EQ(sim::ShellCalls().size(), 2u);
    const auto& a1 = sim::ShellCalls()[0];
    EXPECT_EQ(a1.owner, sim::kGameWindow);
    EXPECT_EQ(a1.verb, "open");
    EXPECT_EQ(a1.file, "editor.exe");
    EXPECT_EQ(a1.parameters, "data\\a1.cfg");
    EXPECT_EQ(a1.directory, "D:\\Games\\Fight");
    EXPECT_EQ(a1.show, platform::kSwShowNormal);
    const auto& a2 = sim::ShellCalls()[1];
    EXPECT_EQ(a2.parameters, "plugins\\OrvalinMUGENBGM.ini");
    EXPECT_FALSE(a2.hasDirectory);
    EXPECT_EQ(sim::Count("GetCurrentDirectory"), 2);
}

TEST_F(KeyHookTest, KeyHelpPausesShowsTheListAndResumes) {
    BeginPlaying("PauseMode=1\r\n");
    sim::PressKey(0x48, true);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].caption, "Key Help - OrvalinMUGENBGM -");
    EXPECT_EQ(sim::Boxes()[0].text,
              "<<<< Key List - OrvalinMUGENBGM >>>>\r\nF6 : Mute\r\nF7 : Volume down\r\n"
              "F8 : Volume up\r\nF9 : Pause / Resume BGM\r\nF11 : Next BGM\r\n"
              "BackSpace : Pause(if enabled)\r\n"
              "Ctrl + X : Cut ID3tag of Current Music\r\n"
              "Ctrl + R : Allocate new txt file to stages unset bgmusic\r\n"
              "Ctrl + 5 : Open user fileA1\r\nCtrl + 6 : Open user fileA2\r\n"
              "Ctrl + H : Show this Key List");
    const int pauseAt = sim::Find("Pause");
    const int boxAt = sim::Find("MessageBox");
    EXPECT_TRUE(pauseAt >= 0 && pauseAt < sim::Find("Sleep 100") &&
                sim::Find("Sleep 100") < boxAt && boxAt < sim::Find("Sleep 900") &&
                sim::Find("Sleep 900") < sim::Find("Run"))
        << sim::LogText();
    EXPECT_EQ(Module.IsPaused(), 0);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
}

TEST_F(KeyHookTest, KeyHelpWorksWithoutATune) {
    Begin();
    sim::PressKey(0x48, true);
    EXPECT_EQ(sim::Boxes().size(), 1u);
}

TEST_F(KeyHookTest, NoticeTimerTicksOnlyForItsIdentifier) {
    Begin("DisplayToWindowText=1\r\nDispWindowTime=0\r\n");
    TitleNotice::Show("hello", 0, 0);
    sim::DeliverToHook(sim::kGameWindow, platform::kWmTimer, 12345);
    EXPECT_EQ(TitleNotice::Queue.Count, 1);
    sim::DeliverToHook(sim::kGameWindow, platform::kWmTimer, TitleNotice::kTimerId);
    EXPECT_EQ(TitleNotice::Queue.Count, 0);
}

TEST_F(KeyHookTest, WindowRequests) {
    Begin();
    const uint32_t before = sim::Now();
    sim::DeliverToHook(sim::kGameWindow, platform::kWmSleepRequest, 500);
    EXPECT_EQ(sim::Now() - before, 500u);
    sim::DeliverToHook(sim::kGameWindow, platform::kWmBringToFront);
    EXPECT_EQ(sim::Count("BringWindowToFront"), 1);
}

// A host that peeks before it removes passes each message twice: only the removal acts,
// so F6 toggles once and a drop is finished once.
TEST_F(KeyHookTest, PeekedMessagesAreOnlyPassedOn) {
    BeginPlaying("DisplayToWindowText=1\r\n");
    const platform::HookMessage f6{sim::kGameWindow, platform::kWmKeyDown, kF6, 0};
    const uintptr_t drop = sim::MakeDrop({"C:\\Game\\b.mp3"});
    const platform::HookMessage dropped{sim::kGameWindow, platform::kWmDropFiles, drop, 0};
    for (const auto* m : {&f6, &dropped}) // peeked
        EXPECT_EQ(KeyHook(0, 0, reinterpret_cast<intptr_t>(m)), sim::kNextHookResult);
    EXPECT_FALSE(PlayerState.Muted);
    EXPECT_FALSE(sim::DropFinished(drop));
    for (const auto* m : {&f6, &dropped}) // removed
        KeyHook(0, platform::kPmRemove, reinterpret_cast<intptr_t>(m));
    EXPECT_TRUE(PlayerState.Muted);
    EXPECT_TRUE(sim::DropFinished(drop));
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "Current Music is not txt Format.");
    EXPECT_EQ(sim::NextHookCalls(), 4);
}

// A resume whose graph can't be started again shuts the module down from inside the hook:
// the messages queued behind the request pass no hook, and nothing is released twice.
TEST_F(KeyHookTest, ShutDownInsideTheHookLeavesQueuedMessagesAlone) {
    BeginPlaying("PauseMode=5\r\n");
    Module.Pause();
    sim::Script(sim::Op::QueryMediaEvent, {platform::kENoInterface});
    platform::PostToWindow(sim::kGameWindow, platform::kWmExPauseDone, 0, 0);
    platform::PostToWindow(sim::kGameWindow, ExPause::ParkMessage, 1, 0);
    platform::PostToWindow(sim::kGameWindow, platform::kWmKeyDown, kF6, 0);
    EXPECT_EQ(sim::DeliverPostedMessages(), 3);
    EXPECT_EQ(sim::HooksInstalled(), 0);
    EXPECT_EQ(sim::NextHookCalls(), 1); // the request's own
}
