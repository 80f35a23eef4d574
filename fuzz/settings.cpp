// The settings file: the bytes are plugins\OrvalinMugenBGM.ini, read through the
// simulated private-profile functions. Every setting equals what the private-profile
// rules give for that text, as a reader written here from those rules finds it:
// lines end at LF (a CR before it is dropped); a line whose first non-blank byte is '['
// heads a section named by the text up to the first ']', blanks trimmed; only the first
// "Settings" section counts, names and keys in any ASCII case; the first line of the
// section with an '=' whose trimmed left side is the key gives the value, trimmed, less
// one pair of enclosing quotes; an integer is an optional sign and decimal digits after
// blanks, an empty or missing value the default; a missing text is the default less
// trailing spaces; a text is cut to its buffer. Then the stored sub-volume is written
// back after a few key steps: every other value reads as before, the sub-volume as
// written, and a run without steps writes back the value it read.
#include <optional>

#include "fuzz.h"

namespace {

constexpr const char* kIni = "C:\\Game\\plugins\\OrvalinMugenBGM.ini";

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && Blank(s[b]))
        ++b;
    while (e > b && Blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// The keys and values of the first "Settings" section, in file order.
using Section = std::vector<std::pair<std::string, std::string>>;
Section SettingsSection(const std::string& ini) {
    Section section;
    bool inSettings = false, seen = false;
    size_t at = 0;
    while (at < ini.size()) {
        size_t end = ini.find('\n', at);
        if (end == std::string::npos) end = ini.size();
        std::string line = ini.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string trimmed = Trimmed(line);
        if (!trimmed.empty() && trimmed[0] == '[') {
            if (inSettings) break;
            const std::string name = Trimmed(trimmed.substr(1, trimmed.find(']') - 1));
            inSettings = !seen && SameName(name, "Settings");
            seen = seen || inSettings;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSettings || equals == std::string::npos) continue;
        std::string value = Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        section.emplace_back(Trimmed(line.substr(0, equals)), value);
    }
    return section;
}

std::optional<std::string> Lookup(const Section& section, const char* key) {
    for (const auto& [name, value] : section)
        if (SameName(name, key)) return value;
    return std::nullopt;
}

int IntOf(const Section& ini, const char* key, int defaultValue) {
    const std::optional<std::string> value = Lookup(ini, key);
    if (!value || value->empty()) return defaultValue;
    size_t i = 0;
    while (i < value->size() && Blank((*value)[i]))
        ++i;
    const bool negative = i < value->size() && (*value)[i] == '-';
    if (i < value->size() && ((*value)[i] == '-' || (*value)[i] == '+')) ++i;
    uint32_t n = 0;
    for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i)
        n = n * 10u + static_cast<uint32_t>((*value)[i] - '0');
    return static_cast<int>(negative ? 0u - n : n);
}

std::string TextOf(const Section& ini, const char* key, std::string defaultValue, size_t size) {
    const std::optional<std::string> value = Lookup(ini, key);
    if (!value)
        while (!defaultValue.empty() && defaultValue.back() == ' ')
            defaultValue.pop_back();
    const std::string text = value ? *value : defaultValue;
    return text.substr(0, std::min(strnlen(text.c_str(), text.size()), size - 1));
}

struct IntKey {
    const char* name;
    int Settings::*field;
};
const IntKey kIntKeys[] = {
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
};
struct TextKey {
    const char* name;
    char (Settings::*field)[256];
};
const TextKey kTextKeys[] = {
    {"OpenUserSoftwareA", &Settings::OpenUserSoftwareA},
    {"OpenUserFileA1", &Settings::OpenUserFileA1},
    {"OpenUserFileA2", &Settings::OpenUserFileA2},
    {"Preventer1", &Settings::Preventer1},
    {"Preventer2", &Settings::Preventer2},
};
const char* const kExtensionKeys[] = {"RndMusicExt1", "RndMusicExt2", "RndMusicExt3"};

// Every setting, a line each; the integer `except` is left out.
std::string Describe(const Settings& s, const char* except = "") {
    std::string out;
    for (const IntKey& key : kIntKeys)
        if (std::strcmp(key.name, except) != 0)
            out += std::string(key.name) + "=" + std::to_string(s.*key.field) + "\n";
    for (const TextKey& key : kTextKeys)
        out += std::string(key.name) + "=" + fuzz::Show(s.*key.field, SIZE_MAX) + "\n";
    for (int i = 0; i < 3; ++i)
        out += std::string(kExtensionKeys[i]) + "=" + fuzz::Show(s.RndMusicExt[i], SIZE_MAX) + "\n";
    return out;
}

// The same lines, as the rules read them from `text`.
std::string ByTheRules(const std::string& text, const char* except = "") {
    const Section ini = SettingsSection(text);
    const Settings d;
    std::string out;
    for (const IntKey& key : kIntKeys)
        if (std::strcmp(key.name, except) != 0)
            out += std::string(key.name) + "=" +
                   std::to_string(IntOf(ini, key.name, d.*key.field)) + "\n";
    for (const TextKey& key : kTextKeys)
        out += std::string(key.name) + "=" +
               fuzz::Show(TextOf(ini, key.name, d.*key.field, sizeof(d.*key.field)), SIZE_MAX) +
               "\n";
    for (int i = 0; i < 3; ++i)
        out += std::string(kExtensionKeys[i]) + "=" +
               fuzz::Show(TextOf(ini, kExtensionKeys[i], d.RndMusicExt[i], sizeof d.RndMusicExt[i]),
                          SIZE_MAX) +
               "\n";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshModule();
    const std::string ini(reinterpret_cast<const char*>(data), size);
    sim::AddFile(kIni, ini);
    PluginSettings = ReadSettings();
    FUZZ_CHECK(Describe(PluginSettings) == ByTheRules(ini), fuzz::Show(ini));
    // As Init takes the stored volume.
    PlayerState.Adjust = AdjustFromSubVolume(PluginSettings.SubVolume, PluginSettings.VolumeCurve);

    const int read = PluginSettings.SubVolume;
    const int steps = static_cast<int>(size % 5) - 2; // F7 and F8 presses
    PlayerState.Adjust += steps * (PluginSettings.VolumeCurve == 0 ? 100 : 1);
    WriteBackSubVolume();
    const std::string written = sim::FileText(kIni);
    const int stored = PluginSettings.SubVolume;
    if (read < -128 || read > 127) {
        FUZZ_CHECK(written == ini, "written without a stored value");
    } else {
        FUZZ_CHECK(stored >= -128 && stored <= 127, std::to_string(stored));
        if (steps == 0)
            FUZZ_CHECK(stored == read, std::to_string(read) + " became " + std::to_string(stored));
        FUZZ_CHECK(IntOf(SettingsSection(written), "SubVolume", 0) == stored, fuzz::Show(written));
        FUZZ_CHECK(ByTheRules(written, "SubVolume") == ByTheRules(ini, "SubVolume"),
                   fuzz::Show(ini) + "\nbecame\n" + fuzz::Show(written));
        FUZZ_CHECK(Describe(ReadSettings()) == ByTheRules(written), fuzz::Show(written));
    }
    fuzz::CheckNoMisuse();
    return 0;
}
