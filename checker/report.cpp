// The report, as text for people and as JSON for programs; both hold the same findings.
#include <cstdio>
#include <string>

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

std::string Line(const Finding& f) {
    std::string place = f.file;
    if (!place.empty() && f.line > 0) place += ":" + std::to_string(f.line);
    return "  " + (place.empty() ? std::string() : place + ": ") + SeverityName(f.severity) + ": " +
           f.message + "\n";
}

std::string Values(const Entry& e) {
    return "volume " + std::to_string(e.volume) + ", start " + std::to_string(e.start) + ", end " +
           std::to_string(e.end) + ", stop " + std::to_string(e.stop) +
           (e.loop ? ", loop " + std::to_string(e.loop) : "");
}

// The code page the report's names are written in (the report's own words are ASCII).
uint32_t namesCodePage = 1252;

// A JSON string: the name's characters in UTF-8; each byte that does not read in the
// code page as \udcXX (the lone low surrogate 0xDC00 + byte), so that no name is lost.
std::string Json(const std::string& s) {
    std::string out = "\"";
    char hex[8];
    for (const Character& c : Characters(s, namesCodePage)) {
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

std::string Json(int n) {
    return std::to_string(n);
}
std::string Json(bool b) {
    return b ? "true" : "false";
}

void JsonFindings(std::string& out, const Findings& findings, const std::string& stage,
                  bool& first) {
    for (const Finding& f : findings) {
        out += first ? "\n    " : ",\n    ";
        first = false;
        out += "{\"severity\": " + Json(std::string(SeverityName(f.severity))) +
               ", \"file\": " + Json(f.file) + ", \"line\": " + Json(f.line) +
               ", \"stage\": " + (stage.empty() ? std::string("null") : Json(stage)) +
               ", \"message\": " + Json(f.message) + "}";
    }
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

std::string TextReport(const Report& r) {
    std::string out = "bgm-check: game folder " + r.game + ", code page " +
                      std::to_string(r.codePage) + "\n\nSettings: " + r.settingsFile +
                      (r.settingsFound ? "" : " (none)") + "\n";
    for (const SettingValue& v : r.settings)
        out += "  " + v.key + " = " + (v.value.empty() ? "\"\"" : v.value) +
               (v.set ? " (set, line " + std::to_string(v.line) + ")" : " (default)") + "\n";
    for (const Finding& f : r.settingsFindings)
        out += Line(f);
    for (const Finding& f : r.folderFindings)
        out += "\n" + Line(f);

    for (const Stage& s : r.stages) {
        out += s.screen.empty() ? "\nStage " + s.file + ": "
                                : "\nScreen " + s.screen + " of " + s.file + ": ";
        if (s.entry == "set")
            out += "bgmusic = " + s.bgmusic + " (line " + std::to_string(s.line) + ")\n";
        else if (s.entry == "empty")
            out += "bgmusic is empty (line " + std::to_string(s.line) + ")\n";
        else
            out += "no bgmusic\n";
        for (const MusicKey& k : s.music)
            out += "  " + k.key + " = " + k.value + " (line " + std::to_string(k.line) + ")\n";
        if (!s.looked.empty()) {
            out += "  looked for:";
            for (const Candidate& c : s.looked)
                out += " " + c.path + (c.found ? " (found)" : " (missing)");
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
        std::string plays;
        for (const std::string& p : s.plays)
            plays += (plays.empty() ? "" : ", ") + p;
        out += "  can play: " + (plays.empty() ? std::string("nothing") : plays) + "\n";
        if (!s.ctrlR.empty()) out += "  Ctrl+R: " + s.ctrlR + "\n";
        for (const Finding& f : s.findings)
            out += Line(f);
    }
    const Counts c = Count(r);
    out += "\nSummary: " + std::to_string(c.stages) + " stage" + (c.stages == 1 ? "" : "s") + ", " +
           std::to_string(c.playing) + " can play music; " + std::to_string(c.errors) + " error" +
           (c.errors == 1 ? "" : "s") + ", " + std::to_string(c.warnings) + " warning" +
           (c.warnings == 1 ? "" : "s") + "\n";
    return Readable(out, r.codePage);
}

std::string JsonReport(const Report& r) {
    namesCodePage = r.codePage;
    std::string out = "{\n  \"game\": " + Json(r.game) +
                      ",\n  \"codepage\": " + std::to_string(r.codePage) +
                      ",\n  \"settings\": {\"file\": " + Json(r.settingsFile) +
                      ", \"found\": " + Json(r.settingsFound) + ", \"keys\": [";
    for (size_t i = 0; i < r.settings.size(); ++i) {
        const SettingValue& v = r.settings[i];
        out += std::string(i ? "," : "") + "\n    {\"key\": " + Json(v.key) +
               ", \"value\": " + Json(v.value) +
               ", \"source\": " + Json(std::string(v.set ? "set" : "default")) +
               ", \"line\": " + Json(v.line) + "}";
    }
    out += "]},\n  \"stages\": [";
    for (size_t i = 0; i < r.stages.size(); ++i) {
        const Stage& s = r.stages[i];
        out += std::string(i ? "," : "") + "\n    {\"file\": " + Json(s.file) +
               ", \"line\": " + Json(s.line) + ", \"entry\": " + Json(s.entry) +
               ", \"bgmusic\": " + Json(s.bgmusic) + ", \"line_ends\": " + Json(s.lineEnds) +
               ", \"ctrl_r\": " + Json(s.ctrlR) + ", \"screen\": " + Json(s.screen) +
               ",\n     \"music\": [";
        for (size_t k = 0; k < s.music.size(); ++k)
            out += std::string(k ? ", " : "") + "{\"key\": " + Json(s.music[k].key) +
                   ", \"value\": " + Json(s.music[k].value) +
                   ", \"line\": " + Json(s.music[k].line) + "}";
        out += "],\n     \"looked\": [";
        for (size_t k = 0; k < s.looked.size(); ++k)
            out += std::string(k ? ", " : "") + "{\"path\": " + Json(s.looked[k].path) +
                   ", \"found\": " + Json(s.looked[k].found) + "}";
        out += "],\n     \"request\": " + Json(s.request) + ", \"kind\": " + Json(s.kind) +
               ", \"refused\": " + Json(s.refused) + ", \"extsound\": " + Json(s.extSound) +
               ",\n     \"entries\": [";
        for (size_t k = 0; k < s.entries.size(); ++k) {
            const Entry& e = s.entries[k];
            out += std::string(k ? "," : "") + "\n      {\"line\": " + Json(e.line) +
                   ", \"file\": " + Json(e.file) + ", \"options\": " + Json(e.options) +
                   ", \"volume\": " + Json(e.volume) + ", \"start\": " + Json(e.start) +
                   ", \"end\": " + Json(e.end) + ", \"stop\": " + Json(e.stop) +
                   ", \"loop\": " + Json(e.loop) + ", \"exists\": " + Json(e.exists) + "}";
        }
        out += "],\n     \"plays\": [";
        for (size_t k = 0; k < s.plays.size(); ++k)
            out += std::string(k ? ", " : "") + Json(s.plays[k]);
        out += "]}";
    }
    out += "],\n  \"findings\": [";
    bool first = true;
    JsonFindings(out, r.settingsFindings, "", first);
    JsonFindings(out, r.folderFindings, "", first);
    for (const Stage& s : r.stages)
        JsonFindings(out, s.findings, s.file, first);
    const Counts c = Count(r);
    out += "],\n  \"summary\": {\"stages\": " + Json(c.stages) +
           ", \"playing\": " + Json(c.playing) + ", \"errors\": " + Json(c.errors) +
           ", \"warnings\": " + Json(c.warnings) + ", \"notes\": " + Json(c.notes) + "}\n}\n";
    return out;
}

} // namespace check
