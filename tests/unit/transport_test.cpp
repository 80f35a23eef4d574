// The transport: the host's pause by five modes and its resume, the module's own pause,
// and stop with its release of the graph.
#include <cstring>
#include <string>

#include "fixture.h"
#include "platform/media.h"
#include "platform/system.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TransportTest : public ModuleTest {
  protected:
    // A started module playing a.mp3 from 42 s in, history cleared.
    void Playing(const std::string& settings) {
        WriteSettings(settings);
        sim::AddFile("a.mp3", "");
        StartModule();
        SetVolume(128);
        ASSERT_EQ(StartTune("a.mp3"), 1);
        platform::put_CurrentPosition(MediaGraph.MediaPosition, 42.0);
        sim::ClearHistory();
    }
};

struct PauseModeCase {
    int mode;
    sim::GraphState pausedState; // the graph after Pause
    bool playingAfterPause;
    int outPause; // what the output module's Pause got
    int volumeWhilePaused;
};

class PauseMode : public TransportTest, public ::testing::WithParamInterface<PauseModeCase> {};

TEST_P(PauseMode, PauseAndResume) {
    const PauseModeCase& c = GetParam();
    Playing("PauseMode=" + std::to_string(c.mode) + "\r\n");
    Module.Pause();
    EXPECT_EQ(Module.IsPaused(), c.mode);
    EXPECT_EQ(sim::LastGraph().state, c.pausedState);
    EXPECT_EQ(PlayerState.Playing, c.playingAfterPause);
    EXPECT_EQ(sim::LastGraph().volume, c.volumeWhilePaused);
    EXPECT_THAT(sim::OutModCalls(), ::testing::Contains("out.Pause " + std::to_string(c.outPause)));
    sim::ClearHistory();

    Module.UnPause();
    EXPECT_EQ(Module.IsPaused(), 0);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
    EXPECT_EQ(sim::LastGraph().volume, -2032);
    EXPECT_TRUE(PlayerState.Playing);
    EXPECT_FALSE(PlayerState.Muted);
    EXPECT_EQ(sim::OutModCalls().back(), "out.Pause 0");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PauseMode,
    ::testing::Values(PauseModeCase{1, sim::GraphState::Paused, true, 1, -2032},
                      PauseModeCase{2, sim::GraphState::Running, true, 1, -10000},
                      PauseModeCase{3, sim::GraphState::Running, true, 1, -10000},
                      PauseModeCase{4, sim::GraphState::Stopped, false, 1, -2032},
                      PauseModeCase{5, sim::GraphState::Stopped, false, 1, -2032},
                      PauseModeCase{0, sim::GraphState::Running, true, 0, -2032},
                      PauseModeCase{7, sim::GraphState::Running, true, 1, -2032}));

TEST_F(TransportTest, ModeTwoJumpsBackToWhereThePauseBegan) {
    Playing("PauseMode=2\r\n");
    Module.Pause();
    EXPECT_DOUBLE_EQ(PlayerState.PausePosition, 42.0);
    platform::put_CurrentPosition(MediaGraph.MediaPosition, 50.0); // it plays on, muted
    Module.UnPause();
    EXPECT_DOUBLE_EQ(sim::LastGraph().position, 42.0);
}

TEST_F(TransportTest, ModeThreeResumesWhereverItHasGot) {
    Playing("PauseMode=3\r\n");
    Module.Pause();
    platform::put_CurrentPosition(MediaGraph.MediaPosition, 50.0);
    Module.UnPause();
    EXPECT_DOUBLE_EQ(sim::LastGraph().position, 50.0);
}

TEST_F(TransportTest, ModeTwoResumeWithoutAPauseSeeksToTheLastSavedPosition) {
    Playing("PauseMode=2\r\n");
    Module.UnPause();
    EXPECT_THAT(sim::Lines("put_CurrentPosition"), ElementsAre("put_CurrentPosition 0"));
}

TEST_F(TransportTest, ModeFiveReplaysTheMediaFileAsASingleFile) {
    Playing("PauseMode=5\r\n");
    std::strcpy(PlayerState.RequestFile, "list.txt");
    PlayerState.PlayMode = PlaySource::Folder;
    Module.Pause();
    Module.UnPause();
    EXPECT_EQ(sim::Count("RenderFile a.mp3"), 1);
    EXPECT_STREQ(PlayerState.RequestFile, "a.mp3");
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
    EXPECT_DOUBLE_EQ(sim::LastGraph().position, 0.0);
}

TEST_F(TransportTest, PauseWhileNothingPlaysDoesNothing) {
    Playing("PauseMode=3\r\n");
    Module.Stop();
    PlayerState.Paused = 9;
    sim::ClearHistory();
    Module.Pause();
    EXPECT_EQ(Module.IsPaused(), 9);
    EXPECT_THAT(sim::Log(), IsEmpty());
}

TEST_F(TransportTest, PauseOfAPlaylistWithoutEntriesDoesNothing) {
    Playing("PauseMode=1\r\n");
    PlayerState.PlayMode = PlaySource::EmptyPlaylist;
    Module.Pause();
    Module.UnPause();
    EXPECT_THAT(sim::Log(), IsEmpty());
    EXPECT_EQ(Module.IsPaused(), 0);
}

// A transition that never ends: the wait gives up well inside the worker's park timeout,
// answering the messages other threads send meanwhile.
TEST_F(TransportTest, PauseWaitGivesUpInsideTheParkTimeout) {
    Playing("MsgBoxOnError=1\r\n");
    sim::Script(sim::Op::Pause, {platform::kSFalse});
    sim::Script(sim::Op::GetState, platform::kVfwStateIntermediate, 200);
    const uint32_t start = platform::GetTickCount();
    Module.Pause();
    EXPECT_LT(platform::GetTickCount() - start, ExPause::kParkTimeoutMs);
    EXPECT_LE(sim::Count("GetState 100"), 102);
    EXPECT_GE(sim::SentMessageServes(sim::kHostThreadId), sim::Count("GetState 100") - 1);
    EXPECT_THAT(BoxTexts(),
                ElementsAre("Too much time was spent before completion of transit(pause)."));
    EXPECT_EQ(Module.IsPaused(), 1);
}

TEST_F(TransportTest, PauseWaitEndsSilentlyWithTheTransition) {
    Playing("MsgBoxOnError=1\r\n");
    sim::Script(sim::Op::Pause, {platform::kSFalse});
    sim::Script(sim::Op::GetState, platform::kVfwStateIntermediate, 5);
    PauseDS();
    EXPECT_EQ(sim::Count("GetState 100"), 6);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

TEST_F(TransportTest, FailureCodesAndTheirMessages) {
    Playing("MsgBoxOnError=1\r\n");
    sim::Script(sim::Op::Pause, {platform::kEFail, platform::kEFail});
    sim::Script(sim::Op::Run, {platform::kEFail});
    sim::Script(sim::Op::Stop, {platform::kEUnexpected});
    Module.Pause();
    Module.UnPause();
    PauseDS();
    Module.Stop();
    EXPECT_THAT(BoxTexts(), ElementsAre("Unknown return value in Run function(80004005)",
                                        "Error occured on running file(80004005)",
                                        "Unknown return value of Run function(80004005)",
                                        "Unknown error on stopping(8000FFFF)"));
    EXPECT_FALSE(PlayerState.Playing);
}

TEST_F(TransportTest, FailureCodesNeedMsgBoxOnErrorExactlyOne) {
    Playing("MsgBoxOnError=2\r\n");
    sim::Script(sim::Op::Stop, {platform::kEUnexpected});
    Module.Stop();
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

TEST_F(TransportTest, ModeFourResumeSetsPlayingOnlyWhenRunSucceeds) {
    Playing("PauseMode=4\r\n");
    Module.Pause();
    sim::Script(sim::Op::Run, {platform::kEFail});
    Module.UnPause();
    EXPECT_FALSE(PlayerState.Playing);
    EXPECT_EQ(Module.IsPaused(), 0);
}

TEST_F(TransportTest, ResumeClosesTheOutputModuleFirstEvenWithoutAGraph) {
    Playing("CloseOutModWhenUnpause=1\r\n");
    ReleaseDS(0);
    sim::ClearHistory();
    Module.UnPause();
    EXPECT_THAT(sim::OutModCalls(), ElementsAre("out.Close"));
    EXPECT_FALSE(sim::Called("Run"));
}

TEST_F(TransportTest, ExtraSoundStopsWithThePauseAndLoopsAgainOnResume) {
    Playing("PauseMode=1\r\n");
    std::strcpy(PlayerState.ExtSound, "rain.wav");
    PauseDS();
    Module.UnPause();
    EXPECT_THAT(sim::Sounds(), ElementsAre(std::pair<std::string, unsigned>{"", 0},
                                           std::pair<std::string, unsigned>{"rain.wav", 0x20009}));
}

TEST_F(TransportTest, OwnPauseLeavesPlayingAndTellsTheOutputModule) {
    Playing("");
    EXPECT_EQ(PauseDS(), 0);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Paused);
    EXPECT_EQ(Module.IsPaused(), 1);
    EXPECT_TRUE(PlayerState.Playing);
    EXPECT_THAT(sim::OutModCalls(), ElementsAre("out.Pause 1"));
}

TEST_F(TransportTest, TuneChangeWhilePlayingPausesAndStopsFirst) {
    Playing("");
    sim::AddFile("b.mp3", "");
    ASSERT_EQ(StartTune("b.mp3"), 1);
    EXPECT_LT(sim::Find("Pause"), sim::Find("Stop"));
    EXPECT_LT(sim::Find("Stop"), sim::Find("RenderFile b.mp3"));
    EXPECT_EQ(Module.IsPaused(), 1); // the start sequence leaves it
    EXPECT_THAT(sim::OutModCalls(), ElementsAre("out.Pause 1", "out.SetVolume -2032"));
}

TEST_F(TransportTest, StopWithoutAGraphChangesNothing) {
    Playing("");
    ReleaseDS(0);
    PlayerState.ListModified = true;
    sim::ClearHistory();
    Module.Stop();
    EXPECT_TRUE(PlayerState.Playing);
    EXPECT_TRUE(PlayerState.ListModified);
    EXPECT_THAT(sim::Log(), IsEmpty());
}

TEST_F(TransportTest, ReleaseOnStopGivesTheGraphBack) {
    Playing("ReleaseOnStop=1\r\nMsgBoxOnError=1\r\n");
    Module.Stop();
    EXPECT_FALSE(MediaGraph.Ready);
    EXPECT_FALSE(MediaGraph.Rendered);
    EXPECT_EQ(sim::LiveComObjects(), 0);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    const int graphs = sim::GraphsCreated();
    ASSERT_EQ(StartTune("a.mp3"), 1);
    EXPECT_EQ(sim::GraphsCreated(), graphs + 1);
}

TEST_F(TransportTest, ReleaseOnStopWarningsUnderTurboAndModeFour) {
    Playing("ReleaseOnStop=1\r\nTurboLoadMusic=1\r\nPauseMode=4\r\nMsgBoxOnError=2\r\n");
    for (int i = 0; i < 2; ++i)
        Module.Stop();
    EXPECT_THAT(BoxTexts(),
                ElementsAre("Warning : ReleaseOnStop option is invalid under PauseMode = 4 or 5.",
                            "Warning : ReleaseOnStop option is invalid under TurboLoadMusic = 1.",
                            "Warning : ReleaseOnStop option is invalid under PauseMode = 4 or 5.",
                            "Warning : ReleaseOnStop option is invalid under TurboLoadMusic = 1."));
    EXPECT_TRUE(MediaGraph.Ready);
    EXPECT_EQ(sim::LiveComObjects(), 5);
}

TEST_F(TransportTest, ReleaseOnStopUnderModeFiveKeepsTheGraphQuietly) {
    Playing("ReleaseOnStop=1\r\nPauseMode=5\r\n");
    Module.Stop();
    EXPECT_TRUE(MediaGraph.Ready);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}
