// The record the host drives.
#include "engine/engine.h"
#include "plugin/plugin.h"
#include "selection/selection.h"

namespace {

// Pairs of extension and description, ended by an empty string: two zero bytes at the end.
constexpr char kFileExtensions[] = "mp3\0mp3 file\0"
                                   "wma\0wma file\0"
                                   "ogg\0ogg file\0"
                                   "txt\0OrvalinMUGENBGM_Playlist\0"
                                   "rnd\0OrvalinMUGENBGM_RandomFlag\0";

void ORV_CDECL ConfigEntry(platform::Hwnd parent) {
    Config(parent);
}
void ORV_CDECL AboutEntry(platform::Hwnd parent) {
    About(parent);
}
void ORV_CDECL InitEntry() {
    Init();
}
void ORV_CDECL QuitEntry() {
    Quit();
    PlayerState.Entries.Clear(); // the host unloads us next: keep no table alive
}
void ORV_CDECL GetFileInfoEntry(const char*, char*, int*) {}
int ORV_CDECL InfoBoxEntry(const char*, platform::Hwnd) {
    return 0;
}
int ORV_CDECL IsOurFileEntry(const char* name) {
    return IsOurFile(name);
}
int ORV_CDECL PlayEntry(const char* name) {
    return Play(name);
}
void ORV_CDECL PauseEntry() {
    Pause();
}
void ORV_CDECL UnPauseEntry() {
    UnPause();
}
int ORV_CDECL IsPausedEntry() {
    return IsPaused();
}
void ORV_CDECL StopEntry() {
    StopFromHost();
}
int ORV_CDECL GetLengthEntry() {
    return 0;
}
int ORV_CDECL GetOutputTimeEntry() {
    return GetOutputTime();
}
void ORV_CDECL SetOutputTimeEntry(int ms) {
    SetOutputTime(ms);
}
void ORV_CDECL SetVolumeEntry(int volume) {
    SetVolume(volume);
}
void ORV_CDECL SetPanEntry(int pan) {
    SetPan(pan);
}
void ORV_CDECL EQSetEntry(int, char*, int) {}

} // namespace

In_Module Module = {
    0x100,
    "Orvalin BGM Player for M.U.G.E.N(x86)",
    nullptr, // hMainWindow: the host's
    nullptr, // hDllInstance: the host's
    kFileExtensions,
    1, // is_seekable
    1, // UsesOutputPlug
    ConfigEntry,
    AboutEntry,
    InitEntry,
    QuitEntry,
    GetFileInfoEntry,
    InfoBoxEntry,
    IsOurFileEntry,
    PlayEntry,
    PauseEntry,
    UnPauseEntry,
    IsPausedEntry,
    StopEntry,
    GetLengthEntry,
    GetOutputTimeEntry,
    SetOutputTimeEntry,
    SetVolumeEntry,
    SetPanEntry,
    nullptr, // SAVSAInit: never called
    nullptr, // SAVSADeInit
    nullptr, // SAAddPCMData
    nullptr, // SAGetMode
    nullptr, // SAAdd
    nullptr, // VSAAddPCMData
    nullptr, // VSAGetMode
    nullptr, // VSAAdd
    nullptr, // VSASetInfo
    nullptr, // dsp_isactive
    nullptr, // dsp_dosamples
    EQSetEntry,
    nullptr, // SetInfo
    nullptr, // outMod: the host's
};

extern "C" In_Module* ORV_CDECL winampGetInModule2() {
    return &Module;
}
