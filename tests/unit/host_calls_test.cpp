// A host may call the entry points in any order: before Init, after Quit, twice in a
// row, with no output module or no game window, Quit without Init. Nothing crashes,
// nothing is released or closed twice (the fixture fails a test that leaves misuse), and
// after the host's last Quit nothing is held.
#include <string>
#include <vector>

#include "fixture.h"

namespace {
// Every entry point of the record but Init and Quit.
void CallEveryEntryPoint() {
    char title[8] = "title", eq[10] = {};
    int length = 7;
    const platform::Hwnd window = Module.hMainWindow;
    Module.Config(window);
    Module.About(window);
    Module.GetFileInfo("sound\\a.mp3", title, &length);
    EXPECT_EQ(Module.InfoBox("sound\\a.mp3", window), 0);
    EXPECT_EQ(Module.IsOurFile("sound\\a.mp3"), 1);
    Module.Play("sound\\list.txt");
    Module.SetVolume(200);
    Module.SetPan(5);
    Module.Pause();
    Module.IsPaused();
    Module.UnPause();
    EXPECT_EQ(Module.GetLength(), 0);
    EXPECT_EQ(Module.GetOutputTime(), 0);
    Module.SetOutputTime(1000);
    Module.EQSet(1, eq, 0);
    Module.Play("sound\\a.mp3");
    Module.Stop();
    EXPECT_STREQ(title, "title");
    EXPECT_EQ(length, 7);
}

struct HostCase {
    const char* name;
    std::vector<std::string> steps; // init, quit, calls
    bool outMod = true, window = true;
    friend std::ostream& operator<<(std::ostream& os, const HostCase& c) { return os << c.name; }
};
} // namespace

class HostCalls : public ModuleTest, public ::testing::WithParamInterface<HostCase> {};

TEST_P(HostCalls, LeaveNothingBehind) {
    const HostCase& c = GetParam();
    WriteSettings("UseExPause=1\r\nDisplayToWindowText=1\r\nPauseMode=5\r\nSubVolume=10\r\n");
    sim::AddFile("C:\\Game\\sound\\a.mp3", "tune");
    sim::AddFile("C:\\Game\\sound\\list.txt", "[Orvalin_BGMList]\r\n[List]\r\nsound\\a.mp3\r\n");
    if (!c.outMod) Module.outMod = nullptr;
    if (!c.window) Module.hMainWindow = nullptr;
    for (const std::string& step : c.steps) {
        SCOPED_TRACE(step);
        if (step == "init")
            Module.Init();
        else if (step == "quit")
            Module.Quit();
        else
            CallEveryEntryPoint();
    }
    EXPECT_EQ(sim::HooksInstalled(), 0);
    EXPECT_EQ(sim::ComInitCount(), 0);
    EXPECT_EQ(sim::OpenThreadHandles(), 0);
    EXPECT_EQ(sim::LiveComObjects(), 0);
    EXPECT_EQ(sim::OpenFileHandles(), 0);
    EXPECT_EQ(sim::LiveAllocations(), 0);
    EXPECT_FALSE(sim::AcceptsDrops(sim::kGameWindow));
    EXPECT_FALSE(sim::TimerRunning(Module.hMainWindow, TitleNotice::kTimerId));
}

INSTANTIATE_TEST_SUITE_P(
    Orders, HostCalls,
    ::testing::Values(HostCase{"BeforeInit", {"calls", "init", "quit"}},
                      HostCase{"AfterQuit", {"init", "quit", "calls", "quit"}},
                      HostCase{"TwiceInARow", {"init", "init", "calls", "calls", "quit", "quit"}},
                      HostCase{"NoOutputModule", {"init", "calls", "quit"}, false},
                      HostCase{"NoGameWindow", {"init", "calls", "quit"}, true, false},
                      HostCase{"QuitWithoutInit", {"quit", "quit"}}));
