// What every part of the module reads: the settings, the playback state, the shared
// text buffers and text helpers, failure reporting, and the link to the host (its
// window, its output module, the installed hook).
#pragma once
#include <atomic>
#include <cstdint>

#include "core/entry_table.h"
#include "platform/plugin_abi.h"
#include "platform/types.h"

// One 256-byte name, path or entry: 255 characters and the terminator.
constexpr int kNameSize = 256;

constexpr int kVolumeUnknown = -777777;

// Every key of the settings file, filled at Init and only read afterwards.
struct Settings {
    int InitRandom = 1;
    int ChangeSoundOnLoop = 0;
    int LoopRandom = 1;
    int Debug = 0;
    int Beep = 0;
    int ForceSetMasterVol = 0;
    int UseExPause = 0;
    int DisplayToWindowText = 0;
    int DispWindowTime = 5;
    int PauseMode = 1;
    int AutosaveTxtFile = 1;
    int SubVolume = -22222;
    int RndInitRandom = 1;
    int MsgBoxOnError = 0;
    int TurboLoadMusic = 0;
    int ReleaseOnStop = 0;
    int CloseOutModWhenUnpause = 0;
    int VolumeCurve = 0;
    int FadeOutOnStop = 0; // ms the music fades over when the game stops it; 0: at once
    int PrepareNextTune = 1; // not 0: the next tune is made ready on a worker while one plays
    int CrossFade = 0;       // ms the tunes of a list or folder fade into one another; 0: none
    char OpenUserSoftwareA[256] = "notepad";
    char OpenUserFileA1[256] = "data\\mugen.cfg";
    char OpenUserFileA2[256] = "plugins\\OrvalinMUGENBGM.ini";
    char Preventer1[256] = "";
    char Preventer2[256] = "";
    char RndMusicExt[3][32] = {"mp3", "wma", ""};
};
extern Settings PluginSettings;

// A flag the game's thread and the module's worker thread share: every load and store
// is atomic. Copying a record that holds one copies its value.
struct SharedFlag {
    std::atomic<bool> value{false};
    SharedFlag() = default;
    SharedFlag(bool v) : value(v) {}
    SharedFlag(const SharedFlag& other) : value(other.value.load()) {}
    SharedFlag& operator=(const SharedFlag& other) {
        value.store(other.value.load());
        return *this;
    }
    SharedFlag& operator=(bool v) {
        value.store(v);
        return *this;
    }
    operator bool() const { return value.load(); }
    // Sets the flag to `v` and says what it was.
    bool exchange(bool v) { return value.exchange(v); }
};

// Where the tunes of the current request come from.
enum class PlaySource : int {
    SingleFile = 0,
    Playlist = 1,
    EmptyPlaylist = -1, // a playlist without entries: nothing plays
    Folder = 2,
};
// The request names several tunes: a playlist with entries, or a folder.
inline bool HasEntries(PlaySource mode) {
    return mode == PlaySource::Playlist || mode == PlaySource::Folder;
}

// The module's single playback state.
struct PlayerStateRecord {
    bool Playing = false;
    int Paused = 0;
    double PausePosition = 0.0;
    SharedFlag ExPauseActive; // the extended-pause worker is at work
    // Ctrl+X's cut on the game's thread is asking or cutting. Only the game's thread sets
    // it and nothing waits for it; the worker does not start beside it.
    SharedFlag InlineCutActive;
    bool Muted = false;
    int HostVolume = kVolumeUnknown;
    int Adjust = 0;
    bool VolumeByKey = false;
    uint32_t HostThreadId = 0;
    uint32_t StartupTick = 0;
    PlaySource PlayMode = PlaySource::SingleFile;
    char RequestFile[kNameSize] = "";
    char MediaFile[kNameSize] = "";
    int CurrentEntry = 0;
    EntryTable Entries;
    char ExtSound[kNameSize] = "";
    int Hosei = 0;
    int EntryBeg = 0;
    int EntryEnd = 0;
    int EntryStop = 0;
    // The entry's loop start in milliseconds (its loop= option): where the entry starts
    // when it plays again right after itself. 0 when absent or past the tune's stop time.
    int EntryLoop = 0;
    // Files dropped on a list and not yet saved, and the list file they belong to: they
    // are saved into that file, never into whatever is requested later.
    bool ListModified = false;
    char ModifiedList[kNameSize] = "";
};
extern PlayerStateRecord PlayerState;

// Shared text buffers.
constexpr int kScratchSize = 8192;
constexpr int kFormatLimit = 1024; // what the platform formatter writes at most
constexpr int kMessageBufferSize = 256;
extern char ScratchText[kScratchSize];
extern char MessageBuffer[kMessageBufferSize];

void ScratchClear();
// Formats into ScratchText from its start, at most kFormatLimit bytes.
const char* ScratchFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Copies src into a buffer of `size` bytes, cut to fit; always terminated.
void CopyText(char* dst, const char* src, size_t size);
// ASCII letters only: bytes of other code pages are left as they are.
inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// Compares at most `limit` characters, ASCII letters in either case counted equal.
bool SameIgnoringAsciiCase(const char* a, const char* b, size_t limit = SIZE_MAX);

// Failure and diagnostic reporting.
namespace ErrorFeedback {
extern const char* const kCaption; // "OrvalinMUGENBGM"
struct Tone {
    uint32_t frequency;
    uint32_t duration;
};
// Beeps the tones with `gapMs` of silence between them, when Beep is not 0.
void FailureBeeps(const Tone* tones, int count, uint32_t gapMs = 0);
void RepeatFailureBeep(Tone tone, int times, uint32_t gapMs);
// A box with no status code: shown when MsgBoxOnError is not 0.
void FailureBox(const char* text);
// A box whose text carries a status code (format with one %X): MsgBoxOnError exactly 1.
void StatusBox(const char* format, platform::HResult code);
// A box shown whatever MsgBoxOnError says.
void AlwaysBox(const char* text);
// A diagnostic box of ScratchText-formatted text, shown from Debug >= level.
void DebugBox(int level, const char* text, const char* caption);
} // namespace ErrorFeedback

// Safe rewrites of a user's file. The bytes go to a new temporary file beside `path`
// ("<path>.<n>.tmp", created under a name not in use), which is flushed and then put in
// place in one step. On failure `path` is as it was, no temporary file is left, and the
// platform's last error tells why (the first failure's code).
bool ReplaceFileContents(const char* path, const void* data, uint32_t size);
// The same for a file that must be new: an existing file of that name is never touched
// (the call fails instead).
bool CreateFileComplete(const char* path, const void* data, uint32_t size);

// Settings file.
extern const char* const kSettingsFile;    // "plugins\\OrvalinMugenBGM.ini"
extern const char* const kSettingsSection; // "Settings"
// The settings file's keys, each at its default where the file does not set it.
Settings ReadSettings();
// The core's state as the DLL has it when loaded: settings at their defaults, the playback
// state and the text buffers empty, no hook.
void ResetCoreState();
// The keys of the settings file in the order they are read, for tools that show them:
// key `index` (0 to kSettingsKeys - 1), the buffer a text key is read into (0 for a
// number), and the value a Settings record holds for it, as text ("%d" for a number).
constexpr int kSettingsKeys = 29;
const char* SettingsKeyName(int index);
uint32_t SettingsKeyTextSize(int index);
void FormatSettingsValue(const Settings& settings, int index, char* out, size_t size);
int AdjustFromSubVolume(int subVolume, int volumeCurve);
int SubVolumeFromAdjust(int adjust, int volumeCurve);
void WriteBackSubVolume();

// The link to the host. The module's one record, handed to the host by
// winampGetInModule2 and filled in by the host (its window, our instance, its output
// module), is defined where the module faces the host; everything below reaches the
// host through these.
extern In_Module Module;
// The game window the host gave us (may be null).
inline platform::Hwnd HostWindow() {
    return Module.hMainWindow;
}
inline platform::Instance DllInstance() {
    return Module.hDllInstance;
}
// The four output-module calls; each is skipped when the host gave no output module.
int OutModPause(int pause);
void OutModClose();
void OutModSetVolume(int volume);
void OutModSetPan(int pan);

// True on any thread but the game's (the one Init ran on). Before Init every thread
// counts as the game's.
bool OffHostThread();

// The installed message hook.
extern platform::Handle HookHandle;
// The whole module shut-down, which a failed graph creation runs itself. Set by the
// module's top to its Quit.
extern void (*const ModuleShutdown)();
