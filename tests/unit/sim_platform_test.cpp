// The simulated platform keeps the Windows rules that the logic relies on; these tests
// pin the rules down so that a test of the logic fails for the logic's faults only.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/files.h"
#include "platform/media.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "platform/window.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using SimPlatform = SimTest;

TEST_F(SimPlatform, RandomIsTheCRuntimeGenerator) {
    platform::SeedRandom(1);
    EXPECT_EQ(platform::NextRandom(), 41);
    EXPECT_EQ(platform::NextRandom(), 18467);
    EXPECT_EQ(platform::NextRandom(), 6334);
    EXPECT_EQ(sim::RandSequence(1, 3), (std::vector<int>{41, 18467, 6334}));
}

TEST_F(SimPlatform, ClockAdvancesOnlyBySleepBeepAndWaitingGetState) {
    const uint32_t start = platform::GetTickCount();
    platform::Sleep(50);
    platform::Beep(1400, 100);
    EXPECT_EQ(platform::GetTickCount(), start + 150);
    EXPECT_EQ(sim::Beeps(), (BeepList{{1400, 100}}));
    EXPECT_THAT(sim::Log(), ElementsAre("Sleep 50", "Beep 1400 100"));
}

TEST_F(SimPlatform, ComObjectsAreCountedAndADoubleReleaseIsCaught) {
    ASSERT_EQ(platform::CoInitialize(), platform::kSOk);
    EXPECT_EQ(platform::CoInitialize(), platform::kSFalse); // already initialised
    platform::ComPtr graph = nullptr, control = nullptr;
    ASSERT_EQ(platform::CreateFilterGraph(&graph), platform::kSOk);
    ASSERT_EQ(
        platform::QueryGraphInterface(graph, platform::GraphInterface::MediaControl, &control),
        platform::kSOk);
    EXPECT_EQ(sim::LiveComObjects(), 2);
    platform::Release(control);
    platform::Release(graph);
    EXPECT_EQ(sim::LiveComObjects(), 0);
    EXPECT_THAT(sim::Errors(), IsEmpty());
    platform::Release(graph);
    EXPECT_EQ(sim::Errors().size(), 1u);
    EXPECT_EQ(platform::Run(control), sim::kEPointer); // a released interface
    EXPECT_EQ(sim::Errors().size(), 2u);
    sim::ClearErrors();
    platform::CoUninitialize();
    platform::CoUninitialize();
    platform::CoUninitialize(); // one more than succeeded
    EXPECT_EQ(sim::Errors().size(), 1u);
    sim::ClearErrors();
}

TEST_F(SimPlatform, GraphWithoutComIsRefused) {
    platform::ComPtr graph = reinterpret_cast<platform::ComPtr>(1);
    EXPECT_EQ(platform::CreateFilterGraph(&graph), static_cast<platform::HResult>(0x800401F0u));
    EXPECT_EQ(graph, nullptr);
}

TEST_F(SimPlatform, GraphRendersWalksAndRemovesFilters) {
    platform::CoInitialize();
    sim::AddFile("bgm\\a.mp3", "ID3");
    platform::ComPtr graph = nullptr, audio = nullptr, e = nullptr, f = nullptr;
    platform::CreateFilterGraph(&graph);
    EXPECT_EQ(platform::RenderFile(graph, u"bgm/A.MP3"), platform::kSOk);
    EXPECT_EQ(platform::RenderFile(graph, u"missing.mp3"), platform::kErrFileNotFound);
    EXPECT_EQ(sim::LastGraph().filters.size(), 2u);
    EXPECT_EQ(sim::LastGraph().stopTime, 180.0);

    ASSERT_EQ(platform::EnumFilters(graph, &e), platform::kSOk);
    int removed = 0;
    while (platform::NextFilter(e, &f) == platform::kSOk) {
        removed += platform::RemoveFilter(graph, f) == platform::kSOk ? 1 : 0;
        platform::Release(f);
    }
    platform::Release(e);
    EXPECT_EQ(removed, 2);
    EXPECT_THAT(sim::LastGraph().filters, IsEmpty());

    platform::QueryGraphInterface(graph, platform::GraphInterface::BasicAudio, &audio);
    EXPECT_EQ(platform::put_Volume(audio, -2032), platform::kSOk);
    EXPECT_EQ(platform::put_Volume(audio, -10001), platform::kEInvalidArg);
    EXPECT_EQ(platform::put_Volume(audio, 1), platform::kEInvalidArg);
    EXPECT_EQ(sim::LastGraph().volume, -2032);
    platform::Release(audio);
    platform::Release(graph);
    EXPECT_EQ(sim::LiveComObjects(), 0);
    platform::CoUninitialize();
}

TEST_F(SimPlatform, ScriptedResultsComeFirstAndWaitingAdvancesTheClock) {
    platform::CoInitialize();
    platform::ComPtr graph = nullptr, control = nullptr, events = nullptr;
    platform::CreateFilterGraph(&graph);
    platform::QueryGraphInterface(graph, platform::GraphInterface::MediaControl, &control);
    platform::QueryGraphInterface(graph, platform::GraphInterface::MediaEvent, &events);
    sim::Script(sim::Op::Run, {platform::kSFalse});
    sim::Script(sim::Op::GetState, platform::kVfwStateIntermediate, 2);
    const uint32_t start = sim::Now();
    EXPECT_EQ(platform::Run(control), platform::kSFalse);
    EXPECT_EQ(platform::GetState(control, 250), platform::kVfwStateIntermediate);
    EXPECT_EQ(platform::GetState(control, 250), platform::kVfwStateIntermediate);
    EXPECT_EQ(platform::GetState(control, 250), platform::kSOk);
    EXPECT_EQ(sim::Now() - start, 500u);
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);

    int32_t code = 0;
    intptr_t p1 = 0, p2 = 0;
    EXPECT_EQ(platform::GetEvent(events, &code, &p1, &p2, 0), sim::kEAbort);
    sim::PushGraphEvent(1);
    EXPECT_EQ(platform::GetEvent(events, &code, &p1, &p2, 0), platform::kSOk);
    EXPECT_EQ(code, 1);
    for (platform::ComPtr p : {events, control, graph})
        platform::Release(p);
    platform::CoUninitialize();
}

TEST_F(SimPlatform, FilesFollowWindowsPathsAndSharing) {
    sim::AddFile("C:\\Game\\Sound\\List.txt", "abc");
    EXPECT_TRUE(platform::FileExists("sound/list.TXT"));
    platform::Handle r = platform::OpenFileForRead("sound\\..\\Sound\\list.txt");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(platform::GetFileSize(r), 3u);
    platform::CloseObject(r);
    EXPECT_EQ(platform::OpenFileForRead("nothere.txt"), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
    EXPECT_EQ(platform::CreateNewFile("nofolder\\x.txt"), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);

    sim::FailWritesAfter(4);
    platform::Handle w = platform::CreateNewFile("sound\\new.txt");
    uint32_t written = 0;
    EXPECT_FALSE(platform::WriteFile(w, "123456", 6, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(platform::GetLastError(), sim::kErrorDiskFull);
    platform::CloseObject(w);
    EXPECT_EQ(sim::FileText("sound\\new.txt"), "1234");
    platform::CloseObject(w);
    EXPECT_EQ(sim::Errors().size(), 1u); // closed twice
    sim::ClearErrors();
}

// What each operation on a file meets while another program holds it open for reading
// with these share flags (0 = success, else the last error), as measured under Wine.
TEST_F(SimPlatform, SharingFlagsDecideWhatOthersMayDo) {
    using namespace platform;
    const struct {
        unsigned held;
        uint32_t read, readWrite, remove, replaceOnto, moveAway, copy;
    } cases[] = {
        {kShareRead, 0, 32, 32, 5, 32, 0},
        {kShareRead | kShareWrite, 0, 0, 32, 5, 32, 0},
        {kShareRead | kShareDelete, 0, 32, 0, 5, 0, 0},
        {kShareRead | kShareWrite | kShareDelete, 0, 0, 0, 5, 0, 0},
        {kShareWrite, 32, 32, 32, 5, 32, 32},
    };
    auto result = [](bool ok) { return ok ? 0u : GetLastError(); };
    auto opened = [&](Handle h) {
        if (h) CloseObject(h);
        return result(h != nullptr);
    };
    for (const auto& c : cases) {
        sim::Reset();
        sim::AddFile("a.mp3", "abc");
        sim::AddFile("new.tmp", "xyz");
        Handle held = sim::HoldOpen("a.mp3", c.held);
        EXPECT_EQ(opened(OpenFileForRead("a.mp3")), c.read) << c.held;
        EXPECT_EQ(opened(OpenFileForReadWrite("a.mp3", kShareRead | kShareWrite)), c.readWrite)
            << c.held;
        EXPECT_EQ(result(ReplaceFileWith("new.tmp", "a.mp3")), c.replaceOnto) << c.held;
        EXPECT_EQ(result(CopyFileNoOverwrite("a.mp3", "b.mp3")), c.copy) << c.held;
        EXPECT_EQ(result(MoveFileNoReplace("a.mp3", "c.mp3")), c.moveAway) << c.held;
        const char* const now = c.moveAway ? "a.mp3" : "c.mp3";
        EXPECT_EQ(result(RemoveFile(now)), c.remove) << c.held;
        EXPECT_EQ(sim::OpenFileHandles(), 0);
        sim::CloseHeld(held);
    }
}

TEST_F(SimPlatform, DirectorySearchMatchesAndReportsLikeWindows) {
    sim::AddFile("bgm\\b.MP3", "");
    sim::AddFile("bgm\\a.mp3x", "");
    sim::AddFile("bgm\\c.mp3", "");
    char name[platform::kMaxPath];
    EXPECT_EQ(platform::FindFirst("nofolder\\*.mp3", name), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
    EXPECT_EQ(platform::FindFirst("bgm\\*.ogg", name), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
    platform::Handle s = platform::FindFirst("bgm/*.mp3", name);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(name, "b.MP3");
    EXPECT_TRUE(platform::FindNext(s, name));
    EXPECT_STREQ(name, "c.mp3");
    EXPECT_FALSE(platform::FindNext(s, name));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNoMoreFiles);
    platform::FindClose(s);
    EXPECT_EQ(sim::OpenSearches(), 0);
}

TEST_F(SimPlatform, DirectorySearchSeesFilesRenamedAndRemovedSinceTheLast) {
    sim::AddFile("bgm\\a.mp3", "");
    sim::AddFile("bgm\\b.mp3", "");
    auto listed = [] {
        std::vector<std::string> names;
        char name[platform::kMaxPath];
        platform::Handle s = platform::FindFirst("bgm\\*.mp3", name);
        for (bool more = s != nullptr; more; more = platform::FindNext(s, name))
            names.emplace_back(name);
        if (s) platform::FindClose(s);
        return names;
    };
    EXPECT_THAT(listed(), ElementsAre("a.mp3", "b.mp3"));
    ASSERT_TRUE(platform::MoveFileNoReplace("bgm\\a.mp3", "bgm\\c.mp3"));
    EXPECT_THAT(listed(), ElementsAre("c.mp3", "b.mp3"));
    ASSERT_TRUE(platform::RemoveFile("bgm\\b.mp3"));
    sim::AddFile("bgm\\d.mp3", "");
    EXPECT_THAT(listed(), ElementsAre("c.mp3", "d.mp3"));
}

TEST_F(SimPlatform, ProfileReadingRules) {
    sim::AddFile("plugins\\p.ini", "[other]\r\nA=9\r\n[ SETTINGS ]\r\n  a =  -5  \r\nb=2x\r\n"
                                   "c=abc\r\nd=\r\ns=  \"quoted text\"  \r\n");
    const char* f = "plugins\\p.ini";
    EXPECT_EQ(platform::ReadProfileInt("settings", "A", 7, f), -5);
    EXPECT_EQ(platform::ReadProfileInt("Settings", "b", 7, f), 2);
    EXPECT_EQ(platform::ReadProfileInt("Settings", "c", 7, f), 0);
    EXPECT_EQ(platform::ReadProfileInt("Settings", "d", 7, f), 7);
    EXPECT_EQ(platform::ReadProfileInt("Settings", "e", 7, f), 7);
    EXPECT_EQ(platform::ReadProfileInt("Settings", "a", 7, "p.ini"), 7); // Windows folder
    char out[8];
    EXPECT_EQ(platform::ReadProfileString("Settings", "s", "x", out, sizeof out, f), 7u);
    EXPECT_STREQ(out, "quoted ");
    EXPECT_EQ(platform::ReadProfileString("Settings", "z", "dflt", out, sizeof out, f), 4u);
    EXPECT_STREQ(out, "dflt");
    // The section's key names, each ended by a zero; a list cut short answers size - 2.
    char names[16];
    EXPECT_EQ(platform::ReadProfileKeyNames("settings", names, sizeof names, f), 10u);
    EXPECT_EQ(std::string(names, 11), std::string("a\0b\0c\0d\0s\0\0", 11));
    EXPECT_EQ(platform::ReadProfileKeyNames("settings", names, 5, f), 3u);
    EXPECT_EQ(std::string(names, 5), std::string("a\0b\0\0", 5));
}

TEST_F(SimPlatform, ProfileWriteChangesOnlyItsLine) {
    const std::string before = "; comment\r\n[Settings]\r\nDebug=1\r\nSubVolume = 3\r\n\r\n[x]\r\n";
    sim::AddFile("plugins\\p.ini", before);
    EXPECT_TRUE(platform::WriteProfileValue("settings", "subvolume", "-8", "plugins\\p.ini"));
    EXPECT_EQ(sim::FileText("plugins\\p.ini"),
              "; comment\r\n[Settings]\r\nDebug=1\r\nSubVolume=-8\r\n\r\n[x]\r\n");
    EXPECT_TRUE(platform::WriteProfileValue("x", "k", "v", "plugins\\p.ini"));
    EXPECT_TRUE(platform::WriteProfileValue("new", "k", "v", "plugins\\p.ini"));
    EXPECT_EQ(sim::FileText("plugins\\p.ini"),
              "; comment\r\n[Settings]\r\nDebug=1\r\n"
              "SubVolume=-8\r\n\r\n[x]\r\nk=v\r\n[new]\r\nk=v\r\n");
    EXPECT_TRUE(platform::WriteProfileValue("Settings", "SubVolume", "1", "plugins\\q.ini"));
    EXPECT_EQ(sim::FileText("plugins\\q.ini"), "[Settings]\r\nSubVolume=1\r\n");
    EXPECT_FALSE(platform::WriteProfileValue("Settings", "SubVolume", "1", "none\\q.ini"));
}

TEST_F(SimPlatform, HookMessagesBoxesAndOutputModule) {
    static platform::HookMessage seen;
    auto proc = [](int code, uintptr_t wParam, intptr_t lParam) -> intptr_t {
        seen = platform::ReadHookMessage(lParam);
        return platform::CallNextHook(nullptr, code, wParam, lParam);
    };
    platform::Handle hook = platform::InstallMessageHook(proc, nullptr, sim::kHostThreadId);
    EXPECT_EQ(sim::PressKey(0x75), sim::kNextHookResult);
    EXPECT_EQ(seen.message, platform::kWmKeyDown);
    EXPECT_EQ(seen.wParam, 0x75u);
    EXPECT_TRUE(platform::RemoveMessageHook(hook));
    EXPECT_FALSE(platform::RemoveMessageHook(hook));
    EXPECT_EQ(sim::Errors().size(), 1u); // removed twice
    sim::ClearErrors();

    sim::AnswerBoxes({platform::kIdNo});
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "t", "c", platform::kMbYesNo), platform::kIdNo);
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "t", "c", platform::kMbYesNo), platform::kIdYes);
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "t", "c", platform::kMbOk), platform::kIdOk);

    Out_Module* out = sim::OutModule();
    out->Pause(1);
    out->SetVolume(-2032);
    EXPECT_THAT(sim::OutModCalls(), ElementsAre("out.Pause 1", "out.SetVolume -2032"));

    char text[20];
    EXPECT_EQ(platform::LoadStringResource(nullptr, 101, text, sizeof text), 19);
    EXPECT_STREQ(text, "<<<< Key List - Orv");
}

TEST_F(SimPlatform, ThreadsRunWhenTheCallerSleeps) {
    static uint32_t ranOn = 0;
    platform::Handle t = platform::StartThread(
        [](void*) -> uint32_t { return ranOn = platform::GetCurrentThreadId(); }, nullptr);
    EXPECT_EQ(ranOn, 0u);
    platform::Sleep(10);
    EXPECT_EQ(ranOn, 2001u);
    EXPECT_EQ(platform::GetCurrentThreadId(), sim::kHostThreadId);
    platform::CloseObject(t);
}

TEST_F(SimPlatform, MemoryIsTrackedAndFailsOnRequest) {
    sim::FailAllocation(1);
    void* a = platform::AllocZeroed(16);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(static_cast<char*>(a)[15], 0);
    EXPECT_EQ(platform::AllocZeroed(16), nullptr);
    EXPECT_EQ(sim::LiveAllocations(), 1);
    platform::FreeMemory(a);
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

TEST_F(SimPlatform, MemoryNotZeroedIsTrackedAndFailsOnRequest) {
    sim::FailAllocation(1);
    void* a = platform::Alloc(16);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(platform::Alloc(16), nullptr);
    EXPECT_EQ(sim::LiveAllocations(), 1);
    platform::FreeMemory(a);
    EXPECT_EQ(sim::LiveAllocations(), 0);
}

TEST_F(SimPlatform, CodePageLeadBytes) {
    EXPECT_FALSE(platform::IsDbcsLeadByte(0x82));
    sim::SetCodePage932(true);
    EXPECT_TRUE(platform::IsDbcsLeadByte(0x81));
    EXPECT_TRUE(platform::IsDbcsLeadByte(0xFC));
    EXPECT_FALSE(platform::IsDbcsLeadByte(0xA0));
    EXPECT_FALSE(platform::IsDbcsLeadByte('A'));
    platform::UseCodePage(936); // a code page chosen wins over the system's
    EXPECT_TRUE(platform::IsDbcsLeadByte(0xA0));
    platform::UseCodePage(0);
    EXPECT_FALSE(platform::IsDbcsLeadByte(0xA0));
}

// In code page 932 a lead byte and the byte after it are one character: that second byte
// is never a separator ("\x95\x5C" is a kanji) and never a letter to fold ("\x83\x61" and
// "\x83\x41" are two katakana). In code page 1252 each byte is a character.
TEST_F(SimPlatform, NamesAreReadCharacterByCharacter) {
    const struct {
        bool codePage932;
        std::string file, probe;
        bool found;
        std::string folder, listed; // ListFolder(folder) holds `listed`
    } cases[] = {
        {true, "\x83\x61.mp3", "\x83\x41.mp3", false, ".", "\x83\x61.mp3"},
        {false, "\x83\x61.mp3", "\x83\x41.mp3", true, ".", "\x83\x61.mp3"},
        {true, "\x83\x61.MP3", "\x83\x61.mp3", true, ".", "\x83\x61.MP3"},
        {true, "Sound\\\x95\x5C.mp3", "sound\\\x95\x5C.MP3", true, "sound", "\x95\x5C.mp3"},
        {false, "Sound\\\x95\x5C.mp3", "sound\\\x95\\.MP3", true, "sound\\\x95", ".mp3"},
        {true, "\x95\x5C\\a.mp3", "\x95\x5C/A.MP3", true, "\x95\x5C", "a.mp3"},
        {true, "\x95\x5C\\a.mp3", "\x95\\a.mp3", false, "\x95\x5C", "a.mp3"},
        {true, "a\x95\x5C\x5C\x83\x5C", "A\x95\x5C/\x83\x5C", true, "a\x95\x5C", "\x83\x5C"},
    };
    for (const auto& c : cases) {
        sim::Reset();
        sim::SetCodePage932(c.codePage932);
        sim::AddFile(c.file, "x");
        EXPECT_EQ(platform::FileExists(c.probe.c_str()), c.found) << c.probe;
        EXPECT_THAT(sim::ListFolder(c.folder), ::testing::Contains(c.listed)) << c.file;
    }
}

// A search's '?' stands for one character, a double-byte one too, and its letters match
// in any case outside double-byte characters only (code page 932).
TEST_F(SimPlatform, SearchMatchesCharacterByCharacter) {
    sim::SetCodePage932(true);
    for (const char* name : {"\x83\x61.mp3", "\x83\x41.mp3", "a.mp3", "ab.mp3", "\x95\x5C.mp3"})
        sim::AddFile(std::string("bgm\\") + name, "");
    const struct {
        const char* pattern;
        std::vector<std::string> found;
    } cases[] = {
        {"bgm\\?.mp3", {"\x83\x61.mp3", "\x83\x41.mp3", "a.mp3", "\x95\x5C.mp3"}},
        {"bgm\\\x83\x61.*", {"\x83\x61.mp3"}},
        {"bgm\\A?.MP3", {"ab.mp3"}},
        {"bgm\\*\x95\x5C.mp3", {"\x95\x5C.mp3"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> found;
        char name[platform::kMaxPath];
        platform::Handle s = platform::FindFirst(c.pattern, name);
        for (bool more = s != nullptr; more; more = platform::FindNext(s, name))
            found.push_back(name);
        if (s) platform::FindClose(s);
        EXPECT_EQ(found, c.found) << c.pattern;
    }
}

TEST_F(SimPlatform, EnteringAFolder) {
    sim::AddFile("plugins\\p.ini", "");
    EXPECT_FALSE(platform::SetCurrentDir("nothere"));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
    EXPECT_FALSE(platform::SetCurrentDir("plugins\\p.ini"));
    EXPECT_TRUE(platform::SetCurrentDir("PLUGINS"));
    char dir[64];
    platform::GetCurrentDir(dir, sizeof dir);
    EXPECT_STREQ(dir, "C:\\Game\\PLUGINS");
}
