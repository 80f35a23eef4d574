// Folder play: the music files beside a .rnd marker become the entry table.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
FolderScan Scan(const char* request) {
    return FindMusic(request, PluginSettings.RndMusicExt);
}
// The scan as Play uses it: boxes and beeps shown, the table taken over.
int Use(const char* request) {
    const Settings& s = PluginSettings;
    return UseFolder(FindMusic(request, s.RndMusicExt, s.Debug >= 1));
}
} // namespace

using FolderScanTest = ModuleTest;

TEST_F(FolderScanTest, SearchesEachExtensionInTurn) {
    sim::AddFile("sound\\bgm\\a.mp3", "");
    sim::AddFile("sound\\bgm\\b.wma", "");
    sim::AddFile("sound\\bgm\\c.MP3", "");
    sim::AddFile("sound\\bgm\\d.ogg", "");
    const FolderScan scan = Scan("sound\\bgm\\random.rnd");
    EXPECT_THAT(TableNames(scan.entries),
                ElementsAre("sound\\bgm\\a.mp3", "sound\\bgm\\c.MP3", "sound\\bgm\\b.wma"));
    EXPECT_THAT(sim::Lines("FindFirstFile"),
                ElementsAre("FindFirstFile sound\\bgm\\*.mp3", "FindFirstFile sound\\bgm\\*.wma"));
    EXPECT_EQ(sim::OpenSearches(), 0);
    EXPECT_FALSE(sim::Called("OpenFileForRead")); // the marker is never opened
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

TEST_F(FolderScanTest, ForwardSlashesBecomeBackslashes) {
    sim::AddFile("sound\\bgm\\a.mp3", "");
    EXPECT_THAT(TableNames(Scan("sound/bgm/random.rnd").entries), ElementsAre("sound\\bgm\\a.mp3"));
    EXPECT_THAT(sim::Lines("FindFirstFile"),
                ::testing::Contains("FindFirstFile sound\\bgm\\*.mp3"));
}

// In code page 932 "\x95\x5C" and "\x83\x5C" are one character each, whose second byte
// has the backslash's value: the marker's folder ends at a separator between characters.
TEST_F(FolderScanTest, MarkerIsCutBetweenCharacters) {
    const std::string kanji = "\x95\x5C", kana = "\x83\x5C";
    sim::SetCodePage932(true);
    sim::AddFile("sound\\" + kanji + "\\a.mp3", "");
    sim::AddFile("sound\\" + kana + ".mp3", "");
    const struct {
        std::string request, folder;
    } cases[] = {
        {"sound\\" + kanji + "\\random.rnd", "sound\\" + kanji},
        {"sound\\" + kanji + "\\" + kanji + ".rnd", "sound\\" + kanji},
        {"sound/" + kanji + "/" + kana + ".rnd", "sound\\" + kanji},
        {"sound\\" + kana + ".rnd", "sound"},
    };
    for (const auto& c : cases) {
        sim::ClearHistory();
        const FolderScan scan = Scan(c.request.c_str());
        EXPECT_THAT(sim::Lines("FindFirstFile"),
                    ElementsAre("FindFirstFile " + c.folder + "\\*.mp3",
                                "FindFirstFile " + c.folder + "\\*.wma"))
            << c.request;
        const std::string file = c.folder == "sound" ? kana + ".mp3" : "a.mp3";
        EXPECT_THAT(TableNames(scan.entries), ElementsAre(c.folder + "\\" + file)) << c.request;
    }
}

TEST_F(FolderScanTest, NameWithoutFolderStopsAtThePathError) {
    sim::AddFile("a.mp3", "");
    const FolderScan scan = Scan("random.rnd");
    EXPECT_EQ(scan.entries.Count(), 0);
    ASSERT_EQ(scan.searchCount, 1);
    EXPECT_STREQ(scan.searches[0].pattern, "random.rnd\\*.mp3");
    EXPECT_EQ(scan.searches[0].error, 3u);
    EXPECT_THAT(sim::Lines("FindFirstFile"), ElementsAre("FindFirstFile random.rnd\\*.mp3"));
}

TEST_F(FolderScanTest, SettingsNameTheExtensions) {
    sim::AddFile("sound\\bgm\\a.mp3", "");
    sim::AddFile("sound\\bgm\\b.flac", "");
    sim::AddFile("sound\\bgm\\c.wma", "");
    std::strcpy(PluginSettings.RndMusicExt[1], "flac");
    std::strcpy(PluginSettings.RndMusicExt[2], "MP3"); // listed twice
    EXPECT_THAT(TableNames(Scan("sound\\bgm\\x.rnd").entries),
                ElementsAre("sound\\bgm\\a.mp3", "sound\\bgm\\b.flac", "sound\\bgm\\a.mp3"));
    PluginSettings.RndMusicExt[0][0] = '\0';
    PluginSettings.RndMusicExt[1][0] = '\0';
    PluginSettings.RndMusicExt[2][0] = '\0';
    sim::ClearHistory();
    EXPECT_EQ(Scan("sound\\bgm\\x.rnd").entries.Count(), 0);
    EXPECT_FALSE(sim::Called("FindFirstFile"));
}

TEST_F(FolderScanTest, MatchingFoldersAreListedToo) {
    sim::AddFolder("sound\\bgm\\old.mp3");
    EXPECT_THAT(TableNames(Scan("sound\\bgm\\x.rnd").entries), ElementsAre("sound\\bgm\\old.mp3"));
}

// Names are kept whole, each once; a path longer than 255 characters is left out.
TEST_F(FolderScanTest, ManyFilesAndOverlongPaths) {
    char name[32];
    for (int i = 0; i < 1001; ++i) {
        std::snprintf(name, sizeof name, "bgm\\t%04d.mp3", i);
        sim::AddFile(name, "");
    }
    sim::AddFile("bgm\\" + std::string(251, 'n') + ".mp3", "");
    const FolderScan scan = Scan("bgm\\x.rnd");
    ASSERT_EQ(scan.entries.Count(), 1001);
    for (int i = 0; i < 1001; ++i) {
        std::snprintf(name, sizeof name, "bgm\\t%04d.mp3", i);
        ASSERT_STREQ(scan.entries[i], name);
    }
    EXPECT_EQ(sim::LiveAllocations(), 2); // the names and where each begins
}

TEST_F(FolderScanTest, RefusedMemoryKeepsWhatWasFound) {
    for (int i = 0; i < 20; ++i)
        sim::AddFile("bgm\\t" + std::to_string(100 + i) + ".mp3", "");
    sim::FailAllocation(2); // the first growth after the first blocks
    const FolderScan scan = Scan("bgm\\x.rnd");
    EXPECT_TRUE(scan.outOfMemory);
    EXPECT_EQ(scan.entries.Count(), 16);
    EXPECT_STREQ(scan.entries[15], "bgm\\t115.mp3");
    EXPECT_EQ(sim::OpenSearches(), 0);
}

// What Play shows of a scan: each pattern at Debug 1, the files added (at Debug 1 only
// until one is kept), the search error, and two beeps for a search that ended early.
struct ShownCase {
    const char* name;
    std::vector<std::string> files;
    const char* request;
    int debug, beep;
    uint32_t endError;
    std::vector<std::string> boxes;
    BeepList beeps;
    int found;
    friend std::ostream& operator<<(std::ostream& os, const ShownCase& c) { return os << c.name; }
};

class FolderShown : public ModuleTest, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(FolderShown, BoxesAndBeeps) {
    const ShownCase& c = GetParam();
    for (const auto& file : c.files)
        sim::AddFile(file, "");
    PluginSettings.Debug = c.debug;
    PluginSettings.Beep = c.beep;
    if (c.endError) sim::SetSearchEndError(c.endError);
    EXPECT_EQ(Use(c.request), c.found);
    EXPECT_EQ(PlayerState.Entries.Count(), c.found);
    std::vector<std::string> boxes;
    for (const auto& box : sim::Boxes())
        boxes.push_back(box.caption + ": " + box.text);
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(sim::Beeps(), c.beeps);
}

const std::string kLong = "bgm\\" + std::string(251, 'n') + ".mp3";
INSTANTIATE_TEST_SUITE_P(
    Cases, FolderShown,
    ::testing::Values(
        ShownCase{"PathErrorAtDebug1",
                  {"a.mp3"},
                  "random.rnd",
                  1,
                  0,
                  0,
                  {"To Find: random.rnd\\*.mp3",
                   "Error Message: FindMusic ERROR\n\nErrorExt = mp3\nErrorCode = 3"},
                  {},
                  0},
        ShownCase{
            "PathErrorSilentWithoutDebug", {"a.mp3"}, "missing\\random.rnd", 0, 1, 0, {}, {}, 0},
        ShownCase{"NoMatchIsSilent",
                  {"bgm\\a.ogg"},
                  "bgm\\x.rnd",
                  1,
                  1,
                  0,
                  {"To Find: bgm\\*.mp3", "To Find: bgm\\*.wma"},
                  {},
                  0},
        ShownCase{"AddedAtDebug1UntilOneIsKept",
                  {"bgm\\a.mp3", "bgm\\b.mp3", kLong},
                  "bgm\\x.rnd",
                  1,
                  0,
                  0,
                  {"To Find: bgm\\*.mp3", "Added: a.mp3", "To Find: bgm\\*.wma"},
                  {},
                  2},
        ShownCase{"AddedAtDebug2EachFile",
                  {"bgm\\a.mp3", "bgm\\b.mp3", kLong},
                  "bgm\\x.rnd",
                  2,
                  0,
                  0,
                  {"To Find: bgm\\*.mp3", "Added: a.mp3", "Added: b.mp3",
                   "Added: " + kLong.substr(4), "To Find: bgm\\*.wma"},
                  {},
                  2},
        ShownCase{"EndErrorBeepsAndKeepsWhatWasFound",
                  {"bgm\\a.mp3", "bgm\\b.mp3", "bgm\\c.wma"},
                  "bgm\\x.rnd",
                  0,
                  1,
                  sim::kErrorAccessDenied,
                  {},
                  {{1400, 200}, {500, 800}},
                  3}));

TEST_F(FolderScanTest, RescanReplacesTheTable) {
    sim::AddFile("bgm\\a.mp3", "");
    ASSERT_EQ(Use("bgm\\x.rnd"), 1);
    sim::AddFile("bgm\\b.mp3", "");
    ASSERT_EQ(Use("bgm\\x.rnd"), 2);
    EXPECT_EQ(sim::LiveAllocations(), 2);
}
