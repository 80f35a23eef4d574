// The plug-in frame: the record the host reads, the simple entry points, the shared
// text buffers and the rules by which failures are reported.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/files.h"

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::StartsWith;

using PluginFrame = ModuleTest;

TEST_F(PluginFrame, RecordFieldsAsTheHostReadsThem) {
    EXPECT_EQ(Module.version, 0x100);
    EXPECT_THAT(Module.description, StartsWith("Orvalin BGM Player for "));
    EXPECT_THAT(Module.description, EndsWith("(x86)"));
    EXPECT_EQ(std::strlen(Module.description), 37u);
    EXPECT_EQ(Module.is_seekable, 1);
    EXPECT_EQ(Module.UsesOutputPlug, 1);
    for (auto slot : {Module.Config, Module.About})
        EXPECT_NE(slot, nullptr);
    EXPECT_NE(Module.Init, nullptr);
    EXPECT_NE(Module.Quit, nullptr);
    EXPECT_NE(Module.Play, nullptr);
    EXPECT_NE(Module.Stop, nullptr);
    EXPECT_NE(Module.SetVolume, nullptr);
    EXPECT_NE(Module.SetPan, nullptr);
    EXPECT_NE(Module.EQSet, nullptr);
    // The slots the module never fills.
    EXPECT_EQ(Module.SAVSAInit, nullptr);
    EXPECT_EQ(Module.VSAAdd, nullptr);
    EXPECT_EQ(Module.dsp_isactive, nullptr);
    EXPECT_EQ(Module.dsp_dosamples, nullptr);
    EXPECT_EQ(Module.SetInfo, nullptr);
}

TEST_F(PluginFrame, FileExtensionsArePairsEndedByTwoZeroBytes) {
    std::vector<std::string> strings;
    const char* p = Module.FileExtensions;
    for (; *p != '\0'; p += std::strlen(p) + 1)
        strings.emplace_back(p);
    EXPECT_THAT(strings,
                ElementsAre("mp3", "mp3 file", "wma", "wma file", "ogg", "ogg file", "txt",
                            "OrvalinMUGENBGM_Playlist", "rnd", "OrvalinMUGENBGM_RandomFlag"));
    EXPECT_EQ(p[-1], '\0'); // the last description's terminator...
    EXPECT_EQ(p[0], '\0');  // ...and the empty string that ends the block
}

TEST_F(PluginFrame, IsOurFileClaimsEveryName) {
    for (const char* name : {"", "a.mp3", "whatever", "x.TXT"})
        EXPECT_EQ(Module.IsOurFile(name), 1);
}

TEST_F(PluginFrame, OutputTimeIsNeverReportedAndNeverSought) {
    StartModule();
    sim::AddFile("a.mp3", "");
    ASSERT_EQ(Module.Play("a.mp3"), 0);
    ASSERT_TRUE(PlayerState.Playing);
    sim::ClearLog();
    EXPECT_EQ(Module.GetOutputTime(), 0);
    Module.SetOutputTime(60000);
    EXPECT_FALSE(sim::Called("put_CurrentPosition"));
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
}

TEST_F(PluginFrame, ConfigAndAboutAreOwnedByTheWindowPassed) {
    const auto parent = reinterpret_cast<platform::Hwnd>(uintptr_t{0x777});
    StartModule(); // the game window is known, yet the parent owns the boxes
    Module.Config(parent);
    Module.About(parent);
    ASSERT_EQ(sim::Boxes().size(), 2u);
    for (const auto& box : sim::Boxes()) {
        EXPECT_EQ(box.owner, parent);
        EXPECT_EQ(box.caption, "OrvalinMUGENBGM");
        EXPECT_EQ(box.flags, platform::kMbOk);
    }
    EXPECT_THAT(sim::Boxes()[0].text, StartsWith("No config available.\n"));
    EXPECT_NE(sim::Boxes()[0].text, sim::Boxes()[1].text);
}

TEST_F(PluginFrame, EntryPointsThatDoNothing) {
    char title[8] = "keep";
    int length = 1234;
    Module.GetFileInfo("a.mp3", title, &length);
    Module.EQSet(1, title, 3);
    EXPECT_STREQ(title, "keep");
    EXPECT_EQ(length, 1234);
    EXPECT_EQ(Module.GetLength(), 0);
    EXPECT_EQ(Module.InfoBox("a.mp3", sim::kGameWindow), 0);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

TEST_F(PluginFrame, SetPanGoesToTheOutputModuleUnchanged) {
    Module.SetPan(-127);
    Module.SetPan(5);
    EXPECT_THAT(sim::OutModCalls(), ElementsAre("out.SetPan -127", "out.SetPan 5"));
    Module.outMod = nullptr; // a host without an output module
    Module.SetPan(5);
}

TEST_F(PluginFrame, IsPausedReturnsThePauseValueUnchanged) {
    PlayerState.Paused = 7;
    EXPECT_EQ(Module.IsPaused(), 7);
}

// Which failure boxes each MsgBoxOnError value lets through.
struct BoxGateCase {
    int msgBoxOnError;
    bool plainShown;  // a box without a status code
    bool statusShown; // a box carrying a status code
    friend std::ostream& operator<<(std::ostream& os, const BoxGateCase& c) {
        return os << "MsgBoxOnError " << c.msgBoxOnError;
    }
};

class BoxGate : public ModuleTest, public ::testing::WithParamInterface<BoxGateCase> {};

TEST_P(BoxGate, MessagesFollowTheirGate) {
    PluginSettings.MsgBoxOnError = GetParam().msgBoxOnError;
    ErrorFeedback::FailureBox("Initialize failed");
    ErrorFeedback::StatusBox("Error occured on rendering file(%X)",
                             static_cast<platform::HResult>(0x80040218u));
    ErrorFeedback::AlwaysBox("Failed to allocate memory.");
    std::vector<std::string> expected;
    if (GetParam().plainShown) expected.push_back("Initialize failed");
    if (GetParam().statusShown) expected.push_back("Error occured on rendering file(80040218)");
    expected.push_back("Failed to allocate memory.");
    EXPECT_EQ(BoxTexts(), expected);
    for (const auto& box : sim::Boxes()) {
        EXPECT_EQ(box.owner, sim::kGameWindow);
        EXPECT_EQ(box.caption, "OrvalinMUGENBGM");
        EXPECT_EQ(box.flags, platform::kMbOk);
    }
}

INSTANTIATE_TEST_SUITE_P(MsgBoxOnError, BoxGate,
                         ::testing::Values(BoxGateCase{0, false, false}, BoxGateCase{1, true, true},
                                           BoxGateCase{2, true, false},
                                           BoxGateCase{-1, true, false}));

TEST_F(PluginFrame, StatusCodesPrintInUpperCaseHexWithoutLeadingZeros) {
    PluginSettings.MsgBoxOnError = 1;
    ErrorFeedback::StatusBox("Unknown error on stopping(%X)", 0x2A);
    ErrorFeedback::StatusBox("Unknown error on stopping(%X)", -1);
    EXPECT_THAT(BoxTexts(), ElementsAre("Unknown error on stopping(2A)",
                                        "Unknown error on stopping(FFFFFFFF)"));
    EXPECT_STREQ(MessageBuffer, "Unknown error on stopping(FFFFFFFF)");
}

// Which beep patterns each Beep value lets through: the start-up chime needs 1, the
// failure patterns any value but 0, the folder-scan pattern more than 0, the tune-change
// click 2 or more.
struct BeepGateCase {
    int beep;
    bool chime, failure, folderScan, click;
    friend std::ostream& operator<<(std::ostream& os, const BeepGateCase& c) {
        return os << "Beep " << c.beep;
    }
};

class BeepGate : public ModuleTest, public ::testing::WithParamInterface<BeepGateCase> {
  protected:
    static bool Has(uint32_t frequency, uint32_t duration) {
        for (const auto& b : sim::Beeps())
            if (b.first == frequency && b.second == duration) return true;
        return false;
    }
};

TEST_P(BeepGate, PatternsFollowTheirGate) {
    const BeepGateCase& c = GetParam();
    WriteSettings("Beep=" + std::to_string(c.beep) + "\r\n");
    sim::Script(sim::Op::CoInitialize, {platform::kEInvalidArg});
    StartModule();
    EXPECT_EQ(Has(1200, 100), c.chime);
    EXPECT_EQ(Has(1400, 100), c.failure);

    sim::AddFile("bgm\\a.mp3", "");
    sim::SetSearchEndError(sim::kErrorAccessDenied);
    UseFolder(FindMusic("bgm\\x.rnd", PluginSettings.RndMusicExt));
    EXPECT_EQ(Has(1400, 200) && Has(500, 800), c.folderScan);

    PlayerState.PlayMode = PlaySource::Folder;
    FillEntries(1);
    PlayerState.EntryStop = 1; // nothing more is played
    PluginSettings.ChangeSoundOnLoop = 1;
    AdvanceAfterTune();
    EXPECT_EQ(Has(1000, 120), c.click);
}

INSTANTIATE_TEST_SUITE_P(Beep, BeepGate,
                         ::testing::Values(BeepGateCase{0, false, false, false, false},
                                           BeepGateCase{1, true, true, true, false},
                                           BeepGateCase{2, false, true, true, true},
                                           BeepGateCase{-1, false, true, false, false}));
