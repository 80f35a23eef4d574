// The volume: host volume, entry correction, key adjustment and mute combined into the
// graph's level, with the notice a key press shows.
#include <string>

#include "fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class VolumeTest : public ModuleTest {
  protected:
    void Begin(const std::string& settings) {
        WriteSettings("DisplayToWindowText=1\r\n" + settings);
        StartQuietly();
    }
    // A call caused by a key, so that the notice is shown.
    void KeyVolume(int volume) {
        PlayerState.VolumeByKey = true;
        SetVolume(volume);
    }
};

struct VolumeCase {
    int e, hosei, adjust;
    int result;
    const char* notice;
    friend std::ostream& operator<<(std::ostream& os, const VolumeCase& c) {
        return os << "e " << c.e << " H " << c.hosei << " A " << c.adjust;
    }
};

class LinearVolume : public VolumeTest, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(LinearVolume, Examples) {
    const VolumeCase& c = GetParam();
    Begin("");
    PlayerState.Hosei = c.hosei;
    PlayerState.Adjust = c.adjust;
    KeyVolume(c.e);
    EXPECT_THAT(sim::Lines("put_Volume"), ElementsAre("put_Volume " + std::to_string(c.result)));
    EXPECT_EQ(sim::LastGraph().volume, c.result);
    EXPECT_THAT(sim::OutModCalls(),
                ElementsAre("out.SetVolume " + std::to_string(c.e != 0 ? c.result : 0)));
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), c.notice);
    EXPECT_FALSE(PlayerState.VolumeByKey);
    EXPECT_EQ(PlayerState.HostVolume, c.e);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinearVolume,
    ::testing::Values(
        VolumeCase{255, 0, 0, 0, "Volume : over 255  (Adjust : 0) "},
        VolumeCase{128, 0, 0, -2032, "Volume : 203  (Adjust : 0) "},
        VolumeCase{1, 0, 0, -4064, "Volume : 151  (Adjust : 0) "},
        VolumeCase{200, 20, -500, -1060, "Volume : 228  (Adjust : -12) Including playlist volume"},
        VolumeCase{255, 10180, 0, -1200,
                   "Volume : 225  (Adjust : 0) Using playlist volume : usual volume is ignored"},
        VolumeCase{255, -10180, 0, -6960,
                   "Volume : 77  (Adjust : 0) Using playlist volume : usual volume is ignored"},
        VolumeCase{0, 50, 0, -10000, "Volume : 0  (Adjust : 0) Including playlist volume"},
        VolumeCase{255, 0, 300, 0, "Volume : over 255  (Adjust : +7) "},
        VolumeCase{255, 9999, 0, 0, "Volume : over 255  (Adjust : 0) Including playlist volume"},
        VolumeCase{100, 10000, 0, -4080,
                   "Volume : 151  (Adjust : 0) Using playlist volume : usual volume is ignored"}));

class CurveVolume : public VolumeTest, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(CurveVolume, Examples) {
    const VolumeCase& c = GetParam();
    Begin("VolumeCurve=1\r\n");
    PlayerState.Hosei = c.hosei;
    PlayerState.Adjust = c.adjust;
    KeyVolume(c.e);
    EXPECT_THAT(sim::Lines("put_Volume"), ElementsAre("put_Volume " + std::to_string(c.result)));
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), c.notice);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CurveVolume,
    ::testing::Values(
        VolumeCase{255, 0, 0, 0, "Volume : 255  (Adjust : 0) "},
        VolumeCase{128, 0, 0, -2401, "Volume : 128  (Adjust : 0) "},
        VolumeCase{1, 0, 0, -9801, "Volume : 1  (Adjust : 0) "},
        VolumeCase{255, 10200, 0, -441,
                   "Volume : 200  (Adjust : 0) Using playlist volume : usual volume is ignored"},
        VolumeCase{255, 45, 0, -289, "Volume : over 255  (Adjust : 0) Including playlist volume"},
        VolumeCase{0, 0, 0, -10000, "Volume : -10000  (Adjust : 0) "},
        VolumeCase{200, 0, -5, -529, "Volume : 195  (Adjust : -5) "},
        VolumeCase{200, 0, 5, -361, "Volume : 205  (Adjust : +5) "}));

TEST_F(VolumeTest, MuteSilencesWhateverTheInputs) {
    Begin("");
    PlayerState.Muted = true;
    PlayerState.Hosei = 20;
    PlayerState.Adjust = 300;
    KeyVolume(255);
    EXPECT_EQ(sim::LastGraph().volume, -10000);
    EXPECT_THAT(sim::OutModCalls(), ElementsAre("out.SetVolume 0"));
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), " [Mute ON]");
}

TEST_F(VolumeTest, ResultBelowSilenceIsRefusedAndThePreviousVolumeStays) {
    Begin("");
    SetVolume(128);
    ASSERT_EQ(sim::LastGraph().volume, -2032);
    PlayerState.Hosei = -300;
    PlayerState.Adjust = -10000;
    SetVolume(100);
    EXPECT_THAT(sim::Lines("put_Volume"), ElementsAre("put_Volume -2032", "put_Volume -17280"));
    EXPECT_EQ(sim::LastGraph().volume, -2032);
}

TEST_F(VolumeTest, FirstVolumeIsKeptAsTheHostVolume) {
    Begin("");
    SetVolume(200);
    SetVolume(100);
    EXPECT_EQ(PlayerState.HostVolume, 200);
    EXPECT_EQ(sim::LastGraph().volume, -2480); // 100 was applied all the same
}

TEST_F(VolumeTest, ForcedMasterVolumeReplacesEveryHostValue) {
    Begin("ForceSetMasterVol=180\r\n");
    SetVolume(50);
    EXPECT_EQ(PlayerState.HostVolume, 180);
    EXPECT_EQ(sim::LastGraph().volume, -1200);
    SetVolume(0); // silence from the host is overridden too
    EXPECT_EQ(sim::LastGraph().volume, -1200);
}

TEST_F(VolumeTest, DiagnosticBoxShowsTheValueBeforeTheCeiling) {
    Begin("Debug=2\r\n");
    PlayerState.Adjust = 300;
    SetVolume(255);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text,
              "Determined volume = 300\n(hosei = 0,Additional(F7F8) = 300,Hikisuu = 255)");
    EXPECT_EQ(sim::Boxes()[0].caption, "SetVolume");
    EXPECT_EQ(sim::LastGraph().volume, 0);
}

TEST_F(VolumeTest, DiagnosticBoxNeedsDebugTwo) {
    Begin("Debug=1\r\n");
    SetVolume(255);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

TEST_F(VolumeTest, HostCallsShowNoNotice) {
    Begin("");
    SetVolume(128);
    EXPECT_THAT(sim::TitleHistory(), IsEmpty());
}

TEST_F(VolumeTest, KeyCallWithNoticesOffStillClearsTheKeyMark) {
    WriteSettings("DisplayToWindowText=0\r\n");
    StartQuietly();
    KeyVolume(128);
    EXPECT_THAT(sim::TitleHistory(), IsEmpty());
    EXPECT_FALSE(PlayerState.VolumeByKey);
}

TEST_F(VolumeTest, WithoutAGraphTheRestStillHappens) {
    Begin("");
    ReleaseDS(0);
    sim::ClearHistory();
    PlayerState.Muted = true;
    KeyVolume(128);
    EXPECT_FALSE(sim::Called("put_Volume"));
    EXPECT_THAT(sim::OutModCalls(), ElementsAre("out.SetVolume 0"));
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), " [Mute ON]");
    EXPECT_EQ(PlayerState.HostVolume, 128);
}

// Host volumes and corrections at the ends of the 32-bit range: the sanitizers catch any
// overflow, and the result stays a level the graph either takes or refuses.
TEST_F(VolumeTest, ExtremeInputsStayDefined) {
    const int extremes[] = {INT32_MIN, -10001, -1, 1, 9999, 10000, INT32_MAX};
    for (int curve : {0, 1})
        for (int hosei : extremes)
            for (int volume : extremes) {
                PluginSettings.VolumeCurve = curve;
                PlayerState.Hosei = hosei;
                PlayerState.Adjust = curve ? 255 : 10000;
                PlayerState.VolumeByKey = true;
                PluginSettings.DisplayToWindowText = 1;
                SetVolume(volume);
                const auto calls = sim::OutModCalls();
                ASSERT_FALSE(calls.empty());
                const int sent =
                    std::stoi(calls.back().substr(std::string("out.SetVolume ").size()));
                EXPECT_LE(sent, 0)
                    << "curve " << curve << " hosei " << hosei << " volume " << volume;
            }
}
