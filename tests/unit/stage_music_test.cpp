// Stage music allocation: stages with an empty bgmusic entry get, after asking, an empty
// playlist of their own and its path in the entry.
#include <string>
#include <vector>

#include "fixture.h"
#include "tools/tools.h"

using ::testing::IsEmpty;

namespace {
using Names = std::vector<std::string>;
constexpr const char* kStage = "stages\\forest.def";
constexpr const char* kList = "sound\\forest.txt";
const std::string kEmptyList = "[Orvalin_BGMList]\r\n[List]\r\n";
const std::string kAsk = "ForceInsertMusic - OrvalinMUGENBGM";
const std::string kInfo = "info";
const std::string kAllSet = "OrvalinMUGENBGM";
const std::string kEnd = "\r\nlevel = 3\r\n"; // a key after the entry
// The longest name whose path, "stages\" and the name, leaves room within 259 characters
// for the temporary file beside it; the shortest whose path does not fit at all.
const std::string kFitting = std::string(242, 'f') + ".def";
const std::string kFittingList = "sound/" + std::string(242, 'f') + ".txt";
const std::string kTooLong = std::string(249, 'l') + ".def";

std::string Question(const std::string& stage) {
    return "A bgmusic of stage \"" + stage + "\" is not set - Allocate?";
}
Names Captions() {
    Names captions;
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
};

struct ScanCase {
    const char* name;
    std::string text, result; // result empty: unchanged
    Names boxes = {kAsk, kInfo};
    std::vector<int> answers = {};
    friend std::ostream& operator<<(std::ostream& os, const ScanCase& c) { return os << c.name; }
};

class StageScan : public StageMusic, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(StageScan, FillsOnlyAnEmptyEntry) {
    const ScanCase& c = GetParam();
    const std::string top = "[Info]\r\nname = \"Forest\"\r\n\r\n[Music]\r\n";
    sim::AddFile(kStage, top + c.text);
    for (int answer : c.answers)
        sim::AnswerBoxes({answer});
    EXPECT_EQ(ForceInsertMusic(), 1);
    EXPECT_EQ(sim::FileText(kStage), top + (c.result.empty() ? c.text : c.result));
    EXPECT_EQ(Captions(), c.boxes);
    for (const auto& box : sim::Boxes()) {
        EXPECT_EQ(box.text, box.caption == kAsk    ? Question("forest.def")
                            : box.caption == kInfo ? "sound/forest.txt"
                                                   : "All stages have bgmusic already.");
        EXPECT_EQ(box.flags, box.caption == kAsk ? platform::kMbYesNo : platform::kMbOk);
    }
    EXPECT_EQ(sim::ListFolder("sound"), c.result.empty() ? Names{} : Names{"forest.txt"});
    EXPECT_EQ(sim::FileText(kList), c.result.empty() ? "" : kEmptyList);
    EXPECT_EQ(sim::OpenFileHandles() + sim::LiveAllocations(), 0);
}

const Names kNotAsked = {kAllSet};
const ScanCase kScans[] = {
    {"BlankAfterEquals", "bgmusic = " + kEnd, "bgmusic = sound/forest.txt" + kEnd},
    {"NothingAfterEquals", "bgmusic =" + kEnd, "bgmusic =sound/forest.txt" + kEnd},
    {"BlankThenComment", "bgmusic = ;none" + kEnd, "bgmusic =sound/forest.txt ;none" + kEnd},
    {"CommentAtEquals", "bgmusic =;none" + kEnd, "bgmusic =sound/forest.txt;none" + kEnd},
    {"CommentAfterBlanks", "bgmusic = ; a" + kEnd, "bgmusic =sound/forest.txt ; a" + kEnd},
    {"ValueWithAComment", "bgmusic = x.mp3 ;none" + kEnd, "", kNotAsked},
    {"LongerKeyFirst", "bgmusic2 = 0\r\nbgmusic =" + kEnd, "", kNotAsked},
    {"KeyOnTheLastLine", "x = 1\r\nbgmusic = \r\n", "", kNotAsked},
    {"KeyEndingTheText", "x = 1\r\nbgmusic =", "", kNotAsked},
    {"LineFeedsOnly", "bgmusic =\nlevel = 3\n", "", kNotAsked},
    {"CommentRunAbove", "; bgmusic =\r\n;bgmusic =\r\nbgmusic =" + kEnd,
     "; bgmusic =\r\n;bgmusic =\r\nbgmusic =sound/forest.txt" + kEnd},
    {"KeyInCapitals", "BGMUSIC = " + kEnd, "BGMUSIC = sound/forest.txt" + kEnd},
    {"KeyAfterBlanks", "  bgmusic\t=\t" + kEnd, "  bgmusic\t=\tsound/forest.txt" + kEnd},
    {"NoKey", "x = 1" + kEnd, "", kNotAsked},
    {"KeyWithoutEquals", "bgmusic" + kEnd, "", kNotAsked},
    {"KeyWithoutEqualsThenKey", "bgmusic\r\nbgmusic =" + kEnd,
     "bgmusic\r\nbgmusic =sound/forest.txt" + kEnd},
    {"AnsweredNo", "bgmusic = " + kEnd, "", {kAsk}, {platform::kIdNo}},
    {"NoThenYes",
     "bgmusic = \r\nx = 1\r\nbgmusic =" + kEnd,
     "bgmusic = \r\nx = 1\r\nbgmusic =sound/forest.txt" + kEnd,
     {kAsk, kAsk, kInfo},
     {platform::kIdNo, platform::kIdYes}},
};
INSTANTIATE_TEST_SUITE_P(Lines, StageScan, ::testing::ValuesIn(kScans));

TEST_F(StageMusic, ExistingPlaylistIsUsedAsItIsAndTheNextRunFindsAValue) {
    sim::AddFile(kList, "[orvalin_bgmlist]\r\n[list]\r\nrain.mp3");
    sim::AddFile(kStage, "bgmusic = " + kEnd);
    ForceInsertMusic();
    EXPECT_EQ(sim::FileText(kList), "[orvalin_bgmlist]\r\n[list]\r\nrain.mp3");
    EXPECT_EQ(sim::FileText(kStage), "bgmusic = sound/forest.txt" + kEnd);
    sim::ClearHistory();
    ForceInsertMusic();
    EXPECT_EQ(Captions(), Names{kAllSet});
}

// A stage that can't be opened for writing, or whose path is too long, is skipped (with
// a box from Debug 1 on); the others are still handled.
class UnopenableStage : public StageMusic, public ::testing::WithParamInterface<int> {};

TEST_P(UnopenableStage, IsSkipped) {
    PluginSettings.Debug = GetParam();
    const std::string text = "bgmusic = " + kEnd;
    for (const std::string& name : {std::string("locked.def"), kTooLong, kFitting})
        sim::AddFile("stages\\" + name, text);
    sim::SetReadOnly("stages\\locked.def");
    EXPECT_EQ(ForceInsertMusic(), 1);
    const Names handled = {Question(kFitting), kFittingList};
    const Names skipped = {"locked.def", kTooLong, handled[0], handled[1]};
    EXPECT_EQ(BoxTexts(), GetParam() ? skipped : handled);
    EXPECT_EQ(sim::FileText("stages\\locked.def") + sim::FileText("stages\\" + kTooLong),
              text + text);
    EXPECT_EQ(sim::FileText("stages\\" + kFitting), "bgmusic = " + kFittingList + kEnd);
    EXPECT_EQ(sim::ListFolder("stages"), (Names{"locked.def", kTooLong, kFitting}));
}

INSTANTIATE_TEST_SUITE_P(Debug, UnopenableStage, ::testing::Values(0, 1));

TEST_F(StageMusic, WithoutStageFilesOnlyTheNotice) {
    sim::AddFile("forest.def", "bgmusic = " + kEnd); // no stages folder
    EXPECT_EQ(ForceInsertMusic(), 0);
    sim::AddFile("stages\\forest.txt", "bgmusic = " + kEnd); // no definition in it
    EXPECT_EQ(ForceInsertMusic(), 0);
    EXPECT_EQ(sim::TitleHistory(), Names(2, "[ERROR] findfirstfile failed"));
    EXPECT_EQ(TitleNotice::Queue.Ticks[TitleNotice::Queue.Head], 10);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

// A stage of 4 GiB or more can't be had in memory: it is refused, never read and written
// back by the low 32 bits of its size.
TEST_F(StageMusic, StagesOf4GiBOrMoreAreLeftAlone) {
    const std::string text = "bgmusic = " + kEnd;
    for (const uint64_t size : {uint64_t{1} << 32, (uint64_t{1} << 32) + text.size()}) {
        sim::AddFile(kStage, text);
        sim::ReportFileSize(kStage, size);
        sim::ClearHistory();
        ForceInsertMusic();
        EXPECT_EQ(sim::FileText(kStage), text) << size;
        EXPECT_THAT(BoxTexts(), ::testing::Contains("Failed to allocate memory.")) << size;
        EXPECT_THAT(sim::ListFolder("sound"), IsEmpty()) << size;
        EXPECT_EQ(sim::OpenFileHandles() + sim::LiveAllocations(), 0);
    }
}

// Whatever write fails, both files are as they were on disk and no temporary file is
// left; the scan goes on, so the second empty entry is asked about too.
class WriteFault : public StageMusic, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(WriteFault, LeavesBothFilesAsTheyWere) {
    const std::string text = "bgmusic = \r\nx = 1\r\nbgmusic =;none" + kEnd;
    sim::AddFile(kStage, text);
    if (GetParam() == 0)
        sim::RemoveFileOrFolder("sound"); // the playlist can't be made
    else
        sim::FailWritesAfter(GetParam()); // bytes written before the disk is full
    ForceInsertMusic();
    EXPECT_EQ(sim::FileText(kStage), text);
    EXPECT_EQ(Captions(), (Names{kAsk, kInfo, kAsk, kInfo}));
    EXPECT_EQ(sim::ListFolder("stages"), Names{"forest.def"});
    EXPECT_THAT(sim::ListFolder("sound"), IsEmpty());
    EXPECT_EQ(sim::OpenFileHandles() + sim::LiveAllocations(), 0);
}

// 0: no sound folder; 10: the playlist's write fails; 27: the stage's write fails.
INSTANTIATE_TEST_SUITE_P(Writes, WriteFault, ::testing::Values(0u, 10u, 27u));

// Paths inserted into a stage that can't be written pile up past the room it was read
// with; the text grows with them and nothing is written.
TEST_F(StageMusic, RepeatedInsertionsStayInTheirBlock) {
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += "bgmusic = \r\nx = 1\r\n";
    sim::AddFile("stages\\" + kFitting, text);
    sim::AddFile(kFittingList, "mine");
    sim::FailWritesAfter(0);
    ForceInsertMusic();
    EXPECT_EQ(Captions().size(), 8u); // four questions, four paths
    EXPECT_EQ(sim::FileText("stages\\" + kFitting) + sim::FileText(kFittingList), text + "mine");
    EXPECT_EQ(sim::LiveAllocations(), 0);
}
