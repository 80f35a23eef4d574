// The stages: each stage definition's bgmusic entry, found with the stage allocation's
// own scan, where the file it names lies, and what kind of request that is.
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/names.h"
#include "platform/system.h"
#include "core/core.h"
#include "selection/selection.h"
#include "tools/tools.h"
#include "checker.h"

namespace check {

void Add(Findings& to, Severity severity, const std::string& file, int line,
         const std::string& message) {
    to.push_back({severity, file, line, message});
}

std::string Trimmed(const std::string& text) {
    const size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return text.substr(b, text.find_last_not_of(" \t") - b + 1);
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && SameIgnoringAsciiCase(a.c_str(), b.c_str(), a.size());
}

int LineAt(const std::string& text, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        if (text[i] == '\n') ++line;
    return line;
}

bool ReadWhole(const std::string& path, std::string& text) {
    platform::Handle file = platform::OpenFileForRead(path.c_str());
    if (!file) return false;
    // A file of 4 GiB or more is none that the plug-in reads.
    const uint64_t size = platform::GetFileSize(file);
    const bool fits = size <= UINT32_MAX;
    text.assign(fits ? static_cast<size_t>(size) : 0, '\0');
    uint32_t read = 0;
    const bool ok =
        fits && platform::ReadFile(file, text.data(), static_cast<uint32_t>(text.size()), &read);
    platform::CloseObject(file);
    text.resize(read);
    return ok;
}

namespace {

// The end of the line holding `i`: its CR or LF, or the end of the text.
size_t LineEnd(const std::string& text, size_t i) {
    const size_t end = text.find_first_of("\r\n", i);
    return end == std::string::npos ? text.size() : end;
}
size_t LineStart(const std::string& text, size_t i) {
    const size_t start = text.rfind('\n', i);
    return start == std::string::npos ? 0 : start + 1;
}

// A name that does not start from the game folder: a drive, or the root.
bool Absolute(const std::string& name) {
    return (name.size() >= 2 && name[1] == ':') ||
           (!name.empty() && (name[0] == '\\' || name[0] == '/'));
}

std::string FolderPart(const std::string& name) {
    const size_t cut = platform::LastSeparator(name);
    return cut == std::string::npos ? std::string() : name.substr(0, cut);
}

// Where the game may look for the file a stage names: the game folder, its sound
// folder, and the stage's own folder, in this order.
void LookFor(Stage& s) {
    std::vector<std::string> places{s.bgmusic};
    if (!Absolute(s.bgmusic))
        places.insert(places.end(), {"sound/" + s.bgmusic, "stages/" + s.bgmusic});
    for (const std::string& place : places) {
        const bool found = platform::FileExists(place.c_str());
        s.looked.push_back({place, found});
        if (!found) continue;
        s.request = place;
        break;
    }
    const RequestKind kind = KindOfRequest(s.bgmusic.c_str());
    if (s.request.empty() && kind == RequestKind::Folder) {
        // The plug-in never opens a folder marker: only its folder has to exist.
        for (const Candidate& c : s.looked) {
            const std::string folder = FolderPart(c.path);
            if (!folder.empty() && platform::FileExists(folder.c_str())) {
                s.request = c.path;
                Add(s.findings, Severity::Note, s.file, s.line,
                    "the folder marker " + c.path +
                        " does not exist: the plug-in needs only its folder, but the game may "
                        "want the file itself");
                break;
            }
        }
    }
    if (s.request.empty()) {
        std::string looked;
        for (const Candidate& c : s.looked)
            looked += (looked.empty() ? "" : ", ") + c.path;
        Add(s.findings, Severity::Error, s.file, s.line,
            "bgmusic names " + s.bgmusic + ", which is found nowhere (looked for " + looked + ")");
        return;
    }
    switch (kind) {
    case RequestKind::Playlist:
        s.kind = "playlist";
        CheckPlaylist(s);
        break;
    case RequestKind::Folder:
        s.kind = "folder";
        CheckFolder(s);
        break;
    case RequestKind::SingleFile:
        s.kind = "file";
        CheckMusicFile(s, s.request);
        break;
    }
}

// The key's name: its line's text up to the '='.
std::string KeyName(const std::string& text, const BgMusicScan& scan) {
    const size_t start = LineStart(text, scan.key);
    return Trimmed(text.substr(start, scan.equals - start));
}

// The value as the game reads it: after the '=' to the end of the key's line or a ';'.
std::string ValueOf(const std::string& text, const BgMusicScan& scan) {
    const size_t end = LineEnd(text, scan.equals);
    std::string value = text.substr(scan.equals + 1, end - scan.equals - 1);
    const size_t comment = value.find(';');
    if (comment != std::string::npos) value.resize(comment);
    return Trimmed(value);
}

// What Ctrl+R makes of a stage whose entry is empty or missing.
void AllocationView(Stage& s, const std::string& text, const BgMusicScan& first,
                    const std::string& name) {
    char playlist[platform::kMaxPath];
    const bool fits = StagePlaylistPath(name.c_str(), playlist, sizeof playlist);
    if (first.key == text.size()) return; // no key at all: Ctrl+R passes the stage over
    const int line = LineAt(text, first.key);
    if (line != s.line) {
        Add(s.findings, Severity::Warning, s.file, line,
            "Ctrl+R takes \"" + KeyName(text, first) +
                "\" for this stage's bgmusic, finds it set and does not offer the stage a "
                "playlist");
    } else if (first.finding == BgMusic::Value) {
        Add(s.findings, Severity::Warning, s.file, s.line,
            "Ctrl+R reads the next line as the value (the line ends with a bare LF, not CR "
            "LF) and does not offer the stage a playlist");
    } else if (first.finding == BgMusic::None) {
        Add(s.findings, Severity::Warning, s.file, s.line,
            "Ctrl+R does not see this empty entry: nothing follows it in the file");
    } else if (fits) {
        const bool exists = platform::FileExists(playlist);
        Add(s.findings, Severity::Note, s.file, s.line,
            std::string("Ctrl+R would give the stage the playlist ") + playlist +
                (exists ? ", which exists already" : ""));
    }
}

void CheckStage(Report& r, const std::string& name) {
    Stage s;
    s.file = "stages\\" + name;
    std::string text;
    if (!ReadWhole(s.file, text)) {
        Add(s.findings, Severity::Error, s.file, 0,
            "cannot be read (error " + std::to_string(platform::GetLastError()) + ")");
        r.stages.push_back(s);
        return;
    }
    // The stage allocation's scan finds the first key that begins with "bgmusic"; the game
    // reads the key named so exactly.
    const BgMusicScan first = ScanBgMusic(text.data(), text.size(), 0);
    BgMusicScan scan = first;
    while (scan.key < text.size() && !SameText(KeyName(text, scan), "bgmusic"))
        scan = ScanBgMusic(text.data(), text.size(), LineEnd(text, scan.equals) + 1);
    if (text.find("\r\n") == std::string::npos && text.find('\n') != std::string::npos)
        Add(s.findings, Severity::Warning, s.file, 0,
            "the lines end with a bare LF, not CR LF: Ctrl+R reads the file otherwise than "
            "the game");

    if (scan.key >= text.size()) {
        s.entry = "none";
        Add(s.findings, Severity::Warning, s.file, 0, "no bgmusic entry: the stage plays no music");
        AllocationView(s, text, first, name);
    } else {
        s.line = LineAt(text, scan.key);
        s.bgmusic = ValueOf(text, scan);
        s.entry = s.bgmusic.empty() ? "empty" : "set";
        if (s.bgmusic.empty()) {
            Add(s.findings, Severity::Warning, s.file, s.line,
                "bgmusic is empty: the stage plays no music");
            AllocationView(s, text, first, name);
        } else {
            LookFor(s);
        }
    }
    r.stages.push_back(s);
}

} // namespace

void CheckStages(Report& r) {
    char name[platform::kMaxPath];
    platform::Handle search = platform::FindFirst("stages\\*.def", name);
    if (!search) {
        Add(r.folderFindings, Severity::Error, "stages", 0,
            "no stage definition (stages\\*.def) is found: is this the game folder?");
        return;
    }
    std::vector<std::string> names;
    do {
        names.push_back(name);
    } while (platform::FindNext(search, name));
    platform::FindClose(search);
    for (const std::string& stage : names)
        CheckStage(r, stage);
}

} // namespace check
