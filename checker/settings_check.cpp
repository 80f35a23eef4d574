// The settings file: every key with the value the plug-in uses and where it comes from,
// keys the plug-in does not know (with the known key they most resemble), values it
// reads otherwise than written, and values outside what the plug-in expects. The values
// are those ReadSettings reads through the platform's own profile reader; the file's
// text is read here only to say on which line a key stands.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/profile_text.h"
#include "core/core.h"
#include "checker.h"

namespace check {
namespace {

// What the plug-in expects of a number, and what it does with any other.
struct Range {
    const char* key;
    int low, high;
    const char* otherwise;
};
constexpr Range kRanges[] = {
    {"InitRandom", 0, 2, "any other value plays the first tune first, as 0 does"},
    {"Debug", 0, 3, "above 3 shows the boxes of 3; below 0 shows none"},
    {"Beep", 0, INT_MAX, "below 0 beeps for some failures and not for others"},
    {"ForceSetMasterVol", 0, 255, "the game's volume scale ends at 255"},
    {"DispWindowTime", 1, INT_MAX, "a notice leaves the title bar at the next tick"},
    {"PauseMode", 1, 5, "the game's pause then does nothing to the music"},
    {"AutosaveTxtFile", -1, 1, "any other value never saves a grown playlist, as 0 does"},
    {"SubVolume", -128, 127,
     "no adjustment is stored, so F7/F8 changes are lost when the game closes"},
    {"RndInitRandom", 0, 1, "any other value acts as 0"},
    {"FadeOutOnStop", 0, INT_MAX, "the music stops at once, as with 0"},
    {"PrepareNextTune", 0, 1, "any other value prepares the next tune, as 1 does"},
    {"CrossFade", 0, INT_MAX, "the tunes follow one another without a fade, as with 0"},
};
constexpr int kNoneStored = -22222; // SubVolume's default: no adjustment stored

// Where each key of the [Settings] section stands, and the lines in it that hold no key.
struct KeyLine {
    std::string name;
    int line;
};
struct SettingsLines {
    std::vector<KeyLine> keys; // in file order, repeated keys included
    std::vector<KeyLine> bare; // lines with text but no '='
};

SettingsLines LinesOf(const std::string& data) {
    using namespace platform::profile_text;
    SettingsLines found;
    bool inSection = false, seen = false;
    int number = 0;
    for (const Line& line : SplitLines(data)) {
        ++number;
        const std::string_view text(data.data() + line.begin, line.end - line.begin);
        std::string name;
        if (SectionName(text, &name)) {
            // Only the first section of the name counts, as the platform reads it.
            inSection = !seen && SameName(name, kSettingsSection);
            seen = seen || inSection;
            continue;
        }
        const std::string trimmed = Trim(text);
        if (!inSection || trimmed.empty() || trimmed[0] == ';') continue;
        const size_t eq = text.find('=');
        if (eq == std::string_view::npos)
            found.bare.push_back({trimmed, number});
        else
            found.keys.push_back({Trim(text.substr(0, eq)), number});
    }
    return found;
}

int LineOf(const SettingsLines& lines, const std::string& key) {
    for (const KeyLine& k : lines.keys)
        if (SameText(k.name, key)) return k.line;
    return 0;
}

// "did you mean Beep?" when a known key is close enough to be the one meant.
std::string Closest(const std::string& name) {
    int best = INT_MAX;
    std::string key;
    for (int i = 0; i < kSettingsKeys; ++i) {
        const int d = Distance(name, SettingsKeyName(i));
        if (d < best) best = d, key = SettingsKeyName(i);
    }
    const int allowed = std::max<int>(2, static_cast<int>(key.size()) / 3);
    return best <= allowed ? "did you mean " + key + "?" : "";
}

bool IsKnown(const std::string& name) {
    for (int i = 0; i < kSettingsKeys; ++i)
        if (SameText(name, SettingsKeyName(i))) return true;
    return false;
}

// A whole number as written: optional blanks, an optional sign, digits, nothing else,
// and within the 32-bit range.
bool PlainNumber(const std::string& value) {
    const std::string t = Trimmed(value);
    const size_t i = !t.empty() && (t[0] == '+' || t[0] == '-') ? 1 : 0;
    if (i >= t.size() || t.size() - i > 10) return false;
    for (size_t k = i; k < t.size(); ++k)
        if (t[k] < '0' || t[k] > '9') return false;
    const long long n = std::stoll(t);
    return n >= INT_MIN && n <= INT_MAX;
}

void CheckNumber(Report& r, const std::string& key, const std::string& raw, int value, int line) {
    const std::string& file = r.settingsFile;
    if (!Trimmed(raw).empty() && !PlainNumber(raw))
        Add(r.settingsFindings, "settings-not-a-number", Severity::Warning, file, line,
            key + " = " + raw + " is not a whole number: the plug-in reads " +
                std::to_string(value));
    for (const Range& range : kRanges) {
        if (key != range.key || (value >= range.low && value <= range.high)) continue;
        if (key == "SubVolume" && value == kNoneStored) continue;
        const std::string bounds = range.high == INT_MAX ? "below " + std::to_string(range.low)
                                                         : "outside " + std::to_string(range.low) +
                                                               " to " + std::to_string(range.high);
        Add(r.settingsFindings, "settings-out-of-range", Severity::Warning, file, line,
            key + " = " + std::to_string(value) + " is " + bounds + ": " + range.otherwise,
            range.high == INT_MAX ? "write " + std::to_string(range.low) + " or more"
                                  : "write a value from " + std::to_string(range.low) + " to " +
                                        std::to_string(range.high));
    }
}

void CheckText(Report& r, const std::string& key, const std::string& raw, uint32_t room, int line) {
    const std::string& file = r.settingsFile;
    if (raw.size() >= room)
        Add(r.settingsFindings, "settings-too-long", Severity::Warning, file, line,
            key + " is " + std::to_string(raw.size()) +
                " characters long: the plug-in keeps the first " + std::to_string(room - 1));
    if (key.rfind("RndMusicExt", 0) == 0 && raw.find_first_of(".*?") != std::string::npos)
        Add(r.settingsFindings, "settings-extension-pattern", Severity::Warning, file, line,
            key + " = " + raw + ": a folder request looks for *." + raw +
                "; write the extension alone, such as mp3");
}

} // namespace

void CheckSettings(Report& r) {
    r.settingsFile = kSettingsFile;
    r.settingsFound = platform::FileExists(kSettingsFile);
    PluginSettings = ReadSettings();

    std::string data;
    if (r.settingsFound && !ReadWhole(kSettingsFile, data))
        Add(r.settingsFindings, "settings-unreadable", Severity::Warning, r.settingsFile, 0,
            "cannot be read: the plug-in uses every default");
    if (!r.settingsFound)
        Add(r.settingsFindings, "settings-missing", Severity::Note, r.settingsFile, 0,
            "no settings file: the plug-in uses every default");
    const SettingsLines lines = LinesOf(data);

    // The names the platform's reader sees in the section.
    std::vector<char> buffer(1 << 16);
    platform::ReadProfileKeyNames(kSettingsSection, buffer.data(),
                                  static_cast<uint32_t>(buffer.size()), kSettingsFile);
    std::vector<std::string> names;
    for (const char* n = buffer.data(); *n; n += std::strlen(n) + 1)
        names.push_back(n);

    for (int i = 0; i < kSettingsKeys; ++i) {
        const std::string key = SettingsKeyName(i);
        char value[256];
        FormatSettingsValue(PluginSettings, i, value, sizeof value);
        const bool set = std::any_of(names.begin(), names.end(),
                                     [&](const std::string& n) { return SameText(n, key); });
        const int line = set ? LineOf(lines, key) : 0;
        r.settings.push_back({key, value, set, line});
        if (!set) continue;
        std::vector<char> raw(4096);
        platform::ReadProfileString(kSettingsSection, key.c_str(), "", raw.data(),
                                    static_cast<uint32_t>(raw.size()), kSettingsFile);
        if (SettingsKeyTextSize(i) == 0)
            CheckNumber(r, key, raw.data(), std::atoi(value), line);
        else
            CheckText(r, key, raw.data(), SettingsKeyTextSize(i), line);
    }
    for (const std::string& name : names)
        if (!IsKnown(name))
            Add(r.settingsFindings, "settings-unknown-key", Severity::Warning, r.settingsFile,
                LineOf(lines, name), "unknown key " + name + ": the plug-in ignores it",
                Closest(name));
    for (const KeyLine& bare : lines.bare)
        Add(r.settingsFindings, "settings-no-equals", Severity::Warning, r.settingsFile, bare.line,
            "\"" + bare.name + "\" has no '=': the plug-in ignores the line", Closest(bare.name));
    // A key given twice: the first counts.
    for (size_t i = 0; i < lines.keys.size(); ++i)
        for (size_t k = 0; k < i; ++k)
            if (SameText(lines.keys[i].name, lines.keys[k].name)) {
                Add(r.settingsFindings, "settings-repeated-key", Severity::Warning, r.settingsFile,
                    lines.keys[i].line,
                    lines.keys[i].name + " is given again: the plug-in uses line " +
                        std::to_string(lines.keys[k].line));
                break;
            }
    const Settings& s = PluginSettings;
    if (!s.RndMusicExt[0][0] && !s.RndMusicExt[1][0] && !s.RndMusicExt[2][0])
        Add(r.settingsFindings, "settings-no-extensions", Severity::Warning, r.settingsFile,
            LineOf(lines, "RndMusicExt1"),
            "RndMusicExt1 to RndMusicExt3 are all empty: a folder request finds nothing");
    std::stable_sort(r.settingsFindings.begin(), r.settingsFindings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

} // namespace check
