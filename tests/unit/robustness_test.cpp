// Texts of any shape and length from files, folders and the host: whatever arrives,
// nothing outside a buffer is touched (the sanitizers watch every run) and every
// fixed-size text stays terminated within its buffer.
#include <cstring>
#include <random>
#include <string>

#include "fixture.h"

namespace {

// Pieces that steer the readers into their branches, mixed with arbitrary bytes.
const char* const kPieces[] = {
    "[list]", "[EXT]",    "extsound", " = ",   "=",      "\r\n",   "\n",
    "\r",     ",vol=",    ",vol=-",   ",beg=", "end=\t", ",stop=", "999999999999",
    " ",      "\t",       ",",        ".mp3",  "\\",     "/",      "[orvalin_bgmlist]\r\n",
    "\x81",   "\x81\x41", "\xE0"};

std::string RandomText(std::mt19937& rng, size_t maxLength) {
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<int> choice(0, 3);
    std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> byte(1, 255);
    std::string text;
    const size_t n = length(rng);
    while (text.size() < n) {
        if (choice(rng) == 0)
            text += static_cast<char>(byte(rng));
        else
            text += kPieces[piece(rng)];
    }
    return text;
}

bool Terminated(const char* buffer, size_t size) {
    return std::memchr(buffer, 0, size) != nullptr;
}

} // namespace

using Robustness = ModuleTest;

TEST_F(Robustness, PlaylistsOfAnyShape) {
    std::mt19937 rng(20261208);
    sim::SetCodePage932(true);
    for (int round = 0; round < 2000; ++round) {
        const bool header = round % 2 == 0;
        std::string text = (header ? std::string(static_cast<size_t>(round % 50), ' ') +
                                         "[Orvalin_BGMList]\r\n[List]\r\n"
                                   : std::string()) +
                           RandomText(rng, round % 7 == 0 ? 4000 : 600);
        sim::AddFile("C:\\Game\\list.txt", text);
        const PlaylistRead read = ReadPlaylist("list.txt");
        ASSERT_LE(read.entries.Count(), 10000);
        for (int i = 0; i < read.entries.Count(); ++i) {
            ASSERT_TRUE(Terminated(read.entries[i], kNameSize));
            const EntrySplit split = ParseEntry(read.entries[i]);
            ASSERT_TRUE(Terminated(split.name, sizeof split.name));
            ASSERT_TRUE(Terminated(split.options, sizeof split.options));
        }
        ASSERT_TRUE(Terminated(read.extSound, sizeof read.extSound));
    }
}

TEST_F(Robustness, RequestsOfAnyLength) {
    std::mt19937 rng(7);
    WriteSettings("DisplayToWindowText=1\r\nDebug=0\r\n");
    sim::AddFile("C:\\Game\\music\\a.mp3", "tune");
    StartQuietly();
    for (int round = 0; round < 600; ++round) {
        std::string name = RandomText(rng, 700);
        switch (round % 4) {
        case 0:
            name += ".txt";
            break;
        case 1:
            name = "music/" + name + ".rnd";
            break;
        case 2:
            name += ".mp3";
            break;
        default:
            break;
        }
        Play(name.c_str());
        ASSERT_TRUE(Terminated(PlayerState.RequestFile, sizeof PlayerState.RequestFile));
        ASSERT_TRUE(Terminated(PlayerState.MediaFile, sizeof PlayerState.MediaFile));
        for (const char* text : TitleNotice::Queue.Texts)
            ASSERT_TRUE(Terminated(text, 256));
        TitleNotice::Tick(sim::kGameWindow);
    }
}

TEST_F(Robustness, FoldersAndExtensionsOfAnyLength) {
    for (size_t length : {200u, 240u, 250u, 254u, 255u, 300u}) {
        const std::string folder = "C:\\" + std::string(length, 'f');
        sim::AddFile(folder + "\\" + std::string(40, 'n') + ".mp3", "tune");
        PluginSettings.RndMusicExt[0][0] = '\0';
        std::memset(PluginSettings.RndMusicExt[1], 'x', 31);
        PluginSettings.RndMusicExt[1][31] = '\0';
        std::strcpy(PluginSettings.RndMusicExt[2], "mp3");
        const std::string request = folder + "\\random.rnd";
        const FolderScan scan = FindMusic(request.c_str(), PluginSettings.RndMusicExt);
        for (int i = 0; i < scan.entries.Count(); ++i)
            ASSERT_TRUE(Terminated(scan.entries[i], kNameSize)) << length;
    }
}
