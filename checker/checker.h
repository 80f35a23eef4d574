// bgm-check: what each stage of a game folder can play, and what is wrong, read with the
// module's own readers (settings, stage scan, playlist reader and entry splitter, folder
// scan, tag header) so that the report cannot disagree with the plug-in.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace check {

enum class Severity { Note, Warning, Error };

// One line of the report: a problem or a remark about one file of the game folder.
struct Finding {
    Severity severity;
    std::string file; // as the plug-in names it; empty for the game folder itself
    int line;         // 1 and up; 0 for the file as a whole
    std::string message;
};
using Findings = std::vector<Finding>;
void Add(Findings& to, Severity severity, const std::string& file, int line,
         const std::string& message);

struct SettingValue {
    std::string key, value; // the value the plug-in uses
    bool set;               // from the file (else the default)
    int line;               // where the file sets it, 0 when it does not
};

struct Candidate {
    std::string path;
    bool found;
};

// A playlist entry as the plug-in splits it.
struct Entry {
    int line;
    std::string file, options;
    int volume, start, end, stop; // PlayerState.Hosei, EntryBeg, EntryEnd, EntryStop
    bool exists;
    int loop = 0; // PlayerState.EntryLoop: where a repeat of the entry starts, ms
};

// A key of a stage's [Music] section, as the game reads it.
struct MusicKey {
    std::string key, value;
    int line;
};

struct Stage {
    std::string file;    // "stages\forest.def"
    int line = 0;        // of its bgmusic entry, 0 when it has none
    std::string entry;   // "set", "empty" or "none"
    std::string bgmusic; // the entry's value
    std::vector<Candidate> looked;
    std::string request;  // the name the plug-in is given; empty when none is found
    std::string kind;     // "file", "playlist", "folder"; empty when nothing is asked for
    bool refused = false; // a playlist the plug-in does not take for one
    std::vector<Entry> entries;
    std::string extSound;
    std::vector<std::string> plays; // music files that can play
    std::vector<MusicKey> music;    // the [Music] keys besides bgmusic
    std::string lineEnds;           // "CR LF", "LF", "CR", "mixed" or "none"
    std::string ctrlR;              // what Ctrl+R would do to the stage, in words
    std::string screen;             // for a screen's music: its key in the motif ("title.bgm")
    Findings findings;
};

struct Report {
    std::string game;
    uint32_t codePage = 1252;
    std::string settingsFile;
    bool settingsFound = false;
    std::vector<SettingValue> settings;
    Findings settingsFindings;
    Findings folderFindings; // about the game folder as a whole
    std::vector<Stage> stages;
};

void CheckSettings(Report& report);
void CheckStages(Report& report);
// The requests a stage makes (stage_check.cpp hands them over).
void CheckMusicFile(Stage& stage, const std::string& file);
void CheckPlaylist(Stage& stage);
void CheckFolder(Stage& stage);

struct Counts {
    int stages = 0, playing = 0, errors = 0, warnings = 0, notes = 0;
};
Counts Count(const Report& report);
std::string TextReport(const Report& report);
std::string JsonReport(const Report& report);

// Small text helpers shared by the checks.
std::string Trimmed(const std::string& text);
bool SameText(const std::string& a, const std::string& b); // ASCII letters in any case
int LineAt(const std::string& text, size_t offset);        // 1 and up
// A system error code in words ("permission denied").
std::string ErrorInWords(uint32_t code);
// A file read whole; false when it can't be opened.
bool ReadWhole(const std::string& path, std::string& text);

} // namespace check
