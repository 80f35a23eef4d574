// The next tune, prepared on the worker while one plays: what runs at a tune's end, how
// the game's thread reaches a graph of the worker, and what Quit leaves. When the plain
// path takes over (a drop, a removed file) is shown end to end (tests/e2e/test_seamless.py).
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/window.h"

namespace {

constexpr int kF7 = 0x76, kF8 = 0x77, kF11 = 0x7A;

// The one graph that runs and tells the game window of its events (one that ended and
// sounds out tells nobody); 0 when none, -1 when several.
int Playing() {
    int found = 0;
    for (int n = 1; n <= sim::GraphsCreated(); ++n) {
        const sim::GraphView g = sim::GraphNumber(n);
        if (g.live && g.state == sim::GraphState::Running && g.notifyWindow == sim::kGameWindow)
            found = found ? -1 : n;
    }
    return found;
}

// Graph `n` as "file @position..stop time state maker", or with its volume for its maker.
std::string Seen(int n, bool volume = false) {
    if (n <= 0) return n ? "several" : "none";
    const sim::GraphView g = sim::GraphNumber(n);
    const char* states[] = {"Stopped", "Paused", "Running"};
    std::ostringstream text;
    text << (g.rendered.empty() ? "-" : g.rendered.back()) << " @" << g.position << ".."
         << g.stopTime << ' ' << states[static_cast<int>(g.state)] << ' ';
    if (volume)
        text << g.volume;
    else
        text << (g.madeInMta ? "worker" : "game");
    return text.str();
}

// The playing tune reaches its end (F11) and the hook hears of it; a graph of the worker
// tells its end through the worker.
void EndTune() {
    const sim::GraphView g = sim::GraphNumber(Playing());
    sim::PressKey(kF11);
    if (g.madeInMta) sim::RunWorkerJobs(); // the seek
    sim::DeliverToHook(sim::kGameWindow, platform::kWmGraphNotify);
    if (g.madeInMta) sim::RunWorkerJobs(), sim::DeliverPostedMessages(); // the worker drains
}

const auto kRowName = [](const auto& row) { return std::string(row.param.name); };

class NextTuneTest : public ModuleTest {
  protected:
    void Begin(const std::string& settings, const std::string& list = "a.mp3\r\nb.mp3\r\n") {
        WriteSettings("InitRandom=0\r\nRndInitRandom=0\r\nLoopRandom=0\r\n" + settings);
        for (const char* f : {"a.mp3", "b.mp3", "c.mp3", "bgm\\t0.mp3", "bgm\\t1.mp3"})
            sim::AddFile(f, "");
        sim::AddFile("l.txt", "[orvalin_bgmlist]\r\n[list]\r\n" + list);
        StartQuietly();
    }
};

struct ChangeCase {
    const char* name;
    std::string settings, list, request;
    std::vector<std::string> tunes; // "file @start..stop time", in the order they play
};

class Change : public NextTuneTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(Change, RunsTheGraphTheWorkerPreparedAndPreparesTheNext) {
    const ChangeCase& c = GetParam();
    Begin(c.settings, c.list);
    ASSERT_EQ(Module.Play(c.request.c_str()), 0);
    EXPECT_EQ(Seen(Playing()), c.tunes[0] + " Running game");
    for (size_t i = 1; i < c.tunes.size(); ++i) {
        SCOPED_TRACE(c.tunes[i]);
        sim::RunWorkerJobs();
        const int prepared = sim::GraphsCreated();
        EXPECT_EQ(Seen(prepared), c.tunes[i] + " Paused worker");
        sim::ClearLog();
        EndTune();
        EXPECT_EQ(sim::Count("RenderFile"), 0);
        sim::RunWorkerJobs();
        EXPECT_EQ(Playing(), prepared);
        EXPECT_EQ(Seen(prepared), c.tunes[i] + " Running worker");
    }
}

// clang-format off
const ChangeCase kChanges[] = {
    {"NextEntry", "ChangeSoundOnLoop=1\r\n", "a.mp3,beg=2000\r\nb.mp3,beg=3000,end=1000\r\n",
     "l.txt", {"a.mp3 @2..180", "b.mp3 @3..179", "a.mp3 @2..180"}},
    {"SameEntryFromItsLoopStart", "", "a.mp3,beg=2000,loop=5000\r\nb.mp3\r\n",
     "l.txt", {"a.mp3 @2..180", "a.mp3 @5..180", "a.mp3 @5..180"}},
    {"OnlyEntryFromItsLoopStart", "ChangeSoundOnLoop=1\r\n", "a.mp3,beg=2000,loop=5000\r\n",
     "l.txt", {"a.mp3 @2..180", "a.mp3 @5..180", "a.mp3 @5..180"}},
    {"SingleFile", "", "", "a.mp3", {"a.mp3 @0..180", "a.mp3 @0..180", "a.mp3 @0..180"}},
    {"Folder", "ChangeSoundOnLoop=1\r\n", "", "bgm\\x.rnd",
     {"bgm\\t0.mp3 @0..180", "bgm\\t1.mp3 @0..180", "bgm\\t0.mp3 @0..180"}},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(NextTune, Change, ::testing::ValuesIn(kChanges), kRowName);

struct CallCase {
    const char* name;
    std::string settings;
    std::function<void()> act;
};

class CallsOnIt : public NextTuneTest, public ::testing::WithParamInterface<CallCase> {
  protected:
    // a.mp3 plays again after its first end, and `act` is done: the graph it plays in, with
    // its volume, as the jobs leave it.
    std::string After(int prepare) {
        Begin("PrepareNextTune=" + std::to_string(prepare) + "\r\n" + GetParam().settings);
        Module.SetVolume(128);
        Module.Play("a.mp3");
        sim::RunWorkerJobs();
        EndTune();
        sim::RunWorkerJobs();
        const int n = Playing();
        const std::string before = Seen(n, true);
        GetParam().act();
        if (prepare) {
            EXPECT_EQ(Seen(n, true), before) << "reached before the worker ran its jobs";
        }
        sim::RunWorkerJobs();
        return Seen(n, true);
    }
};

TEST_P(CallsOnIt, ReachTheWorkersGraphThroughJobsAsTheyReachTheGamesOwn) {
    const std::string plain = After(0);
    QuitModule();
    EXPECT_THAT(sim::Errors(), ::testing::IsEmpty()) << sim::LogText();
    sim::Reset();
    LoadTimeModule();
    EXPECT_EQ(After(1), plain);
}

const CallCase kCalls[] = {
    {"F7", "", [] { sim::PressKey(kF7); }},
    {"F8", "", [] { sim::PressKey(kF8); }},
    {"F11", "", [] { sim::PressKey(kF11); }},
    {"Pause1Resume", "PauseMode=1\r\n", [] { Module.Pause(), Module.UnPause(); }},
    {"Pause2Resume", "PauseMode=2\r\n",
     [] { Module.Pause(), sim::PressKey(kF11), Module.UnPause(); }},
    {"Stop", "", [] { Module.Stop(); }},
};
INSTANTIATE_TEST_SUITE_P(NextTune, CallsOnIt, ::testing::ValuesIn(kCalls), kRowName);

TEST_F(NextTuneTest, QuitReleasesEveryGraphAndEndsTheWorkerWithinItsBounds) {
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "worker held" : "worker free");
        sim::Reset();
        LoadTimeModule();
        Begin("ChangeSoundOnLoop=1\r\n");
        Module.Play("l.txt");
        sim::RunWorkerJobs();
        EndTune();
        sim::RunWorkerJobs(); // b.mp3 plays in a graph of the worker, a.mp3 is prepared
        sim::HoldWorkers(held);
        sim::RunWorkersOnSleep(true); // the worker runs while Quit waits for it
        const uint32_t start = sim::Now();
        QuitModule();
        EXPECT_LE(sim::Now() - start, NextTune::kQuitReleaseMs + NextTune::kQuitStopMs);
        EXPECT_FALSE(sim::GraphNumber(1).live); // the game's own
        sim::HoldWorkers(false);
        sim::RunWorkerJobs();
        EXPECT_EQ(sim::WorkersRunning(), 0);
        if (!held) {
            EXPECT_EQ(sim::LiveComObjects(), 0);
        }
        EXPECT_THAT(sim::Errors(), ::testing::IsEmpty()) << sim::LogText();
    }
}

} // namespace
