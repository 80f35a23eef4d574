// The ID3v2 tag cut: its notices, where the backup goes, how much is cut, and that a
// failed rewrite leaves the music file as it was.
#include <array>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/files.h"
#include "tools/tools.h"

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
enum Fault {
    None,
    Missing,
    NoMemory,
    OldBackup,
    DiskFullOnWrite,
    DiskFullOnBackup,
    Held,
    Claims4GiB,      // the file says it holds 4 GiB
    Claims4GiBAnd11, // 4 GiB + 11 bytes: its low 32 bits look like a small file
};
struct Case {
    std::string what, path, file;
    Fault fault;
    int cut;                    // bytes cut from the start; -1: the file stays as it was
    std::string backup, notice; // where a copy of the file was made ("" none)
};

std::string Header(int version, std::array<unsigned char, 4> size) {
    return std::string{'I', 'D', '3', static_cast<char>(version), 0, 0} +
           std::string(size.begin(), size.end());
}
// Bytes that differ from their neighbours, so that a cut at the wrong offset shows.
std::string Audio(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
}

const std::string kFile = "sound\\stage1.mp3", kBackup = "sound\\[Backup]stage1.mp3";
const std::string kCut = "ID3tag was cut : sound\\stage1.mp3", kFailed = "Error : Error occured.";
const std::string kTagged = Header(3, {0, 0, 0, 20}) + std::string(20, 't') + Audio(100);
} // namespace

class Id3Cut : public ModuleTest {
  protected:
    static void Check(const Case& c, bool codePage932 = false) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        sim::SetCodePage932(codePage932);
        TitleNotice::Reset();
        PluginSettings.DisplayToWindowText = 1;
        sim::AddFolder("sound");
        if (c.fault != Missing) sim::AddFile(c.path, c.file);
        if (const size_t slash = c.backup.rfind('\\'); slash != std::string::npos)
            sim::AddFolder(c.backup.substr(0, slash));
        platform::Handle held = nullptr;
        if (c.fault == NoMemory) sim::FailAllocation();
        if (c.fault == OldBackup) sim::AddFile(kBackup, "old");
        if (c.fault == DiskFullOnWrite)
            sim::FailWritesAfter(static_cast<uint32_t>(c.file.size()) + 9);
        if (c.fault == DiskFullOnBackup) sim::FailWritesAfter(9);
        if (c.fault == Claims4GiB || c.fault == Claims4GiBAnd11)
            sim::ReportFileSize(c.path, (uint64_t{1} << 32) + (c.fault == Claims4GiB ? 0 : 11));
        if (c.fault == Held)
            held = sim::HoldOpen(kFile, platform::kShareRead | platform::kShareWrite);
        EXPECT_EQ(CutId3v2Tag(c.path.c_str()), c.cut >= 0 ? 1 : 0);
        EXPECT_THAT(sim::TitleHistory(), ::testing::ElementsAre(c.notice));
        EXPECT_EQ(sim::FileText(c.path), c.cut >= 0 ? c.file.substr(c.cut) : c.file);
        EXPECT_EQ(sim::FileText(c.backup.empty() ? "none" : c.backup),
                  c.backup.empty() ? "" : c.file);
        EXPECT_EQ(sim::HasFile(kBackup), c.backup == kBackup || c.fault == OldBackup);
        for (const char* folder : {"sound", "."})
            EXPECT_THAT(sim::ListFolder(folder), Not(Contains(HasSubstr(".tmp"))));
        EXPECT_EQ(sim::OpenFileHandles(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
        if (held) sim::CloseHeld(held);
    }
};

TEST_F(Id3Cut, EachOutcomeHasItsNotice) {
    std::vector<Case> cases = {
        {"missing", kFile, "", Missing, -1, "", "[ERROR] Can't open sound\\stage1.mp3 (2)"},
        {"ten bytes", kFile, Header(3, {0, 0, 0, 0}), None, -1, "", kFailed},
        {"no tag", kFile, "RIFF" + Audio(100), None, -1, "",
         "Error : This file doesn't have ID3v2 tag."},
        {"no memory", kFile, kTagged, NoMemory, -1, "", "Error : Memory error."},
        {"backup exists", kFile, kTagged, OldBackup, -1, "", "[ERROR] Can't make backup."},
        {"tag past the end", kFile, Header(3, {0, 0, 1, 0}) + Audio(100), None, -1, kBackup,
         kFailed},
        {"all tag", kFile, kTagged.substr(0, 30), None, 30, kBackup, kCut},
    };
    for (int v : {0, 1, 2, 3, 4, 5, 255})
        cases.push_back({"version " + std::to_string(v), kFile,
                         kTagged.substr(0, 3) + char(v) + kTagged.substr(4), None, v < 5 ? 30 : -1,
                         v < 5 ? kBackup : "",
                         v < 5 ? kCut : "Error : Unsupported ID3v2 tag (version5 or later)."});
    for (const Case& c : cases)
        Check(c);
}

TEST_F(Id3Cut, BackupGoesInFrontOfTheNameAfterTheLastBackslashUpToIndex250) {
    // Backslashes at index 244 and 251: the second one is passed over.
    const std::string outer(244, 'o'), inner(6, 'i'), deep = outer + "\\" + inner + "\\a";
    for (const Case& c : {
             Case{"no folder", "stage1.mp3", kTagged, None, 30, "[Backup]stage1.mp3",
                  "ID3tag was cut : stage1.mp3"},
             Case{"forward slash", "sound/stage1.mp3", kTagged, None, -1, "",
                  "[ERROR] Can't make backup."}, // in a folder "[Backup]sound" that is not there
             Case{"deep", deep, kTagged, None, 30, outer + "\\[Backup]" + inner + "\\a",
                  "ID3tag was cut : " + deep},
         })
        Check(c);
}

// In code page 932 the second byte of a double-byte character may be 0x5C, the
// backslash's value ("\x95\x5C" is one kanji): the backup's name is cut between
// characters, never inside one.
TEST_F(Id3Cut, BackupNameIsCutBetweenCharacters) {
    const std::string kanji = "\x95\x5C", kana = "\x83\x5C";
    const struct {
        std::string path, folder, backupName;
    } cases[] = {
        {"sound\\" + kanji + ".mp3", "sound", "[Backup]" + kanji + ".mp3"},
        {kanji + kana + ".mp3", ".", "[Backup]" + kanji + kana + ".mp3"},
        {"sound\\" + kanji + "\\stage1.mp3", "sound\\" + kanji, "[Backup]stage1.mp3"},
        {"sound\\" + kanji + "\\" + kana + ".mp3", "sound\\" + kanji, "[Backup]" + kana + ".mp3"},
    };
    for (const auto& c : cases) {
        const std::string folder = c.folder == "." ? "" : c.folder + "\\";
        Check({c.path, c.path, kTagged, None, 30, folder + c.backupName,
               "ID3tag was cut : " + c.path},
              true);
        EXPECT_THAT(sim::ListFolder(c.folder), Contains(c.backupName)) << c.path;
    }
    // No backslash, and the name's first 250 bytes would end inside the kanji: the backup
    // keeps 249. (A name this long leaves no room for the rewrite's temporary file.)
    const std::string name = std::string(249, 'a') + kanji + ".mp3";
    Check({name, name, kTagged, None, -1, "[Backup]" + std::string(249, 'a'), kFailed}, true);
}

// A file of 4 GiB or more can't be held in memory whole: it is refused before any backup
// is made, and nothing on disk changes.
TEST_F(Id3Cut, FilesOf4GiBOrMoreAreRefused) {
    // A tag of 0 bytes: read as an 11-byte file, the cut would leave one byte.
    const std::string file = Header(3, {0, 0, 0, 0}) + Audio(100);
    const std::string tooLarge = "Error : The file is too large (4 GiB or more).";
    for (const Case& c : {Case{"4 GiB", kFile, file, Claims4GiB, -1, "", tooLarge},
                          Case{"4 GiB + 11", kFile, file, Claims4GiBAnd11, -1, "", tooLarge}}) {
        Check(c);
        EXPECT_THAT(sim::ListFolder("sound"), ::testing::ElementsAre("stage1.mp3"));
    }
}

TEST_F(Id3Cut, CutLengthIsTheSyncsafeSizePlusTheHeader) {
    const std::pair<std::array<unsigned char, 4>, int> cases[] = {
        {{0, 0, 0, 0}, 10},    {{0, 0, 0x20, 0}, 4106},         {{0, 0, 1, 0x7F}, 265},
        {{0, 1, 0, 0}, 16394}, {{0x80, 0x80, 0x81, 0x85}, 143}, // bit 7 is not counted
    };
    for (const auto& [size, cut] : cases)
        Check(
            {std::to_string(cut), kFile, Header(3, size) + Audio(20000), None, cut, kBackup, kCut});
}

TEST_F(Id3Cut, AFailedRewriteLeavesTheFileAsItWas) {
    for (const Case& c : {
             Case{"disk full on write", kFile, kTagged, DiskFullOnWrite, -1, kBackup, kFailed},
             Case{"disk full on backup", kFile, kTagged, DiskFullOnBackup, -1, "",
                  "[ERROR] Can't make backup."},
             Case{"held without delete sharing", kFile, kTagged, Held, -1, kBackup, kFailed},
         })
        Check(c);
}

TEST_F(Id3Cut, AStoppedGraphHoldsTheFileUntilItIsReleased) {
    WriteSettings("DisplayToWindowText=1\r\nReleaseOnStop=0\r\n");
    sim::AddFile(kFile, kTagged);
    StartModule();
    ASSERT_EQ(StartTune(kFile.c_str()), 1);
    Stop();
    EXPECT_EQ(CutId3v2Tag(kFile.c_str()), 0);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "[ERROR] Can't open sound\\stage1.mp3 (32)");
    ReleaseDS(0);
    EXPECT_EQ(CutId3v2Tag(kFile.c_str()), 1);
    EXPECT_EQ(sim::FileText(kFile), kTagged.substr(30));
}
