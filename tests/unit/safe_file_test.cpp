// Safe rewrites: a user's file is replaced whole or not at all, and a new file never
// takes the place of an existing one.
#include <string>

#include "fixture.h"
#include "platform/files.h"

using SafeFile = SimTest;

TEST_F(SafeFile, TheTargetIsReplacedWholeOrNotAtAll) {
    enum Fault { None, DiskFull, HeldOpen, UserTemporary, TooLong };
    const struct {
        bool create; // CreateFileComplete, else ReplaceFileContents
        bool exists;
        Fault fault;
        uint32_t error; // 0: succeeds
    } cases[] = {
        {false, true, None, 0},     {false, false, None, 0},         {false, true, DiskFull, 112},
        {false, true, HeldOpen, 5}, {false, true, UserTemporary, 0}, {false, true, TooLong, 206},
        {true, false, None, 0},     {true, true, None, 183},         {true, false, DiskFull, 112},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.create << c.exists << c.fault);
        sim::Reset();
        const std::string path = c.fault == TooLong ? "d\\" + std::string(253, 'x') : "d\\list.txt";
        sim::AddFolder("d");
        if (c.exists) sim::AddFile(path, "old");
        if (c.fault == DiskFull) sim::FailWritesAfter(3);
        if (c.fault == UserTemporary) sim::AddFile(path + ".1.tmp", "user's");
        platform::Handle held =
            c.fault == HeldOpen ? sim::HoldOpen(path, platform::kShareRead | platform::kShareWrite)
                                : nullptr;
        const bool ok = c.create ? CreateFileComplete(path.c_str(), "new text", 8)
                                 : ReplaceFileContents(path.c_str(), "new text", 8);
        EXPECT_EQ(ok, c.error == 0);
        EXPECT_EQ(ok ? 0u : platform::GetLastError(), c.error);
        EXPECT_EQ(sim::FileText(path), ok ? "new text" : c.exists ? "old" : "");
        EXPECT_EQ(sim::ListFolder("d").size(),
                  (ok || c.exists ? 1u : 0u) + (c.fault == UserTemporary));
        if (c.fault == UserTemporary) {
            EXPECT_EQ(sim::FileText(path + ".1.tmp"), "user's");
        }
        EXPECT_EQ(sim::OpenFileHandles(), 0);
        if (held) sim::CloseHeld(held);
    }
}
