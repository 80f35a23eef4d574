// The ID3v2 tag cut: its notices, where the backup goes, how much is cut, and that a
// failed rewrite leaves the music file as it was.
#include <array>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/files.h"
#include "tools/tools.h"

namespace {
constexpr const char* kFile = "sound\\stage1.mp3";
constexpr const char* kBackup = "sound\\[Backup]stage1.mp3";

std::string Header(unsigned char version, std::array<unsigned char, 4> size) {
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
} // namespace

class Id3Cut : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Fresh();
    }
    // A clean disk and notice queue for the next row of a table.
    static void Fresh() {
        sim::Reset();
        TitleNotice::Reset();
        PluginSettings.DisplayToWindowText = 1;
        sim::AddFolder("sound");
    }
    // Cuts, and returns the one notice shown.
    static std::string Cut(const std::string& path, int result) {
        EXPECT_EQ(CutId3v2Tag(path.c_str()), result);
        EXPECT_EQ(sim::TitleHistory().size(), 1u);
        EXPECT_EQ(sim::OpenFileHandles(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
        return sim::TitleHistory().empty() ? "" : sim::TitleHistory().back();
    }
    // The folder holds the file as expected, the backup only when one was made, and
    // nothing else (no temporary file).
    static void ExpectSound(const std::string& file, bool backup, const std::string& original) {
        EXPECT_EQ(sim::FileText(kFile), file);
        EXPECT_EQ(sim::FileText(kBackup), backup ? original : "");
        std::vector<std::string> names{"stage1.mp3"};
        if (backup) names.push_back("[Backup]stage1.mp3");
        EXPECT_THAT(sim::ListFolder("sound"), ::testing::UnorderedElementsAreArray(names));
    }
};

TEST_F(Id3Cut, EachOutcomeHasItsNotice) {
    const std::string tagged = Header(3, {0, 0, 0, 20}) + std::string(20, 't') + Audio(100);
    struct Case {
        std::string what, file;
        bool noMemory = false, oldBackup = false;
        const char* notice;
        bool cut, backup;
    };
    std::vector<Case> cases = {
        {"ten bytes", Header(3, {0, 0, 0, 0}), false, false, "Error : Error occured.", false,
         false},
        {"no tag", "RIFF" + Audio(100), false, false, "Error : This file doesn't have ID3v2 tag.",
         false, false},
        {"no memory", tagged, true, false, "Error : Memory error.", false, false},
        {"backup exists", tagged, false, true, "[ERROR] Can't make backup.", false, false},
        {"tag longer than the file", Header(3, {0, 0, 1, 0}) + Audio(100), false, false,
         "Error : Error occured.", false, true},
        {"all tag", Header(3, {0, 0, 0, 20}) + std::string(20, 't'), false, false,
         "ID3tag was cut : sound\\stage1.mp3", true, true},
    };
    for (int v : {0, 1, 2, 3, 4, 5, 255}) {
        const std::string file = Header(static_cast<unsigned char>(v), {0, 0, 0, 20}) +
                                 std::string(20, 't') + Audio(100);
        cases.push_back({"version " + std::to_string(v), file, false, false,
                         v < 5 ? "ID3tag was cut : sound\\stage1.mp3"
                               : "Error : Unsupported ID3v2 tag (version5 or later).",
                         v < 5, v < 5});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        sim::AddFile(kFile, c.file);
        if (c.oldBackup) sim::AddFile(kBackup, c.file);
        if (c.noMemory) sim::FailAllocation();
        EXPECT_EQ(Cut(kFile, c.cut ? 1 : 0), c.notice);
        ExpectSound(c.cut ? c.file.substr(30) : c.file, c.backup || c.oldBackup, c.file);
    }
    Fresh();
    EXPECT_EQ(Cut(kFile, 0), "[ERROR] Can't open sound\\stage1.mp3 (2)");
}

TEST_F(Id3Cut, BackupGoesInFrontOfTheNameAfterTheLastBackslashUpToIndex250) {
    // Backslashes at index 244 and 251: the second is passed over.
    const std::string outer(244, 'o'), inner(6, 'i'), deep = outer + "\\" + inner + "\\a";
    const struct {
        std::string path, backup, notice;
    } cases[] = {
        {kFile, kBackup, "ID3tag was cut : sound\\stage1.mp3"},
        {"stage1.mp3", "[Backup]stage1.mp3", "ID3tag was cut : stage1.mp3"},
        {"sound/stage1.mp3", "", "[ERROR] Can't make backup."}, // no folder [Backup]sound
        {deep, outer + "\\[Backup]" + inner + "\\a", "ID3tag was cut : " + deep},
    };
    const std::string original = Header(4, {0, 0, 0, 2}) + "tt" + Audio(50);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 20));
        Fresh();
        sim::AddFile(c.path, original);
        if (c.path == deep) sim::AddFolder(outer + "\\[Backup]" + inner);
        EXPECT_EQ(Cut(c.path, c.backup.empty() ? 0 : 1), c.notice);
        EXPECT_EQ(sim::FileText(c.path), c.backup.empty() ? original : original.substr(12));
        if (!c.backup.empty()) {
            EXPECT_EQ(sim::FileText(c.backup), original);
        }
    }
}

TEST_F(Id3Cut, CutLengthIsTheSyncsafeSizePlusTheHeader) {
    const struct {
        std::array<unsigned char, 4> size;
        size_t cut;
    } cases[] = {
        {{0, 0, 0, 0}, 10},    {{0, 0, 0x20, 0}, 4106},         {{0, 0, 1, 0x7F}, 265},
        {{0, 1, 0, 0}, 16394}, {{0x80, 0x80, 0x81, 0x85}, 143}, // bit 7 of a size byte is not
                                                                // counted
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cut);
        Fresh();
        const std::string original = Header(3, c.size) + Audio(20000);
        sim::AddFile(kFile, original);
        EXPECT_EQ(Cut(kFile, 1), "ID3tag was cut : sound\\stage1.mp3");
        ExpectSound(original.substr(c.cut), true, original);
    }
}

TEST_F(Id3Cut, AFailedRewriteLeavesTheFileAsItWas) {
    const std::string original = Header(3, {0, 0, 1, 0}) + Audio(1000);
    enum Fault { DiskFullOnWrite, DiskFullOnBackup, HeldWithoutDelete, HeldWithoutWrite };
    const struct {
        Fault fault;
        const char* notice;
        bool backup;
    } cases[] = {
        {DiskFullOnWrite, "Error : Error occured.", true},
        {DiskFullOnBackup, "[ERROR] Can't make backup.", false},
        {HeldWithoutDelete, "Error : Error occured.", true},
        {HeldWithoutWrite, "[ERROR] Can't open sound\\stage1.mp3 (32)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Fresh();
        sim::AddFile(kFile, original);
        platform::Handle held = nullptr;
        if (c.fault == DiskFullOnWrite) sim::FailWritesAfter(1500);
        if (c.fault == DiskFullOnBackup) sim::FailWritesAfter(100);
        if (c.fault == HeldWithoutDelete)
            held = sim::HoldOpen(kFile, platform::kShareRead | platform::kShareWrite);
        if (c.fault == HeldWithoutWrite) held = sim::HoldOpen(kFile, platform::kShareRead);
        EXPECT_EQ(Cut(kFile, 0), c.notice);
        ExpectSound(original, c.backup, original);
        if (held) sim::CloseHeld(held);
    }
}

TEST_F(Id3Cut, AStoppedGraphHoldsTheFileUntilItIsReleased) {
    WriteSettings("DisplayToWindowText=1\r\nReleaseOnStop=0\r\n");
    const std::string original = Header(3, {0, 0, 0, 0}) + Audio(100);
    sim::AddFile(kFile, original);
    StartModule();
    ASSERT_EQ(RenderAndRun(kFile), 1);
    Stop();
    EXPECT_EQ(CutId3v2Tag(kFile), 0);
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "[ERROR] Can't open sound\\stage1.mp3 (32)");
    ReleaseDS(0);
    EXPECT_EQ(CutId3v2Tag(kFile), 1);
    EXPECT_EQ(sim::FileText(kFile), original.substr(10));
}
