// The media graph: rendering a name, the fast re-load path, the start sequence with its
// run wait, and giving the graph back.
#include <cstring>
#include <string>

#include "fixture.h"
#include "platform/system.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
constexpr platform::HResult kNotAudio = static_cast<platform::HResult>(0x80040218u);
}

class MediaGraphTest : public ModuleTest {
  protected:
    // A started module with these settings and the files a.mp3, b.mp3, c.ogg.
    void Begin(const std::string& settings = "") {
        WriteSettings(settings);
        for (const char* f : {"a.mp3", "b.mp3", "c.ogg"})
            sim::AddFile(f, "");
        StartQuietly();
    }
};

TEST_F(MediaGraphTest, StartSequenceInOrder) {
    Begin("DisplayToWindowText=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    EXPECT_THAT(sim::Lines("put_Volume"), ElementsAre("put_Volume 0")); // 255 while unknown
    const int volumeAt = sim::Find("put_Volume");
    const int positionAt = sim::Find("put_CurrentPosition 0");
    const int notifyAt = sim::Find("SetNotifyWindow 0x405");
    const int runAt = sim::Find("Run");
    EXPECT_TRUE(sim::Find("RenderFile a.mp3") < volumeAt && volumeAt < positionAt &&
                positionAt < notifyAt && notifyAt < runAt)
        << sim::LogText();
    EXPECT_FALSE(sim::Called("put_StopTime"));
    EXPECT_TRUE(PlayerState.Playing);
    EXPECT_TRUE(MediaGraph.Rendered);
    EXPECT_STREQ(PlayerState.MediaFile, "a.mp3");
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "playing : a.mp3");
    EXPECT_EQ(TitleNotice::Queue.Flags[TitleNotice::Queue.Head], TitleNotice::kPlayingKind);
    EXPECT_EQ(PlayerState.Paused, 0);
    EXPECT_THAT(sim::OutModCalls(), ElementsAre("out.SetVolume 0"));
}

TEST_F(MediaGraphTest, KnownHostVolumeIsAppliedAfterTheRender) {
    Begin();
    PlayerState.HostVolume = 128;
    ASSERT_EQ(StartTune("a.mp3"), 1);
    EXPECT_EQ(sim::LastGraph().volume, -2032);
}

TEST_F(MediaGraphTest, EntryTrimsAreAppliedInWholeSeconds) {
    Begin();
    PlayerState.PlayMode = PlaySource::Playlist;
    ASSERT_EQ(StartTune("a.mp3,beg=1500,end=2500"), 1);
    EXPECT_EQ(PlayerState.EntryBeg, 1500);
    EXPECT_EQ(PlayerState.EntryEnd, 2500);
    EXPECT_THAT(sim::Lines("put_CurrentPosition"), ElementsAre("put_CurrentPosition 1"));
    EXPECT_THAT(sim::Lines("put_StopTime"), ElementsAre("put_StopTime 178"));
    EXPECT_DOUBLE_EQ(sim::LastGraph().position, 1.0);
    EXPECT_STREQ(PlayerState.MediaFile, "a.mp3");
}

TEST_F(MediaGraphTest, EmptyNameDoesNothingButClearsTheEntryOptions) {
    Begin();
    PlayerState.EntryBeg = 1000;
    PlayerState.EntryEnd = 2000;
    PlayerState.Hosei = 10080;
    EXPECT_EQ(StartTune(""), 0);
    EXPECT_EQ(PlayerState.EntryBeg, 0);
    EXPECT_EQ(PlayerState.EntryEnd, 0);
    EXPECT_EQ(PlayerState.Hosei, 0);
    EXPECT_FALSE(sim::Called("RenderFile"));
}

TEST_F(MediaGraphTest, PlaylistWithoutEntriesPlaysNothing) {
    Begin();
    PlayerState.PlayMode = PlaySource::EmptyPlaylist;
    EXPECT_EQ(StartTune("a.mp3"), 0);
    EXPECT_FALSE(sim::Called("RenderFile"));
}

struct RenderCase {
    platform::HResult renderResult;
    int msgBoxOnError;
    int expected;
    const char* box; // null: none
    friend std::ostream& operator<<(std::ostream& os, const RenderCase& c) {
        return os << std::hex << c.renderResult << std::dec << " box " << c.msgBoxOnError;
    }
};

class RenderResult : public MediaGraphTest, public ::testing::WithParamInterface<RenderCase> {};

TEST_P(RenderResult, ResultAndMessage) {
    const RenderCase& c = GetParam();
    Begin("MsgBoxOnError=" + std::to_string(c.msgBoxOnError) + "\r\n");
    sim::Script(sim::Op::RenderFile, {c.renderResult});
    EXPECT_EQ(StartTune("a.mp3"), c.expected);
    EXPECT_EQ(PlayerState.Playing, c.expected == 1);
    if (c.box)
        EXPECT_THAT(BoxTexts(), ElementsAre(c.box));
    else
        EXPECT_THAT(BoxTexts(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, RenderResult,
    ::testing::Values(RenderCase{platform::kSOk, 1, 1, nullptr},
                      RenderCase{platform::kSFalse, 1, 1, nullptr},
                      RenderCase{platform::kErrFileNotFound, 1, 0, nullptr},
                      RenderCase{kNotAudio, 1, -1, "Error occured on rendering file(80040218)"},
                      RenderCase{kNotAudio, 2, -1, nullptr}, RenderCase{kNotAudio, 0, -1, nullptr},
                      RenderCase{sim::kPartialRender, 1, -1,
                                 "Error occured on rendering file(40258)"},
                      RenderCase{2, 1, -1, "Error occured on rendering file(2)"}));

TEST_F(MediaGraphTest, MissingFileStopsThePlayingTuneSilently) {
    Begin("MsgBoxOnError=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    EXPECT_EQ(StartTune("gone.mp3"), 0);
    EXPECT_FALSE(PlayerState.Playing);
    EXPECT_TRUE(sim::Called("Stop"));
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    EXPECT_STREQ(PlayerState.MediaFile, "a.mp3"); // the last file started
}

struct RunWaitCase {
    int msgBoxOnError;
    bool box;
};

class RunWait : public MediaGraphTest, public ::testing::WithParamInterface<RunWaitCase> {};

TEST_P(RunWait, EndsAfterALittleOverFiveSeconds) {
    Begin("DisplayToWindowText=1\r\nMsgBoxOnError=" + std::to_string(GetParam().msgBoxOnError) +
          "\r\n");
    sim::Script(sim::Op::Run, {platform::kSFalse});
    sim::Script(sim::Op::GetState, platform::kVfwStateIntermediate, 1000);
    const uint32_t start = sim::Now();
    EXPECT_EQ(StartTune("a.mp3"), 1);
    const uint32_t waited = sim::Now() - start;
    EXPECT_GT(waited, 5000u);
    EXPECT_LE(waited, 5250u);
    EXPECT_EQ(sim::Count("GetState 250"), 21);
    if (GetParam().box)
        EXPECT_THAT(BoxTexts(),
                    ElementsAre("Too much time was spent before completion of transit."));
    else
        EXPECT_THAT(sim::Boxes(), IsEmpty());
    EXPECT_TRUE(PlayerState.Playing);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "playing : a.mp3");
}

INSTANTIATE_TEST_SUITE_P(MsgBoxOnError, RunWait,
                         ::testing::Values(RunWaitCase{0, false}, RunWaitCase{1, true},
                                           RunWaitCase{2, false}));

TEST_F(MediaGraphTest, RunWaitEndsWhenTheTransitionDoes) {
    Begin("MsgBoxOnError=1\r\n");
    sim::Script(sim::Op::Run, {platform::kSFalse});
    sim::Script(sim::Op::GetState, platform::kVfwStateIntermediate, 3);
    EXPECT_EQ(StartTune("a.mp3"), 1);
    EXPECT_EQ(sim::Count("GetState 250"), 4);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

TEST_F(MediaGraphTest, RunWithOtherCodeIsReportedAndTheTuneCountsAsStarted) {
    Begin("MsgBoxOnError=1\r\n");
    sim::Script(sim::Op::Run, {platform::kEFail});
    EXPECT_EQ(StartTune("a.mp3"), 1);
    EXPECT_FALSE(sim::Called("GetState"));
    EXPECT_THAT(BoxTexts(), ElementsAre("Unknown return value of Run function(80004005)"));
    EXPECT_TRUE(PlayerState.Playing);
}

TEST_F(MediaGraphTest, RefusedNotificationWindowBeepsAndPlaysOn) {
    Begin("Beep=1\r\n");
    sim::Script(sim::Op::SetNotifyWindow, {platform::kEFail});
    EXPECT_EQ(StartTune("a.mp3"), 1);
    EXPECT_EQ(sim::Beeps(), (BeepList{{1500, 400}}));
    EXPECT_TRUE(PlayerState.Playing);
}

// Whether the second tune goes through the fast re-load path after the first.
struct TurboCase {
    const char* first;
    const char* second;
    bool turbo;
    friend std::ostream& operator<<(std::ostream& os, const TurboCase& c) {
        return os << c.first << " then " << c.second;
    }
};

class TurboExtension : public MediaGraphTest, public ::testing::WithParamInterface<TurboCase> {};

TEST_P(TurboExtension, SameExtensionKeepsTheGraph) {
    const TurboCase& c = GetParam();
    sim::AddFile(c.first, "");
    sim::AddFile(c.second, "");
    Begin("TurboLoadMusic=1\r\n");
    ASSERT_EQ(StartTune(c.first), 1);
    const int graphs = sim::GraphsCreated();
    ASSERT_EQ(StartTune(c.second), 1);
    EXPECT_EQ(sim::GraphsCreated() == graphs, c.turbo);
    EXPECT_EQ(sim::Called("EnumFilters"), c.turbo);
    EXPECT_EQ(sim::LastGraph().filters.size(), 2u); // the second tune's filters only
    EXPECT_EQ(sim::LiveComObjects(), 5);
    EXPECT_STREQ(PlayerState.MediaFile, c.second);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TurboExtension,
    ::testing::Values(TurboCase{"a.MP3", "b.mp3", true}, TurboCase{"x.mp3", "y.ogg", false},
                      TurboCase{"a.mp3", "a.mp3", true},
                      TurboCase{"t.abcdefg1", "u.abcdefg2", true}, // 8 characters agree
                      TurboCase{"t.abcdef1", "u.abcdef2", false},  // the 8th differs
                      TurboCase{"t.abcdefgh", "u.abcdefg", true},
                      TurboCase{"c:\\a.b\\tune", "d:\\x.b\\tune", true}, // ".b\tune"
                      TurboCase{"c:\\a.b\\tune", "c:\\a.b\\tune.mp3", false},
                      TurboCase{"music", "music", true}, TurboCase{"music", "other", false}));

TEST_F(MediaGraphTest, EmptyMediaFileNeverMatches) {
    Begin("TurboLoadMusic=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    PlayerState.MediaFile[0] = '\0';
    const int graphs = sim::GraphsCreated();
    ASSERT_EQ(StartTune("b.mp3"), 1);
    EXPECT_EQ(sim::GraphsCreated(), graphs + 1);
}

TEST_F(MediaGraphTest, WithoutTurboEveryTuneGetsANewGraph) {
    Begin();
    ASSERT_EQ(StartTune("a.mp3"), 1);
    ASSERT_EQ(StartTune("a.mp3"), 1);
    ASSERT_EQ(StartTune("a.mp3"), 1);
    EXPECT_EQ(sim::GraphsCreated(), 3);
    EXPECT_EQ(sim::LiveComObjects(), 5);
}

TEST_F(MediaGraphTest, FirstRenderUsesTheGraphMadeAtStartUp) {
    Begin();
    ASSERT_EQ(StartTune("a.mp3"), 1);
    EXPECT_EQ(sim::GraphsCreated(), 1);
}

TEST_F(MediaGraphTest, TurboWalkRemovesEveryFilterAndRendersTheNewFile) {
    Begin("TurboLoadMusic=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    sim::ClearLog();
    ASSERT_EQ(RenderTurbo("b.mp3"), 1);
    EXPECT_EQ(sim::Count("RemoveFilter"), 2);
    EXPECT_EQ(sim::Count("Release Filter"), 2);
    EXPECT_EQ(sim::Count("Release Enumerator"), 1);
    EXPECT_LT(sim::Find("Release Enumerator"), sim::Find("RenderFile b.mp3"));
    EXPECT_THAT(sim::LastGraph().filters, ElementsAre("source b.mp3", "renderer b.mp3"));
    EXPECT_TRUE(MediaGraph.Ready);
    EXPECT_TRUE(MediaGraph.Rendered);
}

// After a removal DirectShow's enumerator answers "out of sync"; a walk that ended there
// would leave the old tune's filters in the graph, playing beside the new one.
TEST_F(MediaGraphTest, TurboWalkGoesOnWithAFreshEnumeratorWhenTheGraphChanged) {
    Begin("TurboLoadMusic=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    sim::SetFilterEnumOutOfSync(true);
    sim::ClearLog();
    ASSERT_EQ(RenderTurbo("b.mp3"), 1);
    EXPECT_EQ(sim::Count("RemoveFilter"), 2);
    EXPECT_EQ(sim::Count("EnumFilters"), 3); // the first, one after each removal
    EXPECT_EQ(sim::Count("Release Enumerator"), 3);
    EXPECT_THAT(sim::LastGraph().filters, ElementsAre("source b.mp3", "renderer b.mp3"));
    EXPECT_EQ(sim::LiveComObjects(), 5);
}

TEST_F(MediaGraphTest, TurboWalkEndsAtAnyOtherAnswerOfTheEnumerator) {
    Begin("TurboLoadMusic=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    sim::ClearLog();
    sim::Script(sim::Op::NextFilter, {platform::kSOk, platform::kEFail});
    ASSERT_EQ(RenderTurbo("b.mp3"), 1);
    EXPECT_EQ(sim::Count("RemoveFilter"), 1);
    EXPECT_EQ(sim::Count("EnumFilters"), 1);
}

TEST_F(MediaGraphTest, TurboWithoutARenderedFileDoesNothing) {
    Begin("TurboLoadMusic=1\r\n");
    EXPECT_EQ(RenderTurbo("a.mp3"), 0);
    EXPECT_FALSE(sim::Called("EnumFilters"));
    EXPECT_FALSE(sim::Called("RenderFile"));
}

TEST_F(MediaGraphTest, RefusedFilterRemovalIsShownWhateverTheSettingAndTheWalkGoesOn) {
    Begin("TurboLoadMusic=1\r\nMsgBoxOnError=0\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    sim::Script(sim::Op::RemoveFilter, {platform::kEFail});
    ASSERT_EQ(RenderTurbo("b.mp3"), 1);
    EXPECT_THAT(BoxTexts(), ElementsAre("removefilter failed"));
    EXPECT_EQ(sim::Boxes()[0].caption, "OrvalinMUGENBGM");
    EXPECT_EQ(sim::Count("RemoveFilter"), 2);
    EXPECT_EQ(sim::Count("Release Filter"), 2);
}

TEST_F(MediaGraphTest, TurboMissFallsBackWithTwoNoticesThenFailsSilently) {
    Begin("TurboLoadMusic=1\r\nDisplayToWindowText=1\r\nMsgBoxOnError=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    const int graphs = sim::GraphsCreated();
    EXPECT_EQ(StartTune("gone.mp3"), 0);
    EXPECT_EQ(sim::Count("RenderFile gone.mp3"), 2); // the fast path, then the normal one
    EXPECT_EQ(sim::GraphsCreated(), graphs + 1);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    EXPECT_THAT(sim::TitleHistory(), ::testing::Contains("[ERROR] Can't render music(Turbo)."));
    bool followUpQueued = false;
    for (int i = 0; i < TitleNotice::kSlots; ++i)
        followUpQueued |=
            std::strcmp(TitleNotice::Queue.Texts[i], "[ERROR] Use normal rendering instead.") == 0;
    EXPECT_TRUE(followUpQueued);
    EXPECT_FALSE(PlayerState.Playing);
}

TEST_F(MediaGraphTest, TurboRenderErrorIsReportedThenTheNormalPathPlays) {
    Begin("TurboLoadMusic=1\r\nMsgBoxOnError=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    sim::Script(sim::Op::RenderFile, {kNotAudio});
    EXPECT_EQ(StartTune("b.mp3"), 1);
    EXPECT_THAT(BoxTexts(), ElementsAre("Error occured on rendering file(80040218)"));
    EXPECT_EQ(sim::LiveComObjects(), 5);
}

TEST_F(MediaGraphTest, FailedTurboReleasesTheGraph) {
    Begin("TurboLoadMusic=1\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    EXPECT_EQ(RenderTurbo("gone.mp3"), 0);
    EXPECT_FALSE(MediaGraph.Ready);
    EXPECT_FALSE(MediaGraph.Rendered);
    EXPECT_EQ(MediaGraph.GraphBuilder, nullptr);
    EXPECT_EQ(sim::LiveComObjects(), 0);
}

TEST_F(MediaGraphTest, FailedRecreationBeepsAndReports) {
    Begin("Beep=1\r\nMsgBoxOnError=2\r\n");
    ASSERT_EQ(StartTune("a.mp3"), 1);
    sim::Script(sim::Op::QueryBasicAudio, {platform::kENoInterface});
    EXPECT_EQ(StartTune("b.mp3"), 0);
    EXPECT_EQ(sim::Beeps(),
              (BeepList{{700, 200}, {500, 400}, {1800, 500}, {1800, 500}, {1800, 500}}));
    EXPECT_EQ(sim::Count("Sleep 100"), 2);
    EXPECT_THAT(BoxTexts(), ElementsAre("Initialize failed"));
    EXPECT_FALSE(PlayerState.Playing);
    EXPECT_FALSE(sim::Called("RenderFile b.mp3"));
}

TEST_F(MediaGraphTest, ReleaseOrderAndEntryTable) {
    Begin();
    FillEntries(3);
    sim::ClearLog();
    ReleaseDS(0);
    EXPECT_EQ(sim::LiveAllocations(), 2); // kept: names and offsets
    EXPECT_THAT(sim::Log(), ElementsAre("Release BasicAudio", "Release MediaPosition",
                                        "SetNotifyWindow 0x0 null", "Release MediaEvent",
                                        "Release MediaControl", "Release GraphBuilder"));
    EXPECT_EQ(MediaGraph.GraphBuilder, nullptr);
    EXPECT_EQ(MediaGraph.BasicAudio, nullptr);
    EXPECT_FALSE(MediaGraph.Ready);
    ReleaseDS(2); // only 1 frees the table
    EXPECT_EQ(sim::LiveAllocations(), 2);
    ReleaseDS(1);
    EXPECT_EQ(sim::LiveAllocations(), 0);
    EXPECT_EQ(PlayerState.Entries.Count(), 0);
    EXPECT_EQ(sim::Count("Release GraphBuilder"), 1);
}
