// The settings file: read once at start-up, written once at shut-down (SubVolume).

#include <cstdio>

#include "platform/profile.h"
#include "core/core.h"

Settings PluginSettings;
PlayerStateRecord PlayerState;

const char* const kSettingsFile = "plugins\\OrvalinMugenBGM.ini";
const char* const kSettingsSection = "Settings";

namespace {

const char* const kSection = kSettingsSection;

// Every key in the order it is read; the defaults are those of a fresh Settings.
struct IntKey {
    const char* name;
    int Settings::*field;
};
constexpr IntKey kIntKeys[] = {
    {"InitRandom", &Settings::InitRandom},
    {"ChangeSoundOnLoop", &Settings::ChangeSoundOnLoop},
    {"LoopRandom", &Settings::LoopRandom},
    {"Debug", &Settings::Debug},
    {"Beep", &Settings::Beep},
    {"ForceSetMasterVol", &Settings::ForceSetMasterVol},
    {"UseExPause", &Settings::UseExPause},
    {"DisplayToWindowText", &Settings::DisplayToWindowText},
    {"DispWindowTime", &Settings::DispWindowTime},
    {"PauseMode", &Settings::PauseMode},
    {"AutosaveTxtFile", &Settings::AutosaveTxtFile},
    {"SubVolume", &Settings::SubVolume},
    {"RndInitRandom", &Settings::RndInitRandom},
    {"MsgBoxOnError", &Settings::MsgBoxOnError},
    {"TurboLoadMusic", &Settings::TurboLoadMusic},
    {"ReleaseOnStop", &Settings::ReleaseOnStop},
    {"CloseOutModWhenUnpause", &Settings::CloseOutModWhenUnpause},
    {"VolumeCurve", &Settings::VolumeCurve},
    {"FadeOutOnStop", &Settings::FadeOutOnStop},
    {"PrepareNextTune", &Settings::PrepareNextTune},
    {"CrossFade", &Settings::CrossFade},
};

struct TextKey {
    const char* name;
    char (Settings::*field)[256];
};
constexpr TextKey kTextKeys[] = {
    {"OpenUserSoftwareA", &Settings::OpenUserSoftwareA},
    {"OpenUserFileA1", &Settings::OpenUserFileA1},
    {"OpenUserFileA2", &Settings::OpenUserFileA2},
    {"Preventer1", &Settings::Preventer1},
    {"Preventer2", &Settings::Preventer2},
};
constexpr const char* kExtensionKeys[] = {"RndMusicExt1", "RndMusicExt2", "RndMusicExt3"};

void ReadText(const char* key, const char* defaultValue, char* out, uint32_t size) {
    platform::ReadProfileString(kSection, key, defaultValue, out, size, kSettingsFile);
    out[size - 1] = '\0';
}

// A stored value lies within -128..127; anything else means nothing is stored.
bool SubVolumeStored(int subVolume) {
    return static_cast<unsigned>(subVolume) + 128u <= 255u;
}

} // namespace

Settings ReadSettings() {
    const Settings defaults;
    Settings s;
    for (const IntKey& key : kIntKeys)
        s.*key.field =
            platform::ReadProfileInt(kSection, key.name, defaults.*key.field, kSettingsFile);
    for (const TextKey& key : kTextKeys)
        ReadText(key.name, defaults.*key.field, s.*key.field, sizeof(s.*key.field));
    for (int i = 0; i < 3; ++i)
        ReadText(kExtensionKeys[i], defaults.RndMusicExt[i], s.RndMusicExt[i],
                 sizeof s.RndMusicExt[i]);
    return s;
}

constexpr int kIntKeyCount = sizeof kIntKeys / sizeof kIntKeys[0];
constexpr int kTextKeyCount = sizeof kTextKeys / sizeof kTextKeys[0];
static_assert(kIntKeyCount + kTextKeyCount + 3 == kSettingsKeys);

const char* SettingsKeyName(int index) {
    if (index < 0 || index >= kSettingsKeys) return nullptr;
    if (index < kIntKeyCount) return kIntKeys[index].name;
    index -= kIntKeyCount;
    return index < kTextKeyCount ? kTextKeys[index].name : kExtensionKeys[index - kTextKeyCount];
}

uint32_t SettingsKeyTextSize(int index) {
    const Settings s;
    if (index < kIntKeyCount || index >= kSettingsKeys) return 0;
    index -= kIntKeyCount;
    return index < kTextKeyCount ? sizeof(s.*kTextKeys[index].field) : sizeof s.RndMusicExt[0];
}

void FormatSettingsValue(const Settings& settings, int index, char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    if (index < 0 || index >= kSettingsKeys) return;
    if (index < kIntKeyCount) {
        std::snprintf(out, size, "%d", settings.*kIntKeys[index].field);
        return;
    }
    index -= kIntKeyCount;
    CopyText(out,
             index < kTextKeyCount ? settings.*kTextKeys[index].field
                                   : settings.RndMusicExt[index - kTextKeyCount],
             size);
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
