// The report as one page for a browser: every stage and screen tune in a table with what
// it plays and its status, a filter to the problems, and a player for each file that can
// play, linked relative to the page. Nothing is fetched: the style and the script are in
// the page.
#include <string>
#include <vector>

#include "platform/console.h"
#include "checker.h"
#include "names.h"

namespace check {
namespace {

// A text of the game for the page, markup characters escaped. The page is read as a whole
// in the game's code page at the end (its own text and its links are ASCII).
std::string Html(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

// A link: every byte but letters, digits, "-._~/:" percent-encoded.
std::string Url(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
            std::string_view("-._~/:").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

std::string Counted(int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

const char* Level(Severity s) {
    return s == Severity::Error ? "error" : s == Severity::Warning ? "warning" : "note";
}

std::string Items(const Findings& findings) {
    std::string out;
    for (const Finding& f : findings) {
        std::string place = Slashed(f.file);
        if (!place.empty() && f.line > 0) place += ":" + std::to_string(f.line);
        out += std::string("<li class=\"") + Level(f.severity) + "\"><code>" + Html(place) +
               "</code> <b>" + Level(f.severity) + "</b> " + Html(f.message) +
               (f.fix.empty() ? "" : "<br><i>fix: " + Html(f.fix) + "</i>") + " <small>" +
               Html(f.rule) + "</small></li>\n";
    }
    return out.empty() ? out : "<ul class=\"findings\">\n" + out + "</ul>";
}

std::vector<std::string> Parts(const std::string& path) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t end = path.find_first_of("/\\", i);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(i, end - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = end + 1;
    }
    return parts;
}

constexpr char kStyle[] =
    "body{font-family:sans-serif;margin:1.5em}table{border-collapse:collapse;width:100%}"
    "th,td{border:1px solid #bbb;padding:.3em .5em;vertical-align:top;text-align:left}"
    "td:first-child{white-space:nowrap}.findings{overflow-wrap:anywhere}"
    "tr.problem td:last-child{background:#fde8e8}tr.fine td:last-child{background:#e8f6e8}"
    ".error b{color:#b00}.warning b{color:#a60}.note b{color:#06a}"
    "ul{margin:.2em 0;padding-left:1.2em}audio{height:2em;vertical-align:middle}"
    "small{color:#777}";

constexpr char kScript[] =
    "(function () {\n"
    "  var box = document.getElementById('problems');\n"
    "  function filter() {\n"
    "    var rows = document.querySelectorAll('#stages tbody tr');\n"
    "    for (var i = 0; i < rows.length; ++i)\n"
    "      rows[i].hidden = box.checked && !rows[i].classList.contains('problem');\n"
    "  }\n"
    "  box.addEventListener('change', filter);\n"
    "  if (location.hash === '#problems') box.checked = true;\n"
    "  filter();\n"
    "  document.body.setAttribute('data-ready', 'yes');\n"
    "})();\n";

} // namespace

std::string WayTo(const std::string& page, const std::string& game) {
    std::vector<std::string> from = Parts(page), to = Parts(game);
    if (!from.empty()) from.pop_back(); // the page's own name
    const bool drives = (!from.empty() && from[0].find(':') != std::string::npos) ||
                        (!to.empty() && to[0].find(':') != std::string::npos);
    size_t common = 0;
    while (common < from.size() && common < to.size() && SameText(from[common], to[common]))
        ++common;
    if (common == 0 && drives) {
        std::string url = "file:///";
        for (const std::string& part : to)
            url += part + "/";
        return url;
    }
    std::string way;
    for (size_t i = common; i < from.size(); ++i)
        way += "../";
    for (size_t i = common; i < to.size(); ++i)
        way += to[i] + "/";
    return way;
}

std::string HtmlReport(const Report& r, const std::string& base) {
    const Counts c = Count(r);
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>bgm-check: " +
        Html(r.game) + "</title>\n<style>" + kStyle +
        "</style>\n</head>\n<body>\n<h1>bgm-check: " + Html(r.game) + "</h1>\n<p id=\"summary\">" +
        std::to_string(c.stages) + " stages, " + std::to_string(c.playing) + " can play music; " +
        std::to_string(c.errors) + " errors, " + std::to_string(c.warnings) + " warnings, " +
        std::to_string(c.notes) + " notes</p>\n" + Items(r.settingsFindings) +
        Items(r.folderFindings) +
        "<p><label><input type=\"checkbox\" id=\"problems\"> Only the stages and screens with "
        "problems</label></p>\n<table id=\"stages\">\n<thead><tr><th>Stage or screen</th>"
        "<th>What it plays</th><th>Status</th></tr></thead>\n<tbody>\n";
    for (const Stage& s : r.stages) {
        int errors = 0, warnings = 0;
        for (const Finding& f : s.findings) {
            errors += f.severity == Severity::Error;
            warnings += f.severity == Severity::Warning;
        }
        const bool problem = errors + warnings > 0;
        out += std::string("<tr class=\"") + (problem ? "problem" : "fine") + "\"><td>" +
               Html(s.screen.empty() ? Slashed(s.file) : s.screen + " of " + Slashed(s.file)) +
               "</td>\n<td>";
        if (s.entry == "set")
            out += "<code>" + Html(s.bgmusic) + "</code>" +
                   (s.kind.empty() ? "" : " (" + Html(s.kind) + ")");
        else
            out += s.entry == "empty" ? "bgmusic is empty" : "no bgmusic";
        if (!s.plays.empty()) out += "\n<ul class=\"plays\">\n";
        for (const std::string& p : s.plays)
            out += "<li>" + Html(Slashed(p)) + " <audio controls preload=\"none\" src=\"" +
                   Html(Url(base + platform::MachinePath(p))) + "\"></audio></li>\n";
        if (!s.plays.empty()) out += "</ul>";
        out += "</td>\n<td>" +
               std::string(problem ? Counted(errors, "error") + ", " + Counted(warnings, "warning")
                           : s.plays.empty() ? "plays nothing"
                                             : "plays") +
               Items(s.findings) + "</td></tr>\n";
    }
    out +=
        "</tbody>\n</table>\n<script>\n" + std::string(kScript) + "</script>\n</body>\n</html>\n";
    return Readable(out, r.codePage);
}

} // namespace check
