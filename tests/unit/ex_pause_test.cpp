// The extended pause and the tag-cut key, with the worker as a real second thread: the
// test's thread plays the game's thread and takes what was posted to the game window.
// Named Threads so that the ThreadSanitizer build runs them.
#include <cstring>
#include <string>

#include "fixture.h"
#include "platform/system.h"

using ::testing::ElementsAre;

namespace {
constexpr int kBackSpace = 0x08, kX = 0x58;
const std::string kKeyList = ORV_KEY_LIST;
const char* const kQuestion =
    "Do you want to remove ID3v2 tag?\nBackup will be Created automatically.";

// An mp3 with a version 3 tag of 20 bytes after its header.
std::string TaggedTune() {
    return std::string("ID3\x03\x00\x00\x00\x00\x00\x14", 10) + std::string(20, 'T') + "MUSIC";
}
} // namespace

class ExPauseThreads : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        sim::SetRealThreads(true);
    }
    void TearDown() override {
        sim::JoinThreads();
        ModuleTest::TearDown();
    }
    void BeginPlaying(const std::string& settings, const char* name = "a.mp3") {
        WriteSettings("DisplayToWindowText=1\r\n" + settings);
        sim::AddFile("a.mp3", TaggedTune());
        sim::AddFile("b.mp3", "");
        sim::AddFile("list.txt", "[Orvalin_BGMList]\r\n[List]\r\na.mp3\r\nb.mp3");
        StartQuietly();
        ASSERT_GE(Module.Play(name), 0);
        sim::ClearHistory();
    }
    // The game's message loop: hands whatever reaches the game window to the hook until
    // the worker has ended and nothing is left to take.
    void PumpUntilWorkerEnds() {
        platform::HookMessage m{};
        for (int round = 0; round < 100000; ++round) {
            if (sim::TakePostedMessage(&m)) {
                if (sim::HooksInstalled() > 0) // a failed graph creation shut the module down
                    sim::DeliverToHook(m.window, m.message, m.wParam, m.lParam);
                continue;
            }
            if (sim::ThreadsRunning() == 0 && !PlayerState.ExPauseActive) return;
            platform::Sleep(1);
        }
        FAIL() << "the worker never ended";
    }
    static bool GraphCallsOnlyOnTheGameThread() {
        const auto threads = sim::GraphCallThreads();
        return threads.size() == 1 && *threads.begin() == sim::kHostThreadId;
    }
};

// What a player sees: the box, the music paused behind it, the game in front afterwards;
// the game's thread is parked, never suspended, and makes every graph call.
TEST_F(ExPauseThreads, PauseBoxFreezesAtASafePoint) {
    const struct {
        const char* setting;
        std::string text;
    } cases[] = {{"UseExPause=1", kKeyList}, {"UseExPause=2", "Paused... Press OK to continue"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        sim::Reset();
        sim::SetStringResource(ORV_KEY_LIST_RESOURCE, ORV_KEY_LIST);
        sim::SetRealThreads(true);
        BeginPlaying(std::string(c.setting) + "\r\n");
        sim::PressKey(kBackSpace);
        PumpUntilWorkerEnds();
        ASSERT_EQ(sim::Boxes().size(), 1u);
        const sim::Box box = sim::Boxes()[0];
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.caption, "Paused - by OrvalinMUGENBGM");
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.flags, platform::kMbOk | platform::kMbTopmost | platform::kMbSetForeground);
        EXPECT_NE(box.thread, sim::kHostThreadId);
        // Paused before the box, resumed after the posted end, brought to the front.
        const int paused = sim::Find("Pause");
        const int shown = sim::Find("MessageBox");
        EXPECT_LT(paused, shown);
        EXPECT_LT(shown, sim::Find("PostMessage 0x492"));
        EXPECT_LT(sim::Find("PostMessage 0x492"), sim::Find("BringWindowToFront"));
        EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
        EXPECT_EQ(PlayerState.Paused, 0);
        EXPECT_GT(sim::SentMessageServes(sim::kHostThreadId), 0);
        EXPECT_TRUE(GraphCallsOnlyOnTheGameThread());
        QuitModule();
    }
}

TEST_F(ExPauseThreads, ASecondStartWhileAtWorkChangesNothing) {
    BeginPlaying("UseExPause=1\r\n");
    PlayerState.ExPauseActive = true; // the first one at work
    EXPECT_EQ(
        ExPauseThread(reinterpret_cast<void*>(static_cast<intptr_t>(ExPause::Request::PauseBox))),
        1u);
    EXPECT_TRUE(PlayerState.ExPauseActive);
    EXPECT_THAT(sim::Boxes(), ::testing::IsEmpty());
    EXPECT_THAT(sim::PostedMessages(), ::testing::IsEmpty());
    EXPECT_EQ(PlayerState.Paused, 0);
    PlayerState.ExPauseActive = false;
}

// The tag cut on the worker: the parked game's thread stops the tune and gives the graph
// back (it holds the file), the worker asks and cuts, the game's thread makes a new,
// empty graph. A single-file request loses its entry table; a playlist keeps it.
TEST_F(ExPauseThreads, TagCutOnTheWorker) {
    const struct {
        const char* request;
        int answer;
        bool cut;
        bool tableKept;
    } cases[] = {{"a.mp3", platform::kIdYes, true, false},
                 {"a.mp3", platform::kIdNo, false, false},
                 {"list.txt", platform::kIdYes, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.request) + (c.cut ? " yes" : " no"));
        sim::Reset();
        sim::SetStringResource(ORV_KEY_LIST_RESOURCE, ORV_KEY_LIST);
        sim::SetRealThreads(true);
        BeginPlaying("UseExPause=1\r\nInitRandom=0\r\n", c.request);
        const int graphs = sim::GraphsCreated();
        sim::AnswerBoxes({c.answer});
        sim::PressKey(kX, /*ctrl=*/true);
        PumpUntilWorkerEnds();
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, kQuestion);
        EXPECT_EQ(sim::Boxes()[0].caption, "OrvalinMUGENBGM");
        EXPECT_EQ(sim::FileText("a.mp3"), c.cut ? "MUSIC" : TaggedTune());
        EXPECT_EQ(sim::HasFile("[Backup]a.mp3"), c.cut);
        EXPECT_EQ(sim::WindowTitle(sim::kGameWindow) == "ID3tag was cut : a.mp3", c.cut);
        EXPECT_FALSE(PlayerState.Playing);
        EXPECT_TRUE(MediaGraph.Ready);
        EXPECT_EQ(sim::GraphsCreated(), graphs + 1);
        EXPECT_TRUE(sim::LastGraph().rendered.empty());
        EXPECT_EQ(PlayerState.Entries.Count() > 0, c.tableKept);
        EXPECT_TRUE(GraphCallsOnlyOnTheGameThread());
        QuitModule();
    }
}

// After the worker's cut the resume runs the new, empty graph (PauseMode 1); the host's
// next Play must still sound, fast re-load or not. PauseMode 5 plays the file again.
TEST_F(ExPauseThreads, AfterTheCutTheMusicComesBack) {
    const struct {
        const char* settings;
        bool soundsAtOnce;
    } cases[] = {{"PauseMode=1\r\n", false},
                 {"PauseMode=1\r\nTurboLoadMusic=1\r\n", false},
                 {"PauseMode=5\r\n", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        sim::Reset();
        sim::SetStringResource(ORV_KEY_LIST_RESOURCE, ORV_KEY_LIST);
        sim::SetRealThreads(true);
        BeginPlaying(std::string("UseExPause=1\r\n") + c.settings);
        sim::PressKey(kX, /*ctrl=*/true);
        PumpUntilWorkerEnds();
        EXPECT_EQ(PlayerState.Playing, c.soundsAtOnce);
        sim::ClearHistory();
        EXPECT_EQ(Module.Play("a.mp3"), 0);
        EXPECT_TRUE(PlayerState.Playing);
        EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
        // Rendered into a graph that is new or was stopped first, never a running one.
        const int render = sim::Find("RenderFile");
        const int created = sim::Find("CreateFilterGraph");
        const int stopped = sim::Find("Stop");
        EXPECT_TRUE((created >= 0 && created < render) || (stopped >= 0 && stopped < render))
            << sim::LogText();
        QuitModule();
    }
}

TEST_F(ExPauseThreads, FailedRecreationBeepsAndTheGameRunsOn) {
    BeginPlaying("UseExPause=1\r\nBeep=1\r\n");
    sim::Script(sim::Op::CreateFilterGraph, platform::kEOutOfMemory, 1);
    sim::PressKey(kX, /*ctrl=*/true);
    PumpUntilWorkerEnds();
    EXPECT_THAT(sim::Beeps(), ElementsAre(std::pair<uint32_t, uint32_t>{1800, 500},
                                          std::pair<uint32_t, uint32_t>{1800, 500},
                                          std::pair<uint32_t, uint32_t>{1800, 500}));
    EXPECT_FALSE(MediaGraph.Ready);
    EXPECT_EQ(sim::Count("PostMessage 0x492"), 1);
    EXPECT_FALSE(PlayerState.ExPauseActive);
}

// A game's thread that never takes the request (busy, or its window gone): after the
// bound the pause box shows without a freeze, and the tag cut is refused untouched.
TEST_F(ExPauseThreads, AGameThatDoesNotParkIsNotFrozen) {
    BeginPlaying("UseExPause=1\r\n");
    sim::PressKey(kBackSpace);
    sim::JoinThreads(); // nothing takes the park request meanwhile
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].caption, "Paused - by OrvalinMUGENBGM");
    EXPECT_EQ(PlayerState.Paused, 0);

    ExPause::Start(ExPause::Request::TagCut);
    sim::JoinThreads();
    EXPECT_EQ(sim::Boxes().size(), 1u); // no question
    EXPECT_EQ(sim::FileText("a.mp3"), TaggedTune());
    PumpUntilWorkerEnds(); // the stale requests, then the ends of the pauses
    EXPECT_TRUE(PlayerState.Playing);
    EXPECT_EQ(sim::Count("Stop"), 0);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow),
              "[ERROR] The game did not pause: the tag was not cut.");
    EXPECT_TRUE(GraphCallsOnlyOnTheGameThread());
}

// Play waits for the worker; the game's thread parks inside that wait, and the park
// message it finds later in its queue is stale.
TEST_F(ExPauseThreads, PlayParksWhileItWaits) {
    BeginPlaying("UseExPause=1\r\n");
    sim::PressKey(kBackSpace);
    while (!PlayerState.ExPauseActive)
        platform::Sleep(1);
    EXPECT_EQ(Module.Play("b.mp3"), 0);
    EXPECT_EQ(sim::Boxes().size(), 1u);
    const int pauses = sim::Count("Pause");
    PumpUntilWorkerEnds();
    EXPECT_EQ(sim::Count("Pause"), pauses);
    EXPECT_TRUE(GraphCallsOnlyOnTheGameThread());
}

// Without the extended pause (the default) the cut runs on the game's thread; the graph
// that survived the stop holds the file, so it is given back for the cut and the media
// file plays again afterwards, answered Yes or No.
TEST_F(ExPauseThreads, InlineTagCut) {
    for (int answer : {platform::kIdYes, platform::kIdNo}) {
        SCOPED_TRACE(answer);
        sim::Reset();
        sim::SetStringResource(ORV_KEY_LIST_RESOURCE, ORV_KEY_LIST);
        BeginPlaying("InitRandom=0\r\n", "list.txt");
        sim::AnswerBoxes({answer});
        const int threads = sim::ThreadsStarted(); // the tune's worker, if any
        sim::PressKey(kX, /*ctrl=*/true);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].owner, sim::kGameWindow);
        EXPECT_EQ(sim::FileText("a.mp3"), answer == platform::kIdYes ? "MUSIC" : TaggedTune());
        EXPECT_TRUE(PlayerState.Playing);
        EXPECT_EQ(PlayerState.PlayMode,
                  PlaySource::SingleFile); // the media file itself, as a single file
        EXPECT_EQ(sim::LastGraph().rendered.back(), "a.mp3");
        EXPECT_FALSE(PlayerState.ExPauseActive);
        EXPECT_EQ(sim::ThreadsStarted(), threads);
        QuitModule();
    }
}
