// Names of 0, 255, 256, 259, 260, 1,024 and 4,096 bytes through every entry point and key
// path that takes one. Nothing outside a buffer is touched (the sanitizers watch every
// run) and each name is cut or refused as the docs say: requests, media files and the
// extra sound keep their first 255 bytes; a dropped name of 256 bytes or more is skipped;
// a stage whose "stages\" path would pass 259 characters is passed over; settings texts
// keep 255 bytes, the extensions 31.
#include <string>
#include <vector>

#include "fixture.h"
#include "tools/tools.h"

namespace {
// A name of exactly n bytes (empty for 0): `head`, letters, `tail`.
std::string Sized(size_t n, const std::string& head, const std::string& tail) {
    return n == 0 ? "" : head + std::string(n - head.size() - tail.size(), 'a') + tail;
}
std::string Cut(const std::string& name) {
    return name.substr(0, kNameSize - 1);
}
std::vector<std::string> Entries() {
    return TableNames(PlayerState.Entries);
}
const std::string kTagged = std::string("ID3\x03\0\0\0\0\0\x02", 10) + "tgmusic";
} // namespace

class Bounds : public ModuleTest, public ::testing::WithParamInterface<size_t> {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        PluginSettings.DisplayToWindowText = 1;
    }
    size_t n() const { return GetParam(); }
    static std::string Title() { return sim::WindowTitle(sim::kGameWindow); }
};

// A request keeps its first 255 bytes: a list whose ".txt" was cut off is a single file.
TEST_P(Bounds, HostCallsWithAName) {
    StartQuietly();
    for (const char* type : {".mp3", ".txt", ".rnd"}) {
        SCOPED_TRACE(type);
        const std::string name = Sized(n(), "sound\\", type);
        const bool list = std::string(type) == ".txt" && n() > 0 && n() < kNameSize;
        EXPECT_EQ(Module.Play(name.c_str()), list ? -1 : 0); // no such list
        if (!list) {
            EXPECT_EQ(PlayerState.RequestFile, Cut(name));
            EXPECT_EQ(PlayerState.MediaFile, Cut(name));
        }
        char title[8] = "title";
        int length = 7;
        Module.GetFileInfo(name.c_str(), title, &length);
        EXPECT_STREQ(title, "title");
        EXPECT_EQ(length, 7);
        EXPECT_EQ(Module.IsOurFile(name.c_str()), 1);
        EXPECT_EQ(Module.InfoBox(name.c_str(), sim::kGameWindow), 0);
    }
}

TEST_P(Bounds, DroppedNames) {
    sim::AddFile("C:\\Game\\list.txt", "[Orvalin_BGMList]\r\n[List]\r\na.mp3\r\n");
    ASSERT_EQ(LoadPlaylist("C:\\Game\\list.txt"), 1);
    const std::string name = Sized(n(), "D:\\", ".mp3");
    AddDroppedFiles(sim::MakeDrop({name}));
    const bool added = n() > 0 && n() < kNameSize;
    std::vector<std::string> expected{"a.mp3"};
    if (added) expected.push_back(name);
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(Title(), added ? "1 File Added" : "0 Files Added");
}

// The media path keeps its first 255 bytes. A path that long leaves no room within 259
// characters for the temporary file beside it: the cut fails after the backup was made,
// and the file stays as it was.
TEST_P(Bounds, TagCutMediaFile) {
    const std::string name = Sized(n(), "C:\\Game\\", ".mp3");
    if (n() > 0) sim::AddFile(Cut(name), kTagged);
    EXPECT_EQ(CutId3v2Tag(name.c_str()), 0);
    EXPECT_EQ(Title(), n() == 0 ? "[ERROR] Can't open  (5)" : "Error : Error occured.");
    EXPECT_EQ(sim::FileText(Cut(name)), n() > 0 ? kTagged : "");
}

// ".def" alone stands for the shortest name; the search gives at most 259 characters.
TEST_P(Bounds, StageNames) {
    PluginSettings.Debug = 1;
    sim::AddFolder("sound");
    const std::string name = n() == 0 ? ".def" : Sized(n(), "", ".def");
    sim::AddFile("stages\\" + name, "[Music]\r\nbgmusic = \r\nlevel = 3\r\n");
    EXPECT_EQ(ForceInsertMusic(), 1);
    const std::vector<sim::Box> boxes = sim::Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    if (n() == 0) {
        EXPECT_EQ(sim::FileText("stages\\.def"),
                  "[Music]\r\nbgmusic = sound/.txt\r\nlevel = 3\r\n");
    } else {
        EXPECT_EQ(boxes[0].caption, "CreateFile Failed");
        EXPECT_EQ(boxes[0].text, name.substr(0, platform::kMaxPath - 1));
        EXPECT_EQ(boxes[1].text, "All stages have bgmusic already.");
    }
}

TEST_P(Bounds, ExtraSound) {
    const std::string sound = Sized(n(), "s\\", ".wav");
    sim::AddFile("list.txt", "[Orvalin_BGMList]\r\n[List]\r\na.mp3\r\n[EXT]\r\nextsound=" + sound);
    StartQuietly();
    EXPECT_EQ(Module.Play("list.txt"), 0);
    EXPECT_EQ(PlayerState.ExtSound, Cut(sound));
    EXPECT_EQ(sim::Sounds().back().first, n() == 0 ? "" : Cut(sound));
}

TEST_P(Bounds, SettingsTexts) {
    const std::string value(n(), 'v');
    std::string lines;
    for (const char* key : {"OpenUserSoftwareA", "OpenUserFileA1", "OpenUserFileA2", "Preventer1",
                            "Preventer2", "RndMusicExt1", "RndMusicExt2", "RndMusicExt3"})
        lines += std::string(key) + "=" + value + "\r\n";
    WriteSettings(lines);
    const Settings s = ReadSettings();
    for (const char* text :
         {s.OpenUserSoftwareA, s.OpenUserFileA1, s.OpenUserFileA2, s.Preventer1, s.Preventer2})
        EXPECT_EQ(text, value.substr(0, 255));
    for (const char* extension : s.RndMusicExt)
        EXPECT_EQ(extension, value.substr(0, 31));
}

// Ctrl+5 reads the current folder into 256 bytes; one that does not fit is not passed, so
// the program starts in the process's current folder, which is that same folder.
TEST_P(Bounds, CurrentFolderOfUserFiles) {
    const std::string folder = n() == 0 ? "C:\\" : Sized(n(), "C:\\", "");
    StartQuietly();
    sim::SetCurrentDir(folder);
    sim::PressKey(0x35, true);
    ASSERT_EQ(sim::ShellCalls().size(), 1u);
    const bool fits = folder.size() < kNameSize;
    EXPECT_EQ(sim::ShellCalls()[0].hasDirectory, fits);
    EXPECT_EQ(sim::ShellCalls()[0].directory, fits ? folder : "");
}

INSTANTIATE_TEST_SUITE_P(Lengths, Bounds, ::testing::Values(0, 255, 256, 259, 260, 1024, 4096));
