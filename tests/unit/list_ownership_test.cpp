// Files dropped on a list belong to that list's file: whatever the host requests next,
// and whether or not a tune plays then, they are saved into that file and no other; and
// a list is never written over a file that is not a playlist.
#include <string>

#include "fixture.h"

namespace {
const std::string kHead = "[Orvalin_BGMList]\r\n[List]\r\n";
constexpr const char* kList = "sound\\stage.txt";
const std::string kMusic = "ID3\x03 not a list";
const std::string kOther = kHead + "sound\\new.mp3\r\n";
} // namespace

struct NextRequestCase {
    const char* name;
    const char* settings;
    const char* next; // requested after the drop; nullptr: the game ends instead
    bool saved;       // the dropped file is in the list afterwards
};

class ListOwnership : public ModuleTest, public ::testing::WithParamInterface<NextRequestCase> {};

// The list's only entry is missing, so nothing plays when the drop comes; the host's next
// request (a music file, another list, or none before Quit) must not receive the entries.
TEST_P(ListOwnership, TheDropStaysWithItsList) {
    const NextRequestCase& c = GetParam();
    WriteSettings(std::string("InitRandom=0\r\n") + c.settings);
    sim::AddFile(kList, kHead + "sound\\missing.mp3\r\n");
    sim::AddFile("sound\\music.mp3", kMusic);
    sim::AddFile("sound\\other.txt", kOther);
    sim::AddFile("sound\\new.mp3", "NEW");
    StartQuietly();
    ASSERT_EQ(Module.Play(kList), 0);
    ASSERT_FALSE(PlayerState.Playing);
    AddDroppedFiles(sim::MakeDrop({"C:\\Game\\sound\\new.mp3"}));
    if (c.next) {
        Module.Play(c.next);
        Module.Stop();
        Module.Play(c.next); // and once more, after a stop of its own
        Module.Stop();
    }
    QuitModule();
    EXPECT_EQ(sim::FileText("sound\\music.mp3"), kMusic);
    EXPECT_EQ(sim::FileText("sound\\other.txt"), kOther);
    EXPECT_EQ(sim::FileText("sound\\new.mp3"), "NEW");
    EXPECT_EQ(sim::FileText(kList), c.saved ? kHead + "sound\\missing.mp3\r\nsound\\new.mp3"
                                            : kHead + "sound\\missing.mp3\r\n");
}

const NextRequestCase kNextRequests[] = {
    {"AMusicFile", "", "sound\\music.mp3", true},
    {"AnotherList", "", "sound\\other.txt", true},
    {"NothingBeforeQuit", "", nullptr, true},
    {"MusicFileWithoutAutosave", "AutosaveTxtFile=0\r\n", "sound\\music.mp3", false},
    {"MusicFileAfterReleaseOnStop", "ReleaseOnStop=1\r\n", "sound\\music.mp3", true},
};
INSTANTIATE_TEST_SUITE_P(Next, ListOwnership, ::testing::ValuesIn(kNextRequests),
                         [](const auto& tp) { return std::string(tp.param.name); });

struct TargetCase {
    const char* name;
    const char* before; // nullptr: no such file
    bool written;
};

class ListWriter : public ModuleTest, public ::testing::WithParamInterface<TargetCase> {};

// The writer replaces only what the reader takes for a playlist; anything else stays as
// it was, with a notice.
TEST_P(ListWriter, ReplacesOnlyAPlaylist) {
    const TargetCase& c = GetParam();
    PluginSettings.DisplayToWindowText = 1;
    sim::AddFile("sound\\a.txt", kHead + "a.mp3\r\n");
    ASSERT_EQ(LoadPlaylist("sound\\a.txt"), 1);
    if (c.before) sim::AddFile(kList, c.before);
    EXPECT_EQ(SaveMusicList(kList), c.written ? 1 : 0);
    if (c.written) {
        EXPECT_EQ(sim::FileText(kList), kHead + "a.mp3");
    } else {
        EXPECT_EQ(sim::FileText(kList), c.before);
        EXPECT_EQ(sim::WindowTitle(sim::kGameWindow),
                  "[ERROR] Not saved: sound\\stage.txt is not a playlist.");
    }
}

const TargetCase kTargets[] = {
    {"Missing", nullptr, true},
    {"Playlist", "[orvalin_bgmlist]\r\nold.mp3\r\n", true},
    {"HeaderAlone", "[ORVALIN_BGMLIST]", true},
    {"After46Spaces", "                                              [Orvalin_BGMList]\r\n", true},
    {"After47Spaces", "                                               [Orvalin_BGMList]\r\n",
     false},
    {"MusicFile", "ID3\x03\x00 tune", false},
    {"TextAfterTheHeader", "[Orvalin_BGMList] mine\r\n", false},
    {"EmptyFile", "", false},
};
INSTANTIATE_TEST_SUITE_P(Targets, ListWriter, ::testing::ValuesIn(kTargets),
                         [](const auto& tp) { return std::string(tp.param.name); });
