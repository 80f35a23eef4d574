// The message hook: the first two bytes are settings, the rest a sequence of steps, each
// an opcode byte and its arguments: messages to the game window (keys with or without
// Ctrl, timers, drops, graph events, window requests, the park message, any number),
// posted messages handed on, peeked and non-action calls, calls of the host (play, stop,
// pause, volume, Init, Quit), No for the next box, and a failure of the graph or of COM
// for its next call. After every step the module's state is consistent: while it runs,
// the play mode and the entry table agree and no index lies outside it, the notice queue stays
// within its 20 slots and its timer runs exactly while it holds a notice (while the module is
// started, its title is the saved one once the queue is empty), a ready graph holds its
// five interfaces, every fixed text is terminated, the key adjustment stays within its
// limits, no tag cut or pause is left at work, and the platform saw no misuse (nothing
// released or closed twice). After the host's Quit, nothing is held. And no user file is
// written by mistake: a music file changes only by a tag cut, whose backup beside it holds
// its old bytes; stage files change and new lists appear only at Ctrl+R; a playlist changes
// only after a drop, and then holds the entries it was read with plus names dropped; the
// settings file changes only at the write-back; no file disappears.
#include <algorithm>
#include <map>
#include <set>

#include "fuzz.h"
#include "platform/system.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size, at = 0;
    bool More() const { return at < size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
};

const char* const kPlayNames[] = {"sound\\list.txt",
                                  "sound\\a.mp3",
                                  "sound\\b.ogg",
                                  "sound\\gone.mp3",
                                  "sound\\bgm\\x.rnd",
                                  "sound\\empty.txt",
                                  "",
                                  "sound/a.mp3"};
const int kKeys[] = {0x08, 0x35, 0x36, 0x48, 0x52, 0x58, 0x75, 0x76, 0x77, 0x78, 0x7A, 0x41};
const char* const kDropped[] = {"C:\\Game\\sound\\b.ogg", "D:\\music\\z.mp3",
                                "C:\\Game\\sound\\list.txt", "C:\\Game\\sound\\a.mp3"};
const uint32_t kMessages[] = {platform::kWmKeyDown,
                              platform::kWmTimer,
                              platform::kWmDropFiles,
                              platform::kWmGraphNotify,
                              platform::kWmBringToFront,
                              platform::kWmExPauseDone,
                              0x0101,
                              0};
const std::pair<sim::Op, platform::HResult> kFailures[] = {
    {sim::Op::RenderFile, platform::kEFail},
    {sim::Op::RenderFile, sim::kPartialRender},
    {sim::Op::Run, platform::kSFalse},
    {sim::Op::Pause, platform::kSFalse},
    {sim::Op::Stop, platform::kEFail},
    {sim::Op::GetState, platform::kVfwStateIntermediate},
    {sim::Op::GetEvent, platform::kEFail},
    {sim::Op::CreateFilterGraph, platform::kEFail},
    {sim::Op::QueryMediaEvent, platform::kENoInterface},
    {sim::Op::QueryBasicAudio, platform::kENoInterface},
    {sim::Op::SetNotifyWindow, platform::kEFail},
    {sim::Op::EnumFilters, platform::kEFail},
    {sim::Op::CoInitialize, platform::kEUnexpected},
    {sim::Op::CoInitialize, platform::kRpcChangedMode},
};

std::string Tune() {
    return std::string("ID3\x03\x00\x00\x00\x00\x00\x04", 10) + "TAGSMUSIC";
}

void MakeGame(uint8_t a, uint8_t b) {
    std::string ini = "[Settings]\r\nDispWindowTime=1\r\nInitRandom=" + std::to_string(a >> 7) +
                      "\r\nUseExPause=" + std::to_string(a & 3) +
                      "\r\nPauseMode=" + std::to_string((a >> 2) & 7) +
                      "\r\nChangeSoundOnLoop=" + std::to_string((a >> 5) & 1) +
                      "\r\nLoopRandom=" + std::to_string((a >> 6) & 1) +
                      "\r\nTurboLoadMusic=" + std::to_string(b & 1) +
                      "\r\nReleaseOnStop=" + std::to_string((b >> 1) & 1) +
                      "\r\nVolumeCurve=" + std::to_string((b >> 2) & 1) +
                      "\r\nDisplayToWindowText=" + std::to_string(((b >> 3) & 1) ^ 1) +
                      "\r\nCloseOutModWhenUnpause=" + std::to_string((b >> 4) & 1) +
                      "\r\nMsgBoxOnError=" + std::to_string((b >> 5) & 1) +
                      "\r\nAutosaveTxtFile=" + std::string((b >> 6) & 1 ? "-1" : "1") +
                      "\r\nSubVolume=" + std::to_string(b >> 7 ? 100 : -100) + "\r\n";
    sim::AddFile("C:\\Game\\plugins\\OrvalinMugenBGM.ini", ini);
    sim::AddFile("C:\\Game\\sound\\a.mp3", Tune());
    sim::AddFile("C:\\Game\\sound\\b.ogg", "music");
    sim::AddFile("C:\\Game\\sound\\list.txt",
                 "[Orvalin_BGMList]\r\n[List]\r\nsound\\a.mp3,vol=-20\r\n"
                 "sound\\b.ogg,beg=2000,end=1000\r\nsound\\gone.mp3,stop=1\r\n"
                 "[EXT]\r\nextsound=sound\\rain.wav\r\n");
    sim::AddFile("C:\\Game\\sound\\empty.txt", "[Orvalin_BGMList]\r\n[List]\r\n");
    sim::AddFile("C:\\Game\\sound\\bgm\\one.mp3", "music");
    sim::AddFile("C:\\Game\\sound\\bgm\\two.wma", "music");
    sim::AddFile("C:\\Game\\stages\\s.def", "[Music]\r\nbgmusic = \r\n");
}

// What the files may become: the names dropped so far (as a list would store them), and
// whether the step under way pressed Ctrl+R.
std::set<std::string> Dropped;
bool StageKey = false;
std::map<std::string, std::string> Before;

std::string Lower(std::string text) {
    for (char& c : text)
        c = AsciiLower(c);
    return text;
}

// A list's entry lines, letters folded: the lines after its [List] head up to [EXT].
std::set<std::string> ListEntries(const std::string& text) {
    std::set<std::string> entries;
    bool inList = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = Lower(text.substr(at, end - at));
        at = end + 2;
        if (line == "[list]") {
            inList = true;
        } else if (line == "[ext]") {
            inList = false;
        } else if (inList && !line.empty()) {
            entries.insert(line);
        }
    }
    return entries;
}

bool EndsWith(const std::string& text, const char* tail) {
    const size_t n = std::strlen(tail);
    return text.size() >= n && Lower(text.substr(text.size() - n)) == tail;
}

std::string BackupOf(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return path.substr(0, slash + 1) + "[Backup]" + path.substr(slash + 1);
}

void CheckFiles(const std::map<std::string, std::string>& after) {
    for (const auto& [path, old] : Before) {
        auto it = after.find(path);
        FUZZ_CHECK(it != after.end(), path + " disappeared");
        if (it->second == old) continue;
        const std::string what = path + " became " + fuzz::Show(it->second);
        if (EndsWith(path, ".ini")) continue; // the adjustment written back
        if (path.find("\\stages\\") != std::string::npos) {
            FUZZ_CHECK(StageKey, what + " without Ctrl+R");
        } else if (EndsWith(path, ".txt")) {
            FUZZ_CHECK(!Dropped.empty(), what + " without a drop");
            const std::set<std::string> was = ListEntries(old), now = ListEntries(it->second);
            FUZZ_CHECK(std::includes(now.begin(), now.end(), was.begin(), was.end()),
                       what + ": entries lost");
            for (const auto& entry : now)
                FUZZ_CHECK(was.count(entry) || Dropped.count(entry), what + ": " + entry);
        } else {
            auto backup = after.find(BackupOf(path));
            FUZZ_CHECK(backup != after.end() && backup->second == old,
                       what + " without a backup of its old bytes");
        }
    }
    for (const auto& [path, data] : after) {
        if (Before.count(path)) continue;
        const bool backup = path.find("[Backup]") != std::string::npos;
        FUZZ_CHECK(backup || (StageKey && EndsWith(path, ".txt")),
                   path + " appeared: " + fuzz::Show(data));
    }
}

bool Started() {
    return HookHandle != nullptr;
}

void Deliver(uint32_t message, uintptr_t wParam) {
    if (sim::HooksInstalled() > 0) sim::DeliverToHook(sim::kGameWindow, message, wParam, 0);
}

void Step(Reader& in) {
    const uint8_t op = in.Byte() % 20;
    const uint8_t arg = in.Byte();
    switch (op) {
    case 0:
    case 1:
    case 2:
        StageKey = kKeys[arg % std::size(kKeys)] == 0x52 && (arg & 0x80) != 0;
        if (sim::HooksInstalled() > 0)
            sim::PressKey(kKeys[arg % std::size(kKeys)], (arg & 0x80) != 0);
        break;
    case 3:
        Deliver(platform::kWmTimer, arg & 1 ? TitleNotice::kTimerId : arg);
        break;
    case 4: {
        std::vector<std::string> names;
        for (int i = 0; i < (arg & 3); ++i) {
            names.push_back(kDropped[in.Byte() % std::size(kDropped)]);
            const std::string& name = names.back();
            Dropped.insert(Lower(name.rfind("C:\\Game\\", 0) == 0 ? name.substr(8) : name));
        }
        if (arg & 4) names.push_back(std::string(300, 'd'));
        if (sim::HooksInstalled() > 0) Deliver(platform::kWmDropFiles, sim::MakeDrop(names));
        break;
    }
    case 5:
        if (MediaGraph.Ready)
            for (int i = 0; i < (arg & 3); ++i)
                sim::PushGraphEvent(arg & 4 ? 1 : 14);
        Deliver(platform::kWmGraphNotify, 0);
        break;
    case 6:
        Deliver(arg & 1 ? platform::kWmBringToFront : platform::kWmExPauseDone, 0);
        break;
    case 7:
        Deliver(platform::kWmSleepRequest, arg * 10u);
        break;
    case 8:
        Deliver(ExPause::ParkMessage, arg);
        break;
    case 9: { // a drop handle can only come from a drop (case 4)
        const uint32_t message = kMessages[arg % std::size(kMessages)] + (arg >> 3);
        const uint8_t wParam = in.Byte();
        if (message != platform::kWmDropFiles) Deliver(message, wParam);
        break;
    }
    case 10:
        if (sim::HooksInstalled() > 0) sim::DeliverPostedMessages();
        break;
    case 11:
        if (platform::HookProc hook = sim::InstalledHook()) { // peeked, or not an action
            const platform::HookMessage m{sim::kGameWindow, kMessages[arg % 4],
                                          TitleNotice::kTimerId, 0};
            hook(arg & 0x80 ? 3 : 0, 0, reinterpret_cast<intptr_t>(&m));
        }
        break;
    case 12:
        Module.Play(kPlayNames[arg % std::size(kPlayNames)]);
        break;
    case 13:
        switch (arg % 4) {
        case 0:
            Module.Stop();
            break;
        case 1:
            Module.Pause();
            break;
        case 2:
            Module.UnPause();
            break;
        default:
            Module.SetPan(arg);
            break;
        }
        break;
    case 14:
        Module.SetVolume(arg % 3 == 0 ? static_cast<int8_t>(arg) * 0x01000000 : arg);
        break;
    case 15:
        Module.Quit();
        break;
    case 16:
        Module.Init();
        break;
    case 17:
        sim::AnswerBoxes({platform::kIdNo});
        break;
    case 18: {
        const auto& [call, result] = kFailures[arg % std::size(kFailures)];
        sim::Script(call, {result});
        break;
    }
    default:
        platform::Sleep(arg * 100u); // time passes: a started worker runs
        break;
    }
}

void CheckState() {
    const PlayerStateRecord& p = PlayerState;
    const std::string mode = "play mode " + std::to_string(static_cast<int>(p.PlayMode)) + ", " +
                             std::to_string(p.Entries.Count()) + " entries, current " +
                             std::to_string(p.CurrentEntry);
    // The shut-down frees the table and leaves the count (ReleaseDS touches no count): the
    // table is checked while the module runs.
    if (Started() && (p.PlayMode == PlaySource::Playlist || p.PlayMode == PlaySource::Folder ||
                      p.PlayMode == PlaySource::EmptyPlaylist)) {
        FUZZ_CHECK(p.CurrentEntry >= 0 &&
                       (p.CurrentEntry < p.Entries.Count() || p.CurrentEntry == 0),
                   mode);
        for (int i = 0; i < p.Entries.Count(); ++i)
            FUZZ_CHECK(fuzz::Terminated(p.Entries[i], kNameSize), mode);
    }
    FUZZ_CHECK(TitleNotice::Queue.Head >= 0 && TitleNotice::Queue.Head < TitleNotice::kSlots &&
                   TitleNotice::Queue.Count >= 0 && TitleNotice::Queue.Count <= TitleNotice::kSlots,
               std::to_string(TitleNotice::Queue.Head) + " " +
                   std::to_string(TitleNotice::Queue.Count));
    FUZZ_CHECK(sim::TimerRunning(sim::kGameWindow, TitleNotice::kTimerId) ==
                   (TitleNotice::Queue.Count > 0),
               "notice timer with " + std::to_string(TitleNotice::Queue.Count) + " notices");
    if (Started() && TitleNotice::Queue.Count == 0)
        FUZZ_CHECK(sim::WindowTitle(sim::kGameWindow) == TitleNotice::Queue.SavedTitle,
                   "title " + fuzz::Show(sim::WindowTitle(sim::kGameWindow)) + " saved " +
                       fuzz::Show(TitleNotice::Queue.SavedTitle));
    for (const char* text : TitleNotice::Queue.Texts)
        FUZZ_CHECK(fuzz::Terminated(text, 256), "notice text");
    const MediaGraphRecord& g = MediaGraph;
    if (g.Ready)
        FUZZ_CHECK(g.GraphBuilder && g.MediaControl && g.MediaEvent && g.MediaPosition &&
                       g.BasicAudio,
                   "a ready graph without its interfaces");
    FUZZ_CHECK(fuzz::Terminated(p.MediaFile, kNameSize) &&
                   fuzz::Terminated(p.RequestFile, kNameSize) &&
                   fuzz::Terminated(p.ExtSound, kNameSize),
               "file names");
    FUZZ_CHECK(p.Adjust >= -10000 && p.Adjust <= 10000, std::to_string(p.Adjust));
    FUZZ_CHECK(!p.ExPauseActive, "the extended pause is still at work");
    FUZZ_CHECK(sim::HooksInstalled() == (Started() ? 1 : 0), "hooks");
    fuzz::CheckNoMisuse();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshModule();
    Reader in{data, size};
    const uint8_t first = in.Byte(); // in order: the order of a call's arguments is the compiler's
    const uint8_t second = in.Byte();
    MakeGame(first, second);
    Module.Init();
    const uint32_t start = sim::Now();
    // Virtual time is bounded by the sim (six hours); long waits stop the sequence first.
    Dropped.clear();
    Before = sim::Files();
    while (in.More() && sim::Now() - start < 2u * 3600u * 1000u) {
        StageKey = false;
        Step(in);
        CheckState();
        std::map<std::string, std::string> after = sim::Files();
        CheckFiles(after);
        Before = std::move(after);
    }
    StageKey = false;
    Module.Quit();
    CheckFiles(sim::Files());
    fuzz::CheckNothingHeld();
    const std::string held = std::to_string(sim::HooksInstalled()) + " hooks, " +
                             std::to_string(sim::ComInitCount()) + " COM starts, " +
                             std::to_string(sim::OpenThreadHandles()) + " thread handles";
    FUZZ_CHECK(sim::HooksInstalled() == 0 && sim::ComInitCount() == 0 &&
                   sim::OpenThreadHandles() == 0,
               "after the host's Quit: " + held);
    FUZZ_CHECK(!sim::AcceptsDrops(sim::kGameWindow), "drops still accepted");
    return 0;
}
