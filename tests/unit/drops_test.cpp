// Files dropped on the game window join the current playlist: names relative to the
// host's folder, duplicates skipped, a notice, and the list written now or at the stop.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

namespace {
using Names = std::vector<std::string>;
constexpr const char* kList = "C:\\Game\\sound\\stage.txt";
const std::string kHead = "[orvalin_bgmlist]\r\n[list]\r\n";
const Names kFive = {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"};
const char* const kNotTxt = "Current Music is not txt Format.";

std::string In(const std::string& name) {
    return "C:\\Game\\" + name;
}
// A name of `n` bytes outside the host's folder, and a host program path of `n` bytes.
std::string Long(size_t n) {
    return "D:\\" + std::string(n - 3, static_cast<char>('a' + n % 26));
}
std::string Host(size_t n) {
    return In(std::string(n - 12, 'h') + ".exe");
}
Names Plus(Names list, const Names& more) {
    list.insert(list.end(), more.begin(), more.end());
    return list;
}
Names Tunes(const std::string& folder) { // 30 names
    Names names;
    for (int i = 0; i < 30; ++i)
        names.push_back(folder + "t" + std::to_string(i) + ".mp3");
    return names;
}
Names Entries() {
    return TableNames(PlayerState.Entries);
}
const char* const k0 = "0 Files Added";
const char* const k1 = "1 File Added";
} // namespace

struct DropCase {
    const char* name;
    Names list, dropped, added;
    const char* notice;
    int playMode = 1;
    size_t hostLength = 0; // 0: C:\Game\host.exe
    int debug = 0;
    friend std::ostream& operator<<(std::ostream& os, const DropCase& c) { return os << c.name; }
};

class Drops : public ModuleTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(Drops, JoinTheList) {
    const DropCase& c = GetParam();
    PluginSettings.DisplayToWindowText = 1;
    PluginSettings.Debug = c.debug;
    if (c.hostLength) sim::SetHostProgramPath(Host(c.hostLength));
    std::string text = kHead;
    for (const auto& entry : c.list)
        text += entry + "\r\n";
    sim::AddFile(kList, text);
    ASSERT_EQ(LoadPlaylist(kList), 1);
    PlayerState.PlayMode = static_cast<PlaySource>(c.playMode);
    sim::ClearHistory();
    AddDroppedFiles(sim::MakeDrop(c.dropped));
    EXPECT_EQ(Entries(), Plus(c.list, c.added));
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), c.notice);
    EXPECT_EQ(PlayerState.ListModified, !c.added.empty());
    EXPECT_EQ(BoxTexts(), c.debug ? c.added : Names{}); // "To Add"
    EXPECT_EQ(sim::Count("DragFinish"), 1);
    EXPECT_EQ(sim::Called("BringWindowToFront"), std::string(c.notice) != kNotTxt);
    EXPECT_EQ(sim::FileText(kList), text); // the additions wait for the stop
}

const DropCase kDrops[] = {
    {"TwoNewOnFive", kFive, {In("x.mp3"), In("y.mp3")}, {"x.mp3", "y.mp3"}, "2 Files Added"},
    {"OneNewInAFolder", kFive, {In("s\\f.mp3")}, {"s\\f.mp3"}, k1},
    {"AlreadyListed", kFive, {In("c.mp3")}, {}, k0},
    {"PrefixOfAnEntry", {"b.mp3,vol=8"}, {In("b.mp3")}, {}, k0},
    {"CapitalsBesideTheFoldedTwin", {"a.mp3"}, {In("A.mp3")}, {"A.mp3"}, k1},
    {"OutsideKeepsItsPath", kFive, {"D:\\b.mp3"}, {"D:\\b.mp3"}, k1},
    {"FolderCaseCounts", kFive, {"c:\\game\\g.mp3"}, {"c:\\game\\g.mp3"}, k1},
    {"TwiceInOneDrop", kFive, {In("g.mp3"), In("g.mp3")}, {"g.mp3"}, k1},
    {"Names255To4096", kFive, {Long(255), Long(256), Long(4096)}, {Long(255)}, k1},
    {"HostPath255", kFive, {In("g.mp3")}, {"g.mp3"}, k1, 1, 255},
    {"HostPath256KeepsNames", kFive, {In("g.mp3")}, {In("g.mp3")}, k1, 1, 256},
    {"ThirtyAtOnce", kFive, Tunes(In("")), Tunes(""), "30 Files Added"},
    {"DebugBoxesEachAddition", kFive, {In("x"), In("a.mp3")}, {"x"}, k1, 1, 0, 1},
    {"EmptyListGainingNothing", {}, {Long(300)}, {}, k0, -1},
    {"SingleFileRefused", kFive, {In("x.mp3")}, {}, kNotTxt, 0},
    {"FolderPlayRefused", kFive, {In("x.mp3")}, {}, kNotTxt, 2},
};
INSTANTIATE_TEST_SUITE_P(Cases, Drops, ::testing::ValuesIn(kDrops));

// In code page 932 "\x95\x5C" and "\x83\x5C" are one character each, whose second byte
// has the backslash's value: the host's folder ends at a separator between characters,
// and a file dropped inside it is listed by its name from there.
using DropNames = ModuleTest;

TEST_F(DropNames, InTheHostsFolderAreRelativeInCodePage932) {
    const std::string kanji = "\x95\x5C", kana = "\x83\x5C";
    const struct {
        std::string host, dropped, entry;
    } cases[] = {
        {"C:\\Game\\" + kanji + ".exe", "C:\\Game\\sound\\a.mp3", "sound\\a.mp3"},
        {"C:\\Game\\" + kanji + ".exe", "C:\\Game\\" + kanji + "\\a.mp3", kanji + "\\a.mp3"},
        {"C:\\" + kanji + "\\game.exe", "C:\\" + kanji + "\\" + kana + ".mp3", kana + ".mp3"},
        {"C:\\" + kanji + "\\" + kana + ".exe", "C:\\" + kanji + "\\a.mp3", "a.mp3"},
        {"C:\\" + kanji + "\\" + kana + ".exe", "C:\\" + kanji + "x\\a.mp3",
         "C:\\" + kanji + "x\\a.mp3"},
    };
    sim::SetCodePage932(true);
    sim::AddFile(kList, kHead + "x.mp3\r\n");
    for (const auto& c : cases) {
        sim::SetHostProgramPath(c.host);
        ASSERT_EQ(LoadPlaylist(kList), 1);
        PlayerState.PlayMode = PlaySource::Playlist;
        AddDroppedFiles(sim::MakeDrop({c.dropped}));
        EXPECT_EQ(Entries(), (Names{"x.mp3", c.entry})) << c.host << " " << c.dropped;
    }
}

// A list without entries is written at once; the last file read then plays alone.
class DropOnEmptyList : public ModuleTest, public ::testing::WithParamInterface<int> {};

TEST_P(DropOnEmptyList, WritesTheListAndPlaysTheLastFile) {
    WriteSettings("AutosaveTxtFile=" + std::to_string(GetParam()) + "\r\n");
    sim::AddFile("sound\\stage.txt", "[Orvalin_BGMList]\r\n[List]\r\n");
    sim::AddFile("sound\\x.mp3", "");
    sim::AddFile("sound\\y.mp3", "");
    StartQuietly();
    ASSERT_EQ(Module.Play("sound\\stage.txt"), 0);
    sim::AnswerBoxes({platform::kIdNo});
    AddDroppedFiles(sim::MakeDrop(
        {"C:\\Game\\sound\\x.mp3", "C:\\Game\\sound\\y.mp3", "C:\\Game\\sound\\x.mp3"}));
    EXPECT_EQ(sim::FileText("sound\\stage.txt"),
              "[Orvalin_BGMList]\r\n[List]\r\nsound\\x.mp3\r\nsound\\y.mp3");
    const int written = sim::Find("WriteFile");
    ASSERT_GE(written, 0);
    const int stopped = sim::Find("Stop", written);
    EXPECT_GT(stopped, written);
    EXPECT_GT(sim::Find("RenderFile sound\\x.mp3", stopped), stopped);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
    EXPECT_FALSE(PlayerState.ListModified);
    // The stop that ends the list still applies the setting.
    EXPECT_EQ(BoxTexts().size(), GetParam() == -1 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(AutosaveTxtFile, DropOnEmptyList, ::testing::Values(1, -1, 0));

// A list saved after a drop keeps its extra sound after the entries.
class SaveAfterDrop : public ModuleTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SaveAfterDrop, WritesTheseBytes) {
    const bool ext = GetParam();
    sim::AddFile(kList, kHead + "a.mp3" + (ext ? "\r\n[ext]\r\nExtSound = Rain.WAV" : ""));
    ASSERT_EQ(LoadPlaylist(kList), 1);
    std::strcpy(PlayerState.RequestFile, kList);
    PlayerState.HostThreadId = sim::kHostThreadId;
    AddDroppedFiles(sim::MakeDrop({"C:\\Game\\new.mp3"}));
    SaveIfModified();
    EXPECT_EQ(sim::FileText(kList), "[Orvalin_BGMList]\r\n[List]\r\na.mp3\r\nnew.mp3" +
                                        std::string(ext ? "\r\n[EXT]\r\nextsound=Rain.WAV" : ""));
    EXPECT_EQ(sim::ListFolder("sound"), Names{"stage.txt"});
}

INSTANTIATE_TEST_SUITE_P(ExtraSound, SaveAfterDrop, ::testing::Bool());
