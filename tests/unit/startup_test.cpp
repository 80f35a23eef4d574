// Start-up and shut-down: what Init sets up, in which order, what each failure leaves
// behind, and that Quit undoes everything exactly once, however often it runs.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Startup = ModuleTest;

namespace {
// Log indices of the calls, in the order given; -1 where one is missing.
std::vector<int> Positions(std::initializer_list<const char*> calls) {
    std::vector<int> at;
    for (const char* call : calls)
        at.push_back(sim::Find(call));
    return at;
}
bool Increasing(const std::vector<int>& at) {
    for (size_t i = 0; i < at.size(); ++i)
        if (at[i] < 0 || (i > 0 && at[i] <= at[i - 1])) return false;
    return true;
}
} // namespace

TEST_F(Startup, InitStepsInOrder) {
    WriteSettings("UseExPause=1\r\n");
    sim::SetWindowTitle(sim::kGameWindow, "Fight!");
    StartModule();
    const auto at = Positions(
        {"srand", "GetWindowText", "GetPrivateProfileInt Settings InitRandom", "DragAcceptFiles 1",
         "CoInitialize", "CreateFilterGraph", "QueryInterface MediaControl",
         "QueryInterface MediaEvent", "QueryInterface MediaPosition", "QueryInterface BasicAudio",
         "SetNotifyWindow 0x405", "SetWindowsHookEx 1000", "CreateToolhelp32Snapshot"});
    EXPECT_TRUE(Increasing(at)) << sim::LogText();
    EXPECT_STREQ(TitleNotice::Queue.SavedTitle, "Fight!");
    EXPECT_TRUE(MediaGraph.Ready);
    EXPECT_FALSE(MediaGraph.Rendered);
    EXPECT_EQ(sim::InstalledHook(), &KeyHook);
    EXPECT_EQ(sim::HookThread(), sim::kHostThreadId);
    EXPECT_TRUE(sim::AcceptsDrops(sim::kGameWindow));
    EXPECT_EQ(sim::LastGraph().notifyWindow, sim::kGameWindow);
    EXPECT_EQ(sim::LastGraph().notifyMessage, platform::kWmGraphNotify);
    EXPECT_EQ(sim::LastGraph().notifyInstance, 0);
    EXPECT_EQ(sim::OpenFileHandles(), 0);
    EXPECT_FALSE(sim::Called("put_Volume")); // no volume until the host or a render sets one
}

TEST_F(Startup, InitResetsTheModuleState) {
    PlayerState.Muted = true;
    PlayerState.HostVolume = 200;
    PlayerState.PlayMode = PlaySource::Folder;
    FillEntries(3);
    PlayerState.Adjust = 500;
    PlayerState.Hosei = 10080;
    PlayerState.VolumeByKey = true;
    PlayerState.ListModified = true;
    PlayerState.Playing = true;
    std::strcpy(ScratchText, "old text");
    StartModule();
    EXPECT_FALSE(PlayerState.Muted);
    EXPECT_EQ(PlayerState.HostVolume, kVolumeUnknown);
    EXPECT_EQ(PlayerState.PlayMode, PlaySource::SingleFile);
    EXPECT_EQ(PlayerState.Entries.Count(), 0);
    EXPECT_EQ(PlayerState.Adjust, 0);
    EXPECT_EQ(PlayerState.Hosei, 0);
    EXPECT_FALSE(PlayerState.VolumeByKey);
    EXPECT_FALSE(PlayerState.ListModified);
    EXPECT_FALSE(PlayerState.Playing);
}

TEST_F(Startup, SavedTitleKeepsAtMost255Characters) {
    sim::SetWindowTitle(sim::kGameWindow, std::string(300, 't'));
    StartModule();
    EXPECT_EQ(std::string(TitleNotice::Queue.SavedTitle), std::string(255, 't'));
}

TEST_F(Startup, ChimeOnlyWithBeepExactlyOne) {
    WriteSettings("Beep=1\r\n");
    StartModule();
    EXPECT_EQ(sim::Beeps(), (BeepList{{1200, 100}, {1200, 100}}));
    EXPECT_EQ(sim::Find("Sleep 50"), sim::Find("Beep 1200 100") + 1);
    QuitModule();
    sim::Reset();
    WriteSettings("Beep=2\r\n");
    StartModule();
    EXPECT_THAT(sim::Beeps(), IsEmpty());
}

struct ComCase {
    uint32_t result;
    int beeps;       // 1400 Hz beeps; -1: start-up goes on
    bool uninitOnce; // Quit balances it with one CoUninitialize
    friend std::ostream& operator<<(std::ostream& os, const ComCase& c) {
        return os << std::hex << "CoInitialize 0x" << c.result;
    }
};

class ComStart : public ModuleTest, public ::testing::WithParamInterface<ComCase> {};

TEST_P(ComStart, EachResultOfCoInitialize) {
    const ComCase& c = GetParam();
    WriteSettings("Beep=2\r\nMsgBoxOnError=1\r\n");
    sim::Script(sim::Op::CoInitialize, {static_cast<platform::HResult>(c.result)});
    StartModule();
    const bool goesOn = c.beeps < 0;
    EXPECT_EQ(MediaGraph.Ready, goesOn);
    EXPECT_EQ(sim::Called("CreateFilterGraph"), goesOn);
    EXPECT_EQ(sim::HooksInstalled(), goesOn ? 1 : 0);
    EXPECT_EQ(sim::Called("CreateToolhelp32Snapshot"), goesOn);
    EXPECT_EQ(sim::Beeps(), BeepList(goesOn ? 0 : static_cast<size_t>(c.beeps), {1400, 100}));
    EXPECT_EQ(sim::Count("Sleep 50"), goesOn ? 0 : c.beeps - 1);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    QuitModule();
    EXPECT_EQ(sim::Count("CoUninitialize"), c.uninitOnce ? 1 : 0);
    EXPECT_EQ(sim::ComInitCount(), 0);
    EXPECT_EQ(sim::Count("UnhookWindowsHookEx"), goesOn ? 1 : 0);
    EXPECT_THAT(sim::Boxes(), IsEmpty());
    EXPECT_EQ(sim::LiveComObjects(), 0);
    EXPECT_FALSE(sim::AcceptsDrops(sim::kGameWindow));
}

INSTANTIATE_TEST_SUITE_P(
    Results, ComStart,
    ::testing::Values(ComCase{0x00000000u, -1, true}, ComCase{0x00000001u, -1, true},
                      ComCase{0x80010106u, -1, false}, ComCase{0x80070057u, 1, false},
                      ComCase{0x8007000Eu, 2, false}, ComCase{0x8000FFFFu, 3, false},
                      ComCase{0x80004005u, 5, false}, ComCase{0x12345678u, 5, false}));

struct InitDsCase {
    sim::Op failing;
    BeepList beeps; // from InitDS itself
    bool shutDown;
    friend std::ostream& operator<<(std::ostream& os, const InitDsCase& c) {
        return os << "step " << static_cast<int>(c.failing);
    }
};

class InitDsFailure : public ModuleTest, public ::testing::WithParamInterface<InitDsCase> {};

TEST_P(InitDsFailure, BeepsShutDownAndASecondQuitIsHarmless) {
    const InitDsCase& c = GetParam();
    WriteSettings("Beep=2\r\nMsgBoxOnError=1\r\nUseExPause=1\r\nSubVolume=3\r\n");
    sim::Script(c.failing, {platform::kENoInterface});
    StartModule();

    BeepList expected = c.beeps;
    for (int i = 0; i < 3; ++i)
        expected.push_back({500, 500});
    EXPECT_EQ(sim::Beeps(), expected);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, "Initialize failed in InitDS Function");
    EXPECT_EQ(sim::Boxes()[0].caption, "Error");
    EXPECT_EQ(sim::Boxes()[0].owner, sim::kGameWindow);
    EXPECT_FALSE(MediaGraph.Ready);

    // The shut-down ran inside Init when the table says so: drops off, COM given back,
    // the sub-volume written; the hook still goes in.
    const int hookAt = sim::Find("SetWindowsHookEx");
    ASSERT_GE(hookAt, 0);
    const int uninitAt = sim::Find("CoUninitialize");
    EXPECT_EQ(uninitAt >= 0 && uninitAt < hookAt, c.shutDown);
    EXPECT_EQ(sim::AcceptsDrops(sim::kGameWindow), !c.shutDown);
    EXPECT_EQ(sim::Called("WritePrivateProfileString"), c.shutDown);
    EXPECT_EQ(sim::HooksInstalled(), 1);

    QuitModule();
    EXPECT_EQ(sim::Count("CoUninitialize"), 1);
    EXPECT_EQ(sim::ComInitCount(), 0);
    EXPECT_EQ(sim::HooksInstalled(), 0);
    EXPECT_EQ(sim::OpenThreadHandles(), 0);
    EXPECT_EQ(sim::LiveComObjects(), 0);
    EXPECT_FALSE(sim::AcceptsDrops(sim::kGameWindow));
    EXPECT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::FileText(kSettingsPath),
              "[Settings]\r\nBeep=2\r\nMsgBoxOnError=1\r\nUseExPause=1\r\nSubVolume=3\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, InitDsFailure,
    ::testing::Values(InitDsCase{sim::Op::CreateFilterGraph, {}, true},
                      InitDsCase{sim::Op::QueryMediaControl, {}, true},
                      InitDsCase{sim::Op::QueryMediaEvent, {{500, 100}, {700, 100}}, true},
                      InitDsCase{sim::Op::QueryMediaPosition, {{500, 100}}, true},
                      InitDsCase{sim::Op::QueryBasicAudio, {{700, 200}, {500, 400}}, false}));

TEST_F(Startup, InitDsFailureWithoutBeepOrBoxesIsSilent) {
    sim::Script(sim::Op::QueryMediaEvent, {platform::kENoInterface});
    StartModule();
    EXPECT_THAT(sim::Beeps(), IsEmpty());
    EXPECT_THAT(sim::Boxes(), IsEmpty());
}

TEST_F(Startup, BasicAudioFailureStillAsksForNotifications) {
    sim::Script(sim::Op::QueryBasicAudio, {platform::kENoInterface});
    StartModule();
    EXPECT_EQ(sim::LastGraph().notifyMessage, platform::kWmGraphNotify);
}

struct PreventerCase {
    const char* preventer1;
    const char* preventer2;
    bool muted;
    friend std::ostream& operator<<(std::ostream& os, const PreventerCase& c) {
        return os << "'" << c.preventer1 << "' '" << c.preventer2 << "'";
    }
};

class Preventer : public ModuleTest, public ::testing::WithParamInterface<PreventerCase> {};

TEST_P(Preventer, ARunningProgramMutesTheStart) {
    WriteSettings(std::string("Preventer1=") + GetParam().preventer1 +
                  "\r\nPreventer2=" + GetParam().preventer2 + "\r\n");
    sim::SetProcesses({"[System Process]", "HOST.EXE", "Recorder.Exe"});
    StartModule();
    EXPECT_EQ(PlayerState.Muted, GetParam().muted);
    EXPECT_EQ(sim::Count("CloseHandle snapshot"), 1);
}

INSTANTIATE_TEST_SUITE_P(Names, Preventer,
                         ::testing::Values(PreventerCase{"host.exe", "", true},
                                           PreventerCase{"", "RECORDER.EXE", true},
                                           PreventerCase{"nothing.exe", "recorder.exe", true},
                                           PreventerCase{"host", "", false},
                                           PreventerCase{"ost.exe", "HOST.EX", false},
                                           PreventerCase{"", "", false}));

TEST_F(Startup, FirstMatchEndsTheProgramWalk) {
    WriteSettings("Preventer1=a.exe\r\n");
    sim::SetProcesses({"A.EXE", "b.exe", "c.exe"});
    StartModule();
    EXPECT_TRUE(PlayerState.Muted);
    EXPECT_EQ(sim::Count("Process32Next"), 0);
}

TEST_F(Startup, FailedSnapshotFindsNoProgram) {
    WriteSettings("Preventer1=host.exe\r\n");
    sim::SetProcesses({"HOST.EXE"});
    sim::FailProcessSnapshot(true);
    StartModule();
    EXPECT_FALSE(PlayerState.Muted);
}

TEST_F(Startup, StartupTickIsTakenAtTheFirstInitOnly) {
    WriteSettings("InitRandom=2\r\n");
    sim::SetTickCount(123456);
    StartModule();
    EXPECT_EQ(PlayerState.StartupTick, 123456u);
    QuitModule();
    sim::SetTickCount(999999);
    StartModule();
    EXPECT_EQ(PlayerState.StartupTick, 123456u);
}

TEST_F(Startup, StartupTickStaysZeroForOtherInitRandomValues) {
    WriteSettings("InitRandom=1\r\n");
    StartModule();
    EXPECT_EQ(PlayerState.StartupTick, 0u);
}

// The game's thread is recorded, never opened: the extended pause parks it instead.
TEST_F(Startup, HostThreadIsRecordedAndOutlivesQuit) {
    sim::SetCurrentThreadId(4321);
    WriteSettings("UseExPause=1\r\n");
    StartModule();
    EXPECT_EQ(PlayerState.HostThreadId, 4321u);
    QuitModule();
    EXPECT_EQ(sim::OpenThreadHandles(), 0);
    EXPECT_EQ(PlayerState.HostThreadId, 4321u);
}

TEST_F(Startup, QuitStepsInOrder) {
    WriteSettings("UseExPause=1\r\nSubVolume=0\r\nDisplayToWindowText=1\r\n");
    sim::AddFile("a.mp3", "");
    StartModule();
    Module.Play("a.mp3");
    ASSERT_TRUE(PlayerState.Playing);
    ASSERT_GT(TitleNotice::Queue.Count, 0);
    sim::ClearLog();
    QuitModule();
    EXPECT_TRUE(Increasing(
        Positions({"Stop", "Release BasicAudio", "Release GraphBuilder", "CoUninitialize",
                   "KillTimer 77777", "WritePrivateProfileString Settings SubVolume 0",
                   "DragAcceptFiles 0", "UnhookWindowsHookEx"})))
        << sim::LogText();
    EXPECT_FALSE(PlayerState.Playing);
    EXPECT_FALSE(sim::TimerRunning(sim::kGameWindow, TitleNotice::kTimerId));
    EXPECT_EQ(sim::WindowTitle(sim::kGameWindow), "playing : a.mp3"); // not restored
    EXPECT_STREQ(ScratchText, "0");
}

TEST_F(Startup, QuitWithoutNoticesKillsNoTimer) {
    StartModule();
    QuitModule();
    EXPECT_FALSE(sim::Called("KillTimer"));
}

TEST_F(Startup, QuitLeavesTheTagAndTheStoredValueInScratchText) {
    StartModule();
    QuitModule();
    EXPECT_STREQ(ScratchText, "oSubVol = -22222");
}

// Some hosts start and stop the module around every tune in one process: each round
// must set everything up again and leave nothing of ours behind.
TEST_F(Startup, RepeatedInitAndQuitLeaveNothingBehind) {
    WriteSettings("UseExPause=1\r\nDisplayToWindowText=1\r\nChangeSoundOnLoop=1\r\n");
    sim::AddFile("C:\\Game\\sound\\a.mp3", "tune");
    sim::AddFile("C:\\Game\\sound\\list.txt", "[Orvalin_BGMList]\r\n[List]\r\nsound\\a.mp3\r\n");
    for (int round = 0; round < 3; ++round) {
        StartModule();
        EXPECT_EQ(sim::HooksInstalled(), 1);
        EXPECT_TRUE(sim::AcceptsDrops(sim::kGameWindow));
        EXPECT_TRUE(MediaGraph.Ready);
        EXPECT_EQ(Play("sound\\list.txt"), 0);
        EXPECT_TRUE(PlayerState.Playing) << "round " << round;
        EXPECT_TRUE(sim::TimerRunning(sim::kGameWindow, TitleNotice::kTimerId));
        QuitModule();
        EXPECT_EQ(sim::HooksInstalled(), 0);
        EXPECT_FALSE(sim::AcceptsDrops(sim::kGameWindow));
        EXPECT_FALSE(sim::TimerRunning(sim::kGameWindow, TitleNotice::kTimerId));
        EXPECT_EQ(sim::OpenThreadHandles(), 0);
        EXPECT_EQ(sim::LiveComObjects(), 0);
        EXPECT_EQ(sim::ComInitCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0) << "round " << round;
    }
}

// A host may resume before any tune was started: under the default pause mode that sets
// the empty graph running, and a file rendered into a running graph would stay silent.
TEST_F(Startup, ResumeBeforeTheFirstTuneStillLetsItPlay) {
    sim::AddFile("C:\\Game\\a.mp3", "tune");
    StartQuietly();
    UnPause();
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
    EXPECT_EQ(Play("a.mp3"), 0);
    const int stop = sim::Find("Stop");
    const int render = sim::Find("RenderFile");
    ASSERT_GE(stop, 0) << sim::LogText();
    EXPECT_LT(stop, render) << sim::LogText();
    EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running);
    EXPECT_EQ(sim::GraphsCreated(), 1);
}

// A module left in the middle of a tune (no Quit: its spare graphs, its level, a park
// request under way) and loaded anew into a fresh world starts and ends cleanly: nothing
// of the old world is used or given back.
TEST_F(ModuleTest, ResetModuleForgetsARunThatNeverQuit) {
    WriteSettings("InitRandom=0\r\nUseExPause=1\r\nPrepareNextTune=0\r\n");
    sim::AddFile("a.mp3", "");
    sim::AddFile("l.txt", "[orvalin_bgmlist]\r\n[list]\r\na.mp3,loop=5000\r\n");
    sim::SetRenderedDuration(180);
    Init();
    ASSERT_EQ(Module.Play("l.txt"), 0);
    ExPause::Start(ExPause::Request::PauseBox);    // cooperative: queued, not yet run
    ASSERT_GT(sim::Count("CreateFilterGraph"), 1); // the loop start's spares

    sim::Reset();
    ResetModule();
    Module.hMainWindow = sim::kGameWindow;
    Module.hDllInstance = sim::kModuleInstance;
    Module.outMod = sim::OutModule();
    WriteSettings("InitRandom=0\r\n");
    sim::AddFile("b.mp3", "");
    Init();
    EXPECT_EQ(Module.Play("b.mp3"), 0);
    Quit();
    EXPECT_EQ(sim::ComInitCount(), 0);
    EXPECT_EQ(sim::Count("CreateFilterGraph"), 1); // the new world's one graph
}
