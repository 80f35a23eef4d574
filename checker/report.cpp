// The report, as text for people and as JSON for programs; both hold the same findings.
// The text puts the summary first and every finding at column 0 as "path:line: level:
// message", with its fix under it; a note said of many entries is said once.
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "checker.h"
#include "names.h"

namespace check {
namespace {

const char* SeverityName(Severity s) {
    switch (s) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Note:
        break;
    }
    return "note";
}

std::string Values(const Entry& e) {
    return "volume " + std::to_string(e.volume) + ", start " + std::to_string(e.start) + ", end " +
           std::to_string(e.end) + ", stop " + std::to_string(e.stop) +
           (e.loop ? ", loop " + std::to_string(e.loop) : "");
}

// A JSON string: the name's characters, read in the game's code page, in UTF-8; each byte
// that does not read as \udcXX (the lone low surrogate 0xDC00 + byte), so that no name
// is lost.
std::string JsonValue(const std::string& s, uint32_t codePage) {
    std::string out = "\"";
    char hex[8];
    for (const Character& c : Characters(s, codePage)) {
        const auto b = static_cast<unsigned char>(c.bytes[0]);
        if (c.utf8.empty()) {
            std::snprintf(hex, sizeof hex, "\\udc%02x", b);
            out += hex;
        } else if (b == '"' || b == '\\') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b < 0x20) {
            std::snprintf(hex, sizeof hex, "\\u%04x", b);
            out += hex;
        } else {
            out += c.utf8;
        }
    }
    return out + "\"";
}

std::string JsonValue(int n, uint32_t) {
    return std::to_string(n);
}
std::string JsonValue(bool b, uint32_t) {
    return b ? "true" : "false";
}

// A line number, null for none.
std::string JsonLine(int line) {
    return line > 0 ? std::to_string(line) : "null";
}

void JsonFindings(std::string& out, const Findings& findings, const std::string& stage, bool& first,
                  uint32_t codePage) {
    const auto json = [codePage](const auto& v) { return JsonValue(v, codePage); };
    for (const Finding& f : findings) {
        out += first ? "\n    " : ",\n    ";
        first = false;
        out += "{\"rule\": " + json(f.rule) +
               ", \"level\": " + json(std::string(SeverityName(f.severity))) +
               ", \"path\": " + json(Slashed(f.file)) + ", \"line\": " + JsonLine(f.line) +
               ", \"stage\": " + (stage.empty() ? std::string("null") : json(stage)) +
               ", \"message\": " + json(f.message) +
               ", \"fix\": " + (f.fix.empty() ? std::string("null") : json(f.fix)) + "}";
    }
}

// The text report's pieces, in colour or not.
struct Text {
    Detail detail;
    bool colour;
    // The notes said once for many entries: (rule, message) -> how many times.
    std::vector<std::pair<std::pair<std::string, std::string>, int>> repeated;
    std::vector<std::pair<std::string, std::string>> said;

    std::string Paint(const char* code, const std::string& text) const {
        return colour ? std::string("\033[") + code + "m" + text + "\033[0m" : text;
    }
    bool Shows(const Finding& f) const {
        if (detail == Detail::ErrorsOnly) return f.severity == Severity::Error;
        if (detail == Detail::Quiet) return false;
        if (detail == Detail::Verbose || f.severity != Severity::Note) return true;
        const auto key = std::make_pair(f.rule, f.message);
        return std::find(said.begin(), said.end(), key) == said.end();
    }
    int TimesSaid(const Finding& f) const {
        for (const auto& [key, n] : repeated)
            if (key == std::make_pair(f.rule, f.message)) return n;
        return 1;
    }
    // "path:line: level: message", at column 0, and its fix on the next line.
    std::string Line(const Finding& f) {
        if (!Shows(f)) return {};
        const char* colours[] = {"1;36", "1;35", "1;31"};
        std::string place = Slashed(f.file);
        if (!place.empty() && f.line > 0) place += ":" + std::to_string(f.line);
        std::string out = (place.empty() ? std::string() : Paint("1", place + ":") + " ") +
                          Paint(colours[static_cast<int>(f.severity)],
                                std::string(SeverityName(f.severity)) + ":") +
                          " " + f.message;
        const int times =
            detail == Detail::Verbose || f.severity != Severity::Note ? 1 : TimesSaid(f);
        if (times > 1)
            out += " (said of " + std::to_string(times) + " entries; --verbose lists each)";
        if (f.severity == Severity::Note && detail != Detail::Verbose)
            said.emplace_back(f.rule, f.message);
        out += "\n";
        if (!f.fix.empty()) out += "  " + Paint("32", "fix:") + " " + f.fix + "\n";
        return out;
    }
    std::string Lines(const Findings& findings) {
        std::string out;
        for (const Finding& f : findings)
            out += Line(f);
        return out;
    }
};

bool Wrong(const Findings& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.severity != Severity::Note; });
}
bool Fails(const Stage& s) {
    return std::any_of(s.findings.begin(), s.findings.end(),
                       [](const Finding& f) { return f.severity == Severity::Error; });
}

std::string Plural(int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

} // namespace

Counts Count(const Report& r) {
    Counts c;
    auto tally = [&c](const Findings& findings) {
        for (const Finding& f : findings) {
            c.errors += f.severity == Severity::Error;
            c.warnings += f.severity == Severity::Warning;
            c.notes += f.severity == Severity::Note;
        }
    };
    tally(r.settingsFindings);
    tally(r.folderFindings);
    for (const Stage& s : r.stages) {
        tally(s.findings);
        if (!s.screen.empty()) continue; // a screen's music is no stage
        ++c.stages;
        c.playing += !s.plays.empty();
    }
    return c;
}

std::string StageName(const Stage& s) {
    return s.screen.empty() ? Slashed(s.file) : s.screen + " of " + Slashed(s.file);
}

std::string TextReport(const Report& r, Detail detail, bool colour) {
    Text text{detail, colour, {}, {}};
    auto note = [&text](const Findings& findings) {
        for (const Finding& f : findings) {
            if (f.severity != Severity::Note) continue;
            const auto key = std::make_pair(f.rule, f.message);
            auto it = std::find_if(text.repeated.begin(), text.repeated.end(),
                                   [&](const auto& k) { return k.first == key; });
            if (it == text.repeated.end())
                text.repeated.push_back({key, 1});
            else
                ++it->second;
        }
    };
    note(r.settingsFindings);
    note(r.folderFindings);
    for (const Stage& s : r.stages)
        note(s.findings);

    const Counts c = Count(r);
    std::string out = "bgm-check: game folder " + r.game + ", code page " +
                      std::to_string(r.codePage) + "\n" + text.Paint("1", "Summary:") + " " +
                      Plural(c.stages, "stage") + ", " + std::to_string(c.playing) +
                      " can play music; " + Plural(c.errors, "error") + ", " +
                      Plural(c.warnings, "warning") + ", " + Plural(c.notes, "note") + "\n";
    std::string failing;
    for (const Stage& s : r.stages)
        if (Fails(s)) failing += (failing.empty() ? "" : ", ") + StageName(s);
    if (!failing.empty()) out += text.Paint("1;31", "Failing:") + " " + failing + "\n";
    if (detail == Detail::Quiet) return Readable(out, r.codePage);

    const bool listSettings =
        detail == Detail::Verbose || (detail == Detail::Usual && Wrong(r.settingsFindings));
    if (listSettings) {
        out += "\n" + text.Paint("1", "Settings: " + Slashed(r.settingsFile)) +
               (r.settingsFound ? "" : " (none)") + "\n";
        for (const SettingValue& v : r.settings)
            if (v.set || detail == Detail::Verbose)
                out += "  " + v.key + " = " + (v.value.empty() ? "\"\"" : v.value) +
                       (v.set ? " (set, line " + std::to_string(v.line) + ")" : " (default)") +
                       "\n";
    }
    std::string general = text.Lines(r.settingsFindings) + text.Lines(r.folderFindings);
    if (!general.empty()) out += (listSettings ? "" : "\n") + general;

    for (const Stage& s : r.stages) {
        const std::string findings = text.Lines(s.findings);
        if (findings.empty() && detail != Detail::Verbose) continue;
        out +=
            "\n" + text.Paint("1", (s.screen.empty() ? "Stage " : "Screen ") + StageName(s)) + ": ";
        if (s.entry == "set")
            out += "bgmusic = " + s.bgmusic + " (line " + std::to_string(s.line) + ")\n";
        else if (s.entry == "empty")
            out += "bgmusic is empty (line " + std::to_string(s.line) + ")\n";
        else
            out += "no bgmusic\n";
        if (detail == Detail::Verbose) {
            for (const MusicKey& k : s.music)
                out += "  " + k.key + " = " + k.value + " (line " + std::to_string(k.line) + ")\n";
            if (!s.looked.empty()) {
                out += "  looked for:";
                for (const Candidate& k : s.looked)
                    out += " " + k.path + (k.found ? " (found)" : " (missing)");
                out += "\n";
            }
            if (!s.kind.empty()) {
                out += "  asks for the " + s.kind + " " + s.request;
                if (s.kind == "playlist")
                    out += s.refused ? ", which is no playlist to the plug-in"
                                     : ": " + std::to_string(s.entries.size()) + " entries";
                if (!s.extSound.empty()) out += ", extra sound " + s.extSound;
                out += "\n";
            }
            for (const Entry& e : s.entries)
                out += "    line " + std::to_string(e.line) + ": " +
                       (e.file.empty() ? "(no file)" : e.file) +
                       (e.options.empty() ? "" : " [" + e.options + "]") + ": " + Values(e) + "\n";
        }
        std::string plays;
        for (const std::string& p : s.plays)
            plays += (plays.empty() ? "" : ", ") + Slashed(p);
        if (detail != Detail::ErrorsOnly)
            out += "  can play: " + (plays.empty() ? std::string("nothing") : plays) + "\n";
        if (detail == Detail::Verbose && !s.ctrlR.empty()) out += "  Ctrl+R: " + s.ctrlR + "\n";
        out += findings;
    }
    return Readable(out, r.codePage);
}

std::string JsonReport(const Report& r) {
    const auto json = [&r](const auto& v) { return JsonValue(v, r.codePage); };
    std::string out = "{\n  \"game\": " + json(r.game) +
                      ",\n  \"codepage\": " + std::to_string(r.codePage) +
                      ",\n  \"settings\": {\"file\": " + json(r.settingsFile) +
                      ", \"found\": " + json(r.settingsFound) + ", \"keys\": [";
    for (size_t i = 0; i < r.settings.size(); ++i) {
        const SettingValue& v = r.settings[i];
        out += std::string(i ? "," : "") + "\n    {\"key\": " + json(v.key) +
               ", \"value\": " + json(v.value) +
               ", \"source\": " + json(std::string(v.set ? "set" : "default")) +
               ", \"line\": " + JsonLine(v.line) + "}";
    }
    out += "]},\n  \"stages\": [";
    for (size_t i = 0; i < r.stages.size(); ++i) {
        const Stage& s = r.stages[i];
        out += std::string(i ? "," : "") + "\n    {\"file\": " + json(s.file) +
               ", \"line\": " + JsonLine(s.line) + ", \"entry\": " + json(s.entry) +
               ", \"bgmusic\": " + json(s.bgmusic) + ", \"line_ends\": " + json(s.lineEnds) +
               ", \"ctrl_r\": " + json(s.ctrlR) + ", \"screen\": " + json(s.screen) +
               ",\n     \"music\": [";
        for (size_t k = 0; k < s.music.size(); ++k)
            out += std::string(k ? ", " : "") + "{\"key\": " + json(s.music[k].key) +
                   ", \"value\": " + json(s.music[k].value) +
                   ", \"line\": " + json(s.music[k].line) + "}";
        out += "],\n     \"looked\": [";
        for (size_t k = 0; k < s.looked.size(); ++k)
            out += std::string(k ? ", " : "") + "{\"path\": " + json(s.looked[k].path) +
                   ", \"found\": " + json(s.looked[k].found) + "}";
        out += "],\n     \"request\": " + json(s.request) + ", \"kind\": " + json(s.kind) +
               ", \"refused\": " + json(s.refused) + ", \"extsound\": " + json(s.extSound) +
               ",\n     \"entries\": [";
        for (size_t k = 0; k < s.entries.size(); ++k) {
            const Entry& e = s.entries[k];
            out += std::string(k ? "," : "") + "\n      {\"line\": " + json(e.line) +
                   ", \"file\": " + json(e.file) + ", \"options\": " + json(e.options) +
                   ", \"volume\": " + json(e.volume) + ", \"start\": " + json(e.start) +
                   ", \"end\": " + json(e.end) + ", \"stop\": " + json(e.stop) +
                   ", \"loop\": " + json(e.loop) + ", \"exists\": " + json(e.exists) + "}";
        }
        out += "],\n     \"plays\": [";
        for (size_t k = 0; k < s.plays.size(); ++k)
            out += std::string(k ? ", " : "") + json(s.plays[k]);
        out += "]}";
    }
    out += "],\n  \"findings\": [";
    bool first = true;
    JsonFindings(out, r.settingsFindings, "", first, r.codePage);
    JsonFindings(out, r.folderFindings, "", first, r.codePage);
    for (const Stage& s : r.stages)
        JsonFindings(out, s.findings, s.file, first, r.codePage);
    const Counts c = Count(r);
    out += "],\n  \"summary\": {\"stages\": " + json(c.stages) +
           ", \"playing\": " + json(c.playing) + ", \"errors\": " + json(c.errors) +
           ", \"warnings\": " + json(c.warnings) + ", \"notes\": " + json(c.notes) + "}\n}\n";
    return out;
}

} // namespace check
