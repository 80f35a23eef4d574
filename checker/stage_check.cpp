// The stages: each stage definition read as the game reads it (its [Music] keys, its
// bgmusic entry), where the file that names lies and what kind of request that is; and,
// on a line of its own, what Ctrl+R's own scan would do to the stage.
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
#include "def_file.h"

namespace check {

void Add(Findings& to, const char* rule, Severity severity, const std::string& file, int line,
         const std::string& message, const std::string& fix) {
    to.push_back({rule, severity, file, line, message, fix.empty() ? RuleFix(rule) : fix});
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

std::string ErrorInWords(uint32_t code) {
    switch (code) {
    case 2:
        return "it does not exist";
    case 3:
        return "its folder does not exist";
    case 5:
        return "permission denied";
    case 32:
        return "another program has it open";
    case 123:
        return "the name is not valid";
    case 267:
        return "it is not a folder";
    default:
        return "system error " + std::to_string(code);
    }
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
// `home` is the folder of the file that names the music ("stages/" for a stage).
void LookFor(Stage& s, const std::string& home = "stages/") {
    std::vector<std::string> places{s.bgmusic};
    if (!Absolute(s.bgmusic)) places.insert(places.end(), {"sound/" + s.bgmusic, home + s.bgmusic});
    for (const std::string& place : places) {
        const bool found = platform::FileExists(place.c_str());
        s.looked.push_back({place, found});
        if (!found) continue;
        if (platform::IsFolder(place.c_str())) {
            Add(s.findings, "bgmusic-is-folder", Severity::Error, s.file, s.line,
                "bgmusic names " + s.bgmusic + ", which is a folder (" + place +
                    "), not a music file: the stage plays nothing");
            return;
        }
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
                Add(s.findings, "folder-marker-missing", Severity::Note, s.file, s.line,
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
        std::string meant;
        for (const Candidate& c : s.looked)
            if (meant.empty()) meant = DidYouMean(c.path);
        Add(s.findings, "bgmusic-not-found", Severity::Error, s.file, s.line,
            "bgmusic names " + s.bgmusic + ", which is found nowhere (looked for " + looked + ")",
            meant);
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

// What Ctrl+R, with the module's own scan, would do to the stage: its own truth, told
// apart from the game's. It looks only at stages\*.def, reads lines ended by CR LF, and
// takes the first key that begins with "bgmusic" anywhere.
std::string CtrlRView(const std::string& text, const std::string& name, bool inSubfolder) {
    if (inSubfolder) return "passes the stage over (it looks only in stages\\ itself)";
    const BgMusicScan first = ScanBgMusic(text.data(), text.size(), 0);
    if (first.key == text.size() || first.finding == BgMusic::None)
        return "passes the stage over (it finds no bgmusic entry it could fill)";
    const std::string key = KeyName(text, first);
    if (first.finding == BgMusic::Value) {
        if (LineEnd(text, first.key) < text.size() && text[LineEnd(text, first.key)] == '\n' &&
            ValueOf(text, first).empty())
            return "leaves the stage alone: the line ends with a bare LF, so it reads the next "
                   "line as the value of " +
                   key;
        return "leaves the stage alone (it finds " + key + " set)";
    }
    char playlist[platform::kMaxPath];
    if (!StagePlaylistPath(name.c_str(), playlist, sizeof playlist))
        return "cannot give the stage a playlist: the name does not fit a path";
    return std::string("gives the stage the playlist ") + playlist +
           (platform::FileExists(playlist) ? ", which exists already" : "") + " (" + key +
           " at line " + std::to_string(LineAt(text, first.key)) + ")";
}

// A key of the [Music] section that belongs to the music besides bgmusic itself:
// bgvolume, bgmvolume, bgmloopstart, bgmloopend, and variants after a dot.
bool IsMusicKey(const std::string& key) {
    return key.size() >= 2 && SameText(key.substr(0, 2), "bg") && !SameText(key, "bgmusic");
}

void CheckStage(Report& r, const std::string& folder, const std::string& name) {
    Stage s;
    s.file = "stages\\" + folder + name;
    std::string text;
    if (!ReadWhole(s.file, text)) {
        Add(s.findings, "stage-unreadable", Severity::Error, s.file, 0,
            "cannot be read: " + ErrorInWords(platform::GetLastError()));
        s.ctrlR = "cannot read the stage";
        r.stages.push_back(s);
        return;
    }
    s.lineEnds = LineEnds(text);
    s.ctrlR = CtrlRView(text, name, !folder.empty());
    const std::vector<DefKey> keys = ReadDefinitions(text);
    for (const DefKey& k : SectionKeys(keys, "Music"))
        if (IsMusicKey(k.key) ||
            (k.key.find('.') != std::string::npos && SameText(k.key.substr(0, 3), "bgm")))
            s.music.push_back({k.key, k.value, k.line});
    for (const MusicKey& k : s.music)
        if (k.key.find('.') != std::string::npos)
            Add(s.findings, "music-key-variant", Severity::Note, s.file, k.line,
                k.key + " is a variant some packs add: the game and the plug-in play bgmusic");

    const DefKey* bgmusic = FindKey(keys, "Music", "bgmusic");
    if (!bgmusic) {
        s.entry = "none";
        for (const DefKey& k : keys)
            if (SameText(k.key, "bgmusic"))
                Add(s.findings, "bgmusic-outside-music", Severity::Warning, s.file, k.line,
                    "bgmusic stands in [" + k.section +
                        "], not in [Music]: the game does not read it there");
        Add(s.findings, "bgmusic-missing", Severity::Warning, s.file, 0,
            "no bgmusic entry in [Music]: the stage plays no music");
    } else {
        s.line = bgmusic->line;
        s.bgmusic = bgmusic->value;
        s.entry = s.bgmusic.empty() ? "empty" : "set";
        if (s.bgmusic.empty())
            Add(s.findings, "bgmusic-empty", Severity::Warning, s.file, s.line,
                "bgmusic is empty: the stage plays no music");
        else
            LookFor(s);
    }
    r.stages.push_back(s);
}

// The stage definitions in `folder` (below stages\, "" or ending with a backslash) and in
// its subfolders, as the game finds them.
void CheckStagesIn(Report& r, const std::string& folder, int depth) {
    char name[platform::kMaxPath];
    std::vector<std::string> stages, folders;
    if (platform::Handle search = platform::FindFirst(("stages\\" + folder + "*").c_str(), name)) {
        do {
            const std::string found = name;
            if (found == "." || found == "..") continue;
            if (platform::IsFolder(("stages\\" + folder + found).c_str()))
                folders.push_back(found);
            else if (found.size() > 4 && SameText(found.substr(found.size() - 4), ".def"))
                stages.push_back(found);
        } while (platform::FindNext(search, name));
        platform::FindClose(search);
    }
    for (const std::string& stage : stages)
        CheckStage(r, folder, stage);
    if (depth < 8)
        for (const std::string& sub : folders)
            CheckStagesIn(r, folder + sub + "\\", depth + 1);
}

} // namespace

// The music of the game's screens: every key of the motif's [Music] section whose name
// ends in ".bgm" and names something. The motif is the one data/mugen.cfg names.
void CheckScreens(Report& r) {
    std::string text, motif = "data/system.def";
    if (ReadWhole("data/mugen.cfg", text))
        for (const DefKey& k : ReadDefinitions(text))
            if (SameText(k.key, "motif") && !k.value.empty()) {
                motif = k.value;
                break;
            }
    if (!ReadWhole(motif, text)) return;
    const std::string home = FolderPart(motif);
    for (const DefKey& k : SectionKeys(ReadDefinitions(text), "Music")) {
        if (k.value.empty() || k.key.size() < 4 ||
            !SameText(k.key.substr(k.key.size() - 4), ".bgm"))
            continue;
        Stage s;
        s.file = motif;
        s.screen = k.key;
        s.line = k.line;
        s.bgmusic = k.value;
        s.entry = "set";
        LookFor(s, home.empty() ? std::string() : home + "/");
        r.stages.push_back(s);
    }
}

void CheckStages(Report& r) {
    CheckStagesIn(r, "", 0);
    if (r.stages.empty())
        Add(r.folderFindings, "no-stages", Severity::Error, "stages", 0,
            "no stage definition (stages\\*.def) is found: is this the game folder?");
    CheckScreens(r);
}

} // namespace check
