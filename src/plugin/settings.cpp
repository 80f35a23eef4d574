// The settings file: read once at start-up, written once at shut-down (SubVolume).
#include <cstdlib>

#include "platform/profile.h"
#include "plugin/plugin.h"

Settings PluginSettings;
PlayerStateRecord PlayerState;

const char* const kSettingsFile = "plugins\\OrvalinMugenBGM.ini";

namespace {

constexpr const char* kSection = "Settings";

int ReadInt(const char* key, int defaultValue) {
    return platform::ReadProfileInt(kSection, key, defaultValue, kSettingsFile);
}

template <size_t N> void ReadText(const char* key, const char* defaultValue, char (&out)[N]) {
    platform::ReadProfileString(kSection, key, defaultValue, out, N, kSettingsFile);
    out[N - 1] = '\0';
}

// A stored value lies within -128..127; anything else means nothing is stored.
bool SubVolumeStored(int subVolume) {
    return static_cast<unsigned>(subVolume) + 128u <= 255u;
}

} // namespace

void ReadSettings() {
    Settings& s = PluginSettings;
    s.InitRandom = ReadInt("InitRandom", 1);
    s.ChangeSoundOnLoop = ReadInt("ChangeSoundOnLoop", 0);
    s.LoopRandom = ReadInt("LoopRandom", 1);
    s.Debug = ReadInt("Debug", 0);
    s.Beep = ReadInt("Beep", 0);
    s.ForceSetMasterVol = ReadInt("ForceSetMasterVol", 0);
    s.UseExPause = ReadInt("UseExPause", 0);
    s.DisplayToWindowText = ReadInt("DisplayToWindowText", 0);
    s.DispWindowTime = ReadInt("DispWindowTime", 5);
    s.PauseMode = ReadInt("PauseMode", 1);
    s.AutosaveTxtFile = ReadInt("AutosaveTxtFile", 1);
    s.SubVolume = ReadInt("SubVolume", -22222);
    s.RndInitRandom = ReadInt("RndInitRandom", 1);
    s.MsgBoxOnError = ReadInt("MsgBoxOnError", 0);
    s.TurboLoadMusic = ReadInt("TurboLoadMusic", 0);
    s.ReleaseOnStop = ReadInt("ReleaseOnStop", 0);
    s.CloseOutModWhenUnpause = ReadInt("CloseOutModWhenUnpause", 0);
    s.VolumeCurve = ReadInt("VolumeCurve", 0);
    ReadText("OpenUserSoftwareA", "notepad", s.OpenUserSoftwareA);
    ReadText("OpenUserFileA1", "data\\mugen.cfg", s.OpenUserFileA1);
    ReadText("OpenUserFileA2", "plugins\\OrvalinMUGENBGM.ini", s.OpenUserFileA2);
    ReadText("Preventer1", "", s.Preventer1);
    ReadText("Preventer2", "", s.Preventer2);
    ReadText("RndMusicExt1", "mp3", s.RndMusicExt[0]);
    ReadText("RndMusicExt2", "wma", s.RndMusicExt[1]);
    ReadText("RndMusicExt3", "", s.RndMusicExt[2]);
    PlayerState.Adjust = AdjustFromSubVolume(s.SubVolume, s.VolumeCurve);
}

int AdjustFromSubVolume(int subVolume, int volumeCurve) {
    if (!SubVolumeStored(subVolume)) return 0;
    if (volumeCurve != 0) return subVolume;
    return (subVolume * 10000 + 255) / 256;
}

int SubVolumeFromAdjust(int adjust, int volumeCurve) {
    int v = adjust;
    if (volumeCurve == 0) {
        // Rounded to the nearest whole step, half away from zero, so a stored value
        // survives a run with no key pressed instead of creeping toward 0.
        const long long scaled = static_cast<long long>(adjust) * 256;
        const long long half = scaled >= 0 ? 5000 : -5000;
        v = static_cast<int>((scaled + half) / 10000);
    }
    if (v < -128) v = -128;
    if (v > 127) v = 127;
    return v;
}

void WriteBackSubVolume() {
    ScratchFormat("oSubVol = %d", PluginSettings.SubVolume);
    if (!SubVolumeStored(PluginSettings.SubVolume)) return;
    const int v = SubVolumeFromAdjust(PlayerState.Adjust, PluginSettings.VolumeCurve);
    PluginSettings.SubVolume = v;
    platform::WriteProfileValue(kSection, "SubVolume", ScratchFormat("%d", v), kSettingsFile);
}
