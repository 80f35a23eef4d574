// Stage music allocation: stages with an empty bgmusic entry get an empty playlist of
// their own, after asking, and its path in the entry.
#include <string>
#include <vector>

#include "fixture.h"
#include "tools/tools.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
constexpr const char* kStage = "stages\\forest.def";
constexpr const char* kPlaylist = "sound\\forest.txt";
const std::string kEmptyList = "[Orvalin_BGMList]\r\n[List]\r\n";
const std::string kTop = "[Info]\r\nname = \"Forest\"\r\n\r\n[Music]\r\n";
const std::string kQuestion = "ForceInsertMusic - OrvalinMUGENBGM";
const std::string kInfo = "info";
const std::string kFinal = "OrvalinMUGENBGM";

// The longest stage name whose path, "stages\" and the name, fits in 259 characters
// with room for the temporary file beside it, and the shortest that does not fit at all.
const std::string kFitting = std::string(242, 'f') + ".def"; // path of 253
const std::string kFittingList = "sound/" + std::string(242, 'f') + ".txt";
const std::string kTooLong = std::string(249, 'l') + ".def"; // path of 260

std::string Question(const std::string& stage) {
    return "A bgmusic of stage \"" + stage + "\" is not set - Allocate?";
}

std::vector<std::string> Captions() {
    std::vector<std::string> captions;
    for (const auto& box : sim::Boxes())
        captions.push_back(box.caption);
    return captions;
}
} // namespace

class StageMusic : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        PluginSettings.DisplayToWindowText = 1;
        sim::AddFolder("sound");
    }
    // Nothing held, nothing leaked, and no temporary file beside the stage or the list.
    static void ExpectCleanFolders(const std::vector<std::string>& stages,
                                   const std::vector<std::string>& sound) {
        EXPECT_EQ(sim::ListFolder("stages"), stages);
        EXPECT_EQ(sim::ListFolder("sound"), sound);
        EXPECT_EQ(sim::OpenFileHandles(), 0);
        EXPECT_EQ(sim::OpenSearches(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
    }
};

struct ScanCase {
    const char* name;
    std::string text;   // after kTop
    std::string result; // after kTop; empty: unchanged
    std::vector<int> answers = {};
    std::vector<std::string> boxes = {kQuestion, kInfo}; // captions
    friend std::ostream& operator<<(std::ostream& os, const ScanCase& c) { return os << c.name; }
};

class StageScan : public StageMusic, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(StageScan, FillsOnlyAnEmptyEntry) {
    const ScanCase& c = GetParam();
    sim::AddFile(kStage, kTop + c.text);
    for (int answer : c.answers)
        sim::AnswerBoxes({answer});
    EXPECT_EQ(ForceInsertMusic(), 1);
    const bool changed = !c.result.empty();
    EXPECT_EQ(sim::FileText(kStage), kTop + (changed ? c.result : c.text));
    EXPECT_EQ(Captions(), c.boxes);
    EXPECT_EQ(sim::FileText(kPlaylist), changed ? kEmptyList : "");
    ExpectCleanFolders({"forest.def"}, changed ? std::vector<std::string>{"forest.txt"}
                                               : std::vector<std::string>{});
}

const std::vector<std::string> kNotAsked = {kFinal};
const std::vector<std::string> kAskedOnce = {kQuestion};

INSTANTIATE_TEST_SUITE_P(
    Lines, StageScan,
    ::testing::Values(
        ScanCase{"BlankAfterTheEquals", "bgmusic = \r\nlevel = 3\r\n",
                 "bgmusic = sound/forest.txt\r\nlevel = 3\r\n"},
        ScanCase{"NothingAfterTheEquals", "bgmusic =\r\nlevel = 3\r\n",
                 "bgmusic =sound/forest.txt\r\nlevel = 3\r\n"},
        ScanCase{"BlankThenComment", "bgmusic = ;none\r\nlevel = 3\r\n",
                 "bgmusic =sound/forest.txt ;none\r\nlevel = 3\r\n"},
        ScanCase{"CommentTouchingTheEquals", "bgmusic =;none\r\nlevel = 3\r\n",
                 "bgmusic =sound/forest.txt;none\r\nlevel = 3\r\n"},
        ScanCase{"CommentAfterBlanks", "bgmusic = ; none\r\nlevel = 3\r\n",
                 "bgmusic =sound/forest.txt ; none\r\nlevel = 3\r\n"},
        ScanCase{"ValueWithAComment", "bgmusic = x.mp3 ;none\r\nlevel = 3\r\n", "", {}, kNotAsked},
        ScanCase{"LongerKeyFirstCountsAsAValue",
                 "bgmusic2 = 0\r\nbgmusic =\r\nlevel = 3\r\n",
                 "",
                 {},
                 kNotAsked},
        ScanCase{"KeyOnTheLastLine", "level = 3\r\nbgmusic = \r\n", "", {}, kNotAsked},
        ScanCase{"KeyOnTheLastLineWithoutItsEnd", "level = 3\r\nbgmusic =", "", {}, kNotAsked},
        ScanCase{"LineFeedsOnlyTakenAsAValue", "bgmusic =\nlevel = 3\n", "", {}, kNotAsked},
        ScanCase{"CommentRunAboveTheKey",
                 "; bgmusic =\r\n;bgmusic = \r\n;\r\nbgmusic = \r\nlevel = 3\r\n",
                 "; bgmusic =\r\n;bgmusic = \r\n;\r\nbgmusic = sound/forest.txt\r\nlevel = 3\r\n"},
        ScanCase{"KeyInCapitals", "BGMUSIC = \r\nlevel = 3\r\n",
                 "BGMUSIC = sound/forest.txt\r\nlevel = 3\r\n"},
        ScanCase{"KeyAfterBlanks", "  bgmusic\t=\t\r\nlevel = 3\r\n",
                 "  bgmusic\t=\tsound/forest.txt\r\nlevel = 3\r\n"},
        ScanCase{"NoKeyAtAll", "level = 3\r\n", "", {}, kNotAsked},
        ScanCase{"KeyWithoutEqualsSetsNothing", "bgmusic\r\nlevel = 3\r\n", "", {}, kNotAsked},
        ScanCase{"KeyWithoutEqualsHidesNoLaterEntry", "bgmusic\r\nbgmusic = \r\nlevel = 3\r\n",
                 "bgmusic\r\nbgmusic = sound/forest.txt\r\nlevel = 3\r\n"},
        ScanCase{"AnsweredNo", "bgmusic = \r\nlevel = 3\r\n", "", {platform::kIdNo}, kAskedOnce},
        ScanCase{"NoThenYesOnTwoEmptyKeys",
                 "bgmusic = \r\nlevel = 3\r\nbgmusic =\r\nx = 1\r\n",
                 "bgmusic = \r\nlevel = 3\r\nbgmusic =sound/forest.txt\r\nx = 1\r\n",
                 {platform::kIdNo, platform::kIdYes},
                 {kQuestion, kQuestion, kInfo}}));

TEST_F(StageMusic, AsksAndTellsInTheGameWindow) {
    sim::AddFile(kStage, kTop + "bgmusic = \r\nlevel = 3\r\n");
    ForceInsertMusic();
    ASSERT_EQ(sim::Boxes().size(), 2u);
    const sim::Box& question = sim::Boxes()[0];
    EXPECT_EQ(question.text, Question("forest.def"));
    EXPECT_EQ(question.flags, platform::kMbYesNo);
    EXPECT_EQ(question.owner, sim::kGameWindow);
    EXPECT_EQ(sim::Boxes()[1].text, "sound/forest.txt");
    EXPECT_EQ(sim::Boxes()[1].flags, platform::kMbOk);

    // The next run finds a value: no question, and the closing box.
    sim::ClearHistory();
    ForceInsertMusic();
    EXPECT_THAT(BoxTexts(), ElementsAre("All stages have bgmusic already."));
}

TEST_F(StageMusic, ExistingPlaylistIsUsedAsItIs) {
    const std::string list = "[orvalin_bgmlist]\r\n[list]\r\nrain.mp3";
    sim::AddFile(kPlaylist, list);
    sim::AddFile(kStage, "bgmusic = \r\nlevel = 3\r\n");
    ForceInsertMusic();
    EXPECT_EQ(sim::FileText(kPlaylist), list);
    EXPECT_EQ(sim::FileText(kStage), "bgmusic = sound/forest.txt\r\nlevel = 3\r\n");
}

struct SkipCase {
    const char* name;
    int debug;
    std::vector<std::string> boxes; // texts
    friend std::ostream& operator<<(std::ostream& os, const SkipCase& c) { return os << c.name; }
};

class UnopenableStage : public StageMusic, public ::testing::WithParamInterface<SkipCase> {};

// A stage that can't be opened for writing, and one whose name is too long for a path,
// are skipped; the others are still handled.
TEST_P(UnopenableStage, IsSkipped) {
    const SkipCase& c = GetParam();
    PluginSettings.Debug = c.debug;
    const std::string text = "bgmusic = \r\nx = 1\r\n";
    for (const std::string& name : {std::string("locked.def"), kTooLong, kFitting})
        sim::AddFile("stages\\" + name, text);
    sim::SetReadOnly("stages\\locked.def");
    EXPECT_EQ(ForceInsertMusic(), 1);
    EXPECT_EQ(BoxTexts(), c.boxes);
    EXPECT_EQ(sim::FileText("stages\\locked.def"), text);
    EXPECT_EQ(sim::FileText("stages\\" + kTooLong), text);
    EXPECT_EQ(sim::FileText("stages\\" + kFitting), "bgmusic = " + kFittingList + "\r\nx = 1\r\n");
    ExpectCleanFolders({"locked.def", kTooLong, kFitting}, {std::string(242, 'f') + ".txt"});
}

INSTANTIATE_TEST_SUITE_P(Debug, UnopenableStage,
                         ::testing::Values(SkipCase{"Quiet", 0, {Question(kFitting), kFittingList}},
                                           SkipCase{"DebugOne",
                                                    1,
                                                    {"locked.def", kTooLong, Question(kFitting),
                                                     kFittingList}}));

struct NoSearchCase {
    const char* name;
    std::vector<std::string> files;
    friend std::ostream& operator<<(std::ostream& os, const NoSearchCase& c) {
        return os << c.name;
    }
};

class NoStages : public StageMusic, public ::testing::WithParamInterface<NoSearchCase> {};

TEST_P(NoStages, OnlyTheNotice) {
    for (const auto& file : GetParam().files)
        sim::AddFile(file, "bgmusic = \r\nx = 1\r\n");
    EXPECT_EQ(ForceInsertMusic(), 0);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "[ERROR] findfirstfile failed");
    EXPECT_EQ(TitleNotice::Ticks[TitleNotice::Head], 10);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Folders, NoStages,
                         ::testing::Values(NoSearchCase{"NoStagesFolder", {"forest.def"}},
                                           NoSearchCase{"NoDefinitionInIt",
                                                        {"stages\\forest.txt"}}));

// Faults while writing: whatever fails, both files are on disk as they were, and no
// temporary file is left; a playlist that can't be made leaves later keys to ask about.
struct FaultCase {
    const char* name;
    bool soundFolder;
    uint32_t writableBytes; // before the disk is full
    int questions;
    friend std::ostream& operator<<(std::ostream& os, const FaultCase& c) { return os << c.name; }
};

class WriteFault : public StageMusic, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(WriteFault, LeavesBothFilesAsTheyWere) {
    const FaultCase& c = GetParam();
    if (!c.soundFolder) sim::RemoveFileOrFolder("sound");
    const std::string text = "bgmusic = \r\nx = 1\r\nbgmusic =;none\r\ny = 2\r\n";
    sim::AddFile(kStage, text);
    sim::FailWritesAfter(c.writableBytes);
    ForceInsertMusic();
    EXPECT_EQ(sim::FileText(kStage), text);
    EXPECT_FALSE(sim::HasFile(kPlaylist));
    std::vector<std::string> captions;
    for (int i = 0; i < c.questions; ++i)
        captions.insert(captions.end(), {kQuestion, kInfo});
    EXPECT_EQ(Captions(), captions);
    EXPECT_EQ(sim::ListFolder("stages"), std::vector<std::string>{"forest.def"});
    EXPECT_THAT(sim::ListFolder("sound"), IsEmpty());
    EXPECT_EQ(sim::OpenFileHandles(), 0);
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

INSTANTIATE_TEST_SUITE_P(Writes, WriteFault,
                         ::testing::Values(FaultCase{"PlaylistWriteFails", true, 10, 2},
                                           FaultCase{"StageWriteFails", true, 27, 2},
                                           FaultCase{"NoSoundFolder", false, 1000, 2}));

// A stage whose writes keep failing takes a path at each answer; its text grows past
// the room it was read with, and still nothing is written.
TEST_F(StageMusic, RepeatedInsertionsStayInTheirBlock) {
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += "bgmusic = \r\nx = 1\r\n";
    sim::AddFile("stages\\" + kFitting, text);
    sim::AddFile(kFittingList, "mine");
    sim::FailWritesAfter(0);
    ForceInsertMusic();
    const std::vector<std::string> fourAnswers = {kQuestion, kInfo, kQuestion, kInfo,
                                                  kQuestion, kInfo, kQuestion, kInfo};
    EXPECT_EQ(Captions(), fourAnswers);
    EXPECT_EQ(sim::FileText("stages\\" + kFitting), text);
    EXPECT_EQ(sim::FileText(kFittingList), "mine");
    EXPECT_EQ(sim::LiveAllocations(), 0);
}
