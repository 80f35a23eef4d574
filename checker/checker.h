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
    std::string rule; // its stable id ("playlist-missing-file"), listed in docs/checker.md
    Severity severity;
    std::string file; // as the plug-in names it; empty for the game folder itself
    int line;         // 1 and up; 0 for the file as a whole
    std::string message;
    std::string fix; // what to do about it; empty when there is nothing to do
};
using Findings = std::vector<Finding>;
// A finding; without a fix of its own it takes the rule's usual one (RuleFix).
void Add(Findings& to, const char* rule, Severity severity, const std::string& file, int line,
         const std::string& message, const std::string& fix = {});
// The fix a rule usually comes with; empty when the finding itself says it all.
std::string RuleFix(const std::string& rule);

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
// What the text report shows: everything (verbose), the usual, the errors, the summary.
enum class Detail { Quiet, ErrorsOnly, Usual, Verbose };
std::string TextReport(const Report& report, Detail detail = Detail::Usual, bool colour = false);
std::string JsonReport(const Report& report);
// The report as one self-contained page; `base` leads from the page's folder to the game
// folder ("" when the page lies in it, else ending with '/').
std::string HtmlReport(const Report& report, const std::string& base);
// The way from the folder of the file `page` to the folder `game` (both absolute): a
// relative link ending with '/', "" for the same folder, or a file URL across drives.
std::string WayTo(const std::string& page, const std::string& game);

// A name as written (sound\a.mp3) as a path of the game folder with forward slashes.
std::string Slashed(const std::string& name);
// Edit distance, ASCII letters in any case.
int Distance(const std::string& a, const std::string& b);
// "did you mean sound/Adon_2.mp3?" when a file of the folder a missing name points into
// is close enough to be the one meant; empty otherwise.
std::string DidYouMean(const std::string& missing);

// Small text helpers shared by the checks.
std::string Trimmed(const std::string& text);
bool SameText(const std::string& a, const std::string& b); // ASCII letters in any case
int LineAt(const std::string& text, size_t offset);        // 1 and up
// A system error code in words ("permission denied").
std::string ErrorInWords(uint32_t code);
// A file read whole; false when it can't be opened.
bool ReadWhole(const std::string& path, std::string& text);

} // namespace check
