// What a stage asks the plug-in for: a music file, a playlist read with the plug-in's
// reader and split with its entry splitter, or a folder scanned with its folder scan.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/names.h"
#include "platform/system.h"
#include "core/core.h"
#include "selection/selection.h"
#include "tools/tools.h"
#include "checker.h"
#include "tune_length.h"

namespace check {
namespace {

constexpr size_t kLineRoom = kNameSize - 1;

std::string Lower(std::string text) {
    for (char& c : text)
        c = AsciiLower(c);
    return text;
}

// The extension of the file a name opens: Windows drops a name's trailing blanks and dots.
std::string Extension(std::string name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    const size_t dot = name.rfind('.');
    const size_t slash = platform::LastSeparator(name);
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot < slash))
        return {};
    return Lower(name.substr(dot + 1));
}

// Music types Windows plays out of the box, and types it plays only with a decoder added.
const char* const kPlayed[] = {"mp3", "mp2", "mpa",  "wav",  "wma", "mid", "midi",
                               "rmi", "aif", "aiff", "aifc", "au",  "snd"};
const char* const kWithDecoder[] = {"ogg", "flac", "m4a", "aac", "opus", "ape", "mpc"};

bool In(const std::string& ext, const char* const* list, size_t n) {
    return std::find(list, list + n, ext) != list + n;
}

// The type and the ID3v2 tag of a music file that exists.
// Checks a music file that exists; false when it can't play: a folder, a type Windows does
// not play, a file that can't be read or is empty.
bool MusicFile(Stage& s, const std::string& file) {
    if (platform::IsFolder(file.c_str())) {
        Add(s.findings, "music-is-folder", Severity::Error, file, 0,
            "is a folder, not a music file: nothing plays");
        return false;
    }
    const std::string ext = Extension(file);
    if (In(ext, kWithDecoder, std::size(kWithDecoder))) {
        Add(s.findings, "music-needs-decoder", Severity::Note, file, 0,
            "." + ext + " plays only where a DirectShow decoder for it is installed");
    } else if (!In(ext, kPlayed, std::size(kPlayed))) {
        Add(s.findings, "music-unknown-type", Severity::Error, file, 0,
            (ext.empty() ? std::string("no file type") : "." + ext + " is no music type") +
                " that Windows is known to play: nothing plays");
        return false;
    }

    platform::Handle h = platform::OpenFileForRead(file.c_str());
    if (!h) {
        Add(s.findings, "music-unreadable", Severity::Error, file, 0,
            "cannot be read: " + ErrorInWords(platform::GetLastError()));
        return false;
    }
    const uint64_t size = platform::GetFileSize(h);
    const std::optional<Id3v2Header> header = ReadId3v2Header(h, size);
    platform::CloseObject(h);
    if (size == 0) {
        Add(s.findings, "music-empty", Severity::Error, file, 0, "is empty: nothing plays");
        return false;
    }
    if (!header) return true;
    const Id3v2Header tag = *header;
    const std::string version = "ID3v2." + std::to_string(tag.version);
    if (tag.kind == Id3v2::Unsupported)
        Add(s.findings, "music-tag-unsupported", Severity::Note, file, 0,
            "an " + version + " tag at its start, which Ctrl+X does not cut");
    else if (tag.kind == Id3v2::Present && tag.cutLength > size)
        Add(s.findings, "music-tag-oversized", Severity::Warning, file, 0,
            "an " + version + " tag whose size (" + std::to_string(tag.cutLength) +
                " bytes) exceeds the file's (" + std::to_string(size) +
                "): Ctrl+X refuses to cut it");
    else if (tag.kind == Id3v2::Present)
        Add(s.findings, "music-tag", Severity::Note, file, 0,
            "an " + version + " tag of " + std::to_string(tag.cutLength) +
                " bytes at its start (Ctrl+X cuts it)");
    return true;
}

// Why the reader refused a playlist's text, and what to do about it, for the one who
// wrote it.
struct Refused {
    std::string why, fix;
};
Refused Refusal(const std::string& raw) {
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return {"it starts with a UTF-8 byte-order mark; save it in the system's code page",
                "save it in the system's code page (ANSI), without a byte-order mark"};
    if (raw.compare(0, 2, "\xFF\xFE") == 0 || raw.compare(0, 2, "\xFE\xFF") == 0)
        return {"it is written in UTF-16; save it in the system's code page",
                "save it in the system's code page (ANSI)"};
    const size_t spaces = raw.find_first_not_of(' ');
    if (spaces != std::string::npos && raw[spaces] == '\t')
        return {"a tab stands before the header", "remove the tab before [Orvalin_BGMList]"};
    const size_t lf = raw.find('\n');
    const size_t crlf = raw.find("\r\n");
    if (lf != std::string::npos && lf != crlf + 1)
        return {"its first line ends with a bare LF, not CR LF", "save it with CR LF line ends"};
    const size_t end = crlf == std::string::npos ? raw.size() : crlf;
    const std::string line = Lower(raw.substr(0, end));
    const std::string header = "[orvalin_bgmlist]";
    const size_t at = line.find(header);
    if (at == std::string::npos || line.find_first_not_of(' ') != at)
        return {"its first line is not the header [Orvalin_BGMList]",
                "make [Orvalin_BGMList] the first line"};
    if (at > 46)
        return {std::to_string(at) + " spaces stand before the header; at most 46 may",
                "remove the spaces before [Orvalin_BGMList]"};
    if (line.size() > at + header.size())
        return {"blanks or text follow the header on its line",
                "end the header's line right after [Orvalin_BGMList]"};
    return {"the header's line does not end within the file's first 64 bytes",
            "end the header's line with CR LF within the first 64 bytes"};
}

struct Options {
    long long volume = 0; // as PlayerState.Hosei
    long long start = 0, end = 0, stop = 0, loop = 0;
    bool operator==(const Options&) const = default;
};

std::string Describe(const Options& o) {
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (o.volume >= 10000 || o.volume <= -10000)
        add("volume " + std::to_string(o.volume % 10000) + " (in place of the game's)");
    else if (o.volume != 0)
        add("volume " + std::string(o.volume > 0 ? "+" : "") + std::to_string(o.volume));
    if (o.start) add("start " + std::to_string(o.start) + " ms");
    if (o.end) add("end " + std::to_string(o.end) + " ms early");
    if (o.stop) add("stop " + std::to_string(o.stop));
    if (o.loop) add("repeats from " + std::to_string(o.loop) + " ms");
    return text.empty() ? "nothing" : text;
}

Options OptionsOf(const EntrySplit& split) {
    return {split.hosei, split.beg, split.end, split.stop, split.loop};
}

// What the splitter reads from one option alone.
Options ReadAlone(const std::string& option) {
    return OptionsOf(ParseEntry(("x," + option).c_str()));
}

// A box's text on one line: line ends become " / ".
std::string OneLine(const char* text) {
    std::string line;
    for (const char* c = text; *c; ++c) {
        if (*c == '\r') continue;
        if (*c == '\n')
            line += " / ";
        else
            line += *c;
    }
    return line;
}

// The diagnostic boxes the plug-in shows for an entry it splits, at the Debug level set.
void NoteSplitBoxes(Stage& s, const std::string& file, int line, const char* entry,
                    const EntrySplit& split) {
    const SplitBoxes boxes = BoxesOfSplit(entry, split);
    for (int i = 0; i < boxes.count; ++i)
        if (PluginSettings.Debug >= boxes.box[i].level)
            Add(s.findings, "playlist-debug-box", Severity::Note, file, line,
                std::string("the plug-in shows the box \"") + boxes.box[i].caption +
                    "\": " + OneLine(boxes.box[i].text));
}

// An option as a writer means it: vol=N, vol=+N, vol=-N, beg=N, end=N, stop=N or loop=N.
bool Plain(const std::string& option) {
    static const char* const kKeys[] = {"vol=+", "vol=-", "vol=", "beg=", "end=", "stop=", "loop="};
    for (const char* key : kKeys) {
        const size_t n = std::strlen(key);
        if (option.size() > n && Lower(option.substr(0, n)) == key)
            return option.find_first_not_of("0123456789", n) == std::string::npos;
    }
    return false;
}

// Options the splitter reads otherwise than their writer meant: words it does not know
// (or knows inside another word), numbers that run on into the next option, an option
// given twice, and volumes it takes otherwise.
void CheckOptions(Stage& s, const std::string& file, int line, const std::string& options,
                  const Options& read) {
    Options each; // every option read on its own, the later one winning
    std::vector<std::string> keys;
    bool twice = false;
    size_t i = 0;
    while (i <= options.size()) {
        size_t comma = options.find(',', i);
        if (comma == std::string::npos) comma = options.size();
        const std::string option = options.substr(i, comma - i);
        i = comma + 1;
        if (option.empty()) continue;
        const Options alone = ReadAlone(option);
        if (alone.volume != 0) each.volume = alone.volume;
        if (alone.start) each.start = alone.start;
        if (alone.end) each.end = alone.end;
        if (alone.stop) each.stop = alone.stop;
        if (alone.loop) each.loop = alone.loop;
        if (!Plain(option)) {
            Add(s.findings, "option-unknown", Severity::Warning, file, line,
                "the option \"" + option +
                    "\" is not one the plug-in knows; on its own it reads as " + Describe(alone));
            continue;
        }
        const std::string key = Lower(option.substr(0, option.find('=')));
        twice = twice || std::find(keys.begin(), keys.end(), key) != keys.end();
        keys.push_back(key);
    }
    if (twice)
        Add(s.findings, "option-twice", Severity::Warning, file, line,
            "an option given twice: the plug-in runs the numbers together and reads " +
                Describe(read));
    else if (!(each == read))
        Add(s.findings, "option-run-together", Severity::Warning, file, line,
            "the plug-in reads these options together as " + Describe(read) +
                ", option by option they say " + Describe(each));
    const size_t vol = Lower(options).rfind("vol=");
    const bool relative = vol != std::string::npos && vol + 4 < options.size() &&
                          (options[vol + 4] == '+' || options[vol + 4] == '-');
    if (relative && (read.volume >= 10000 || read.volume <= -10000))
        Add(s.findings, "volume-replaces", Severity::Warning, file, line,
            "a correction of 10000 or more is taken as a volume in place of the game's");
    else if (relative && (read.volume > 255 || read.volume < -255))
        Add(s.findings, "volume-correction-beyond", Severity::Warning, file, line,
            "a correction of " + std::to_string(read.volume) +
                " is beyond the volume scale (0 to 255): the tune plays at the scale's end");
    else if (!relative && read.volume > 10255)
        Add(s.findings, "volume-above-scale", Severity::Warning, file, line,
            "a volume of " + std::to_string(read.volume - 10000) +
                " is above the top of the volume scale (0 to 255)");
    if (read.stop != 0 && read.stop != 1)
        Add(s.findings, "option-stop-value", Severity::Note, file, line,
            "stop=" + std::to_string(read.stop) +
                " ends list play like stop=1: any value but 0 does");
}

// Trims that leave nothing of the tune, from its length in its headers.
void CheckTrims(Stage& s, const std::string& file, int line, const Entry& e) {
    if (e.start <= 0 && e.end <= 0 && e.loop <= 0) return;
    const std::string ext = Extension(e.file);
    if (ext != "wav" && ext != "mp3" && ext != "ogg") return;
    const std::optional<uint32_t> length = TuneLength(e.file);
    if (!length) return;
    const long long ms = *length;
    const std::string lasts = "the tune lasts " + std::to_string(ms) + " ms";
    if (e.start >= ms)
        Add(s.findings, "trim-start-past-end", Severity::Error, file, line,
            "it starts at " + std::to_string(e.start) + " ms, at or past its end (" + lasts +
                "): nothing plays");
    else if (e.end >= ms)
        Add(s.findings, "trim-end-past-start", Severity::Error, file, line,
            "it ends " + std::to_string(e.end) + " ms early, but " + lasts + ": nothing plays");
    else if (e.start > 0 && e.end > 0 && e.start + e.end >= ms)
        Add(s.findings, "trim-leaves-nothing", Severity::Error, file, line,
            "it starts at " + std::to_string(e.start) + " ms and ends " + std::to_string(e.end) +
                " ms early, which leaves nothing (" + lasts + ")");
    if (e.loop >= ms)
        Add(s.findings, "loop-past-end", Severity::Warning, file, line,
            "it repeats from " + std::to_string(e.loop) + " ms, at or past its end (" + lasts +
                ")");
}

int Lines(const std::string& text, size_t from, size_t to) {
    int n = 0;
    for (size_t i = from; i < to && i < text.size(); ++i)
        n += text[i] == '\n';
    return n;
}

} // namespace

void CheckMusicFile(Stage& s, const std::string& file) {
    if (MusicFile(s, file) && std::find(s.plays.begin(), s.plays.end(), file) == s.plays.end())
        s.plays.push_back(file);
}

void CheckPlaylist(Stage& s) {
    const std::string& file = s.request;
    std::string raw;
    ReadWhole(file, raw);
    const PlaylistRead read = ReadPlaylist(file.c_str());
    const PlaylistText& seen = read.text;
    if (read.refusal == ListRefusal::OutOfMemory) {
        s.refused = true;
        Add(s.findings, "playlist-out-of-memory", Severity::Error, file, 0,
            "the plug-in cannot get the memory to read it (it shows \"Failed to allocate "
            "memory.\")");
        return;
    }
    if (read.refusal != ListRefusal::None) {
        s.refused = true;
        Add(s.findings, "playlist-refused", Severity::Error, file, 1,
            "the plug-in does not take it for a playlist: " + Refusal(raw).why, Refusal(raw).fix);
        return;
    }
    const EntryTable& entries = read.entries;
    const int first = LineAt(raw, seen.listStart);
    if (Lower(raw).find("[list]") != Lower(raw).rfind("[list]"))
        Add(s.findings, "playlist-several-list-heads", Severity::Warning, file, first - 1,
            "more than one [List] head: the lines after each are counted, but the entries are "
            "taken from the last one on");
    if (entries.Count() == 0)
        Add(s.findings, "playlist-no-entries", Severity::Error, file, first - 1,
            "no entries: nothing plays (drop music files on the game window while it plays to "
            "fill the list)");
    if (read.Cut())
        Add(s.findings, "playlist-too-many-entries", Severity::Warning, file, first + kMaxEntries,
            std::string("more than 10,000 entries: this line and those after it are not read") +
                (PluginSettings.Beep != 0 ? " (the plug-in beeps at 1500 Hz for 2000 ms)" : ""));

    size_t at = seen.listStart; // each entry's raw line, and where the next begins
    int next = first;
    std::vector<std::string> checked;
    for (int i = 0; i < entries.Count(); ++i) {
        const int line = next;
        size_t end = raw.find("\r\n", at);
        if (end == std::string::npos) end = raw.size();
        if (end - at > kLineRoom)
            Add(s.findings, "playlist-line-too-long", Severity::Warning, file, line,
                "the line is " + std::to_string(end - at) +
                    " bytes long: the plug-in keeps its first 255");
        next += Lines(raw, at, end + 2);
        at = end + 2;

        const EntrySplit split = ParseEntry(entries[i]);
        NoteSplitBoxes(s, file, line, entries[i], split);
        const char* name = split.name;
        Entry e{line,      name,       split.options, split.hosei, split.beg,
                split.end, split.stop, false,         split.loop};
        if (split.options[0] || std::strchr(entries[i], ','))
            CheckOptions(s, file, line, split.options, OptionsOf(split));
        if (e.file.empty()) {
            Add(s.findings, "playlist-empty-entry", Severity::Error, file, line,
                "an empty entry: nothing plays when it is chosen");
        } else if (KindOfRequest(name) != RequestKind::SingleFile) {
            Add(s.findings, "playlist-marker-entry", Severity::Error, file, line,
                e.file + " is a playlist or folder marker: an entry must be a music file");
        } else if (!(e.exists = platform::FileExists(name))) {
            Add(s.findings, "playlist-missing-file", Severity::Error, file, line,
                e.file + " does not exist", DidYouMean(e.file));
        } else {
            // One account per file, however the entries write its name.
            std::string same = platform::NameInCapitals(e.file);
            std::replace(same.begin(), same.end(), '/', '\\');
            const auto known = std::find(checked.begin(), checked.end(), same);
            const bool plays = known != checked.end() ? std::find(s.plays.begin(), s.plays.end(),
                                                                  e.file) != s.plays.end()
                                                      : MusicFile(s, e.file);
            if (known == checked.end()) checked.push_back(same);
            if (plays && std::find(s.plays.begin(), s.plays.end(), e.file) == s.plays.end())
                s.plays.push_back(e.file);
            if (plays) CheckTrims(s, file, line, e);
        }
        s.entries.push_back(e);
    }

    s.extSound = read.extSound;
    if (!s.extSound.empty()) {
        const size_t key = Lower(raw).rfind("extsound");
        const int line = key == std::string::npos ? 0 : LineAt(raw, key);
        if (!platform::FileExists(read.extSound))
            Add(s.findings, "extsound-missing", Severity::Warning, file, line,
                "the extra sound " + s.extSound + " does not exist", DidYouMean(s.extSound));
        const size_t value = raw.find(s.extSound, key == std::string::npos ? 0 : key);
        const size_t after = value == std::string::npos ? value : value + s.extSound.size();
        if (after != std::string::npos && after < raw.size()) {
            size_t end = raw.find_first_of("\r\n", after);
            if (end == std::string::npos) end = raw.size();
            if (!Trimmed(raw.substr(after, end - after)).empty())
                Add(s.findings, "extsound-blank", Severity::Warning, file, line,
                    "the extra sound's name ends at the first blank: the plug-in plays " +
                        s.extSound);
        }
    }
}

void CheckFolder(Stage& s) {
    const FolderScan scan = FindMusic(s.request.c_str(), PluginSettings.RndMusicExt);
    const int count = scan.entries.Count();
    std::string patterns;
    for (const char* ext : PluginSettings.RndMusicExt)
        if (ext[0]) patterns += (patterns.empty() ? "*." : ", *.") + std::string(ext);
    for (int i = 0; i < scan.searchCount; ++i) {
        const FolderSearch& search = scan.searches[i];
        if (search.error != 0)
            Add(s.findings, "folder-search-fails", Severity::Warning, s.request, 0,
                std::string("the search for ") + search.pattern + " fails (error " +
                    std::to_string(search.error) + "): the plug-in looks no further");
        else if (search.endError)
            Add(s.findings, "folder-search-ends", Severity::Warning, s.request, 0,
                std::string("the search for ") + search.pattern +
                    " ends before its last file: the plug-in plays what it found" +
                    (PluginSettings.Beep > 0 ? " and beeps" : ""));
    }
    if (scan.outOfMemory)
        Add(s.findings, "folder-out-of-memory", Severity::Warning, s.request, 0,
            "the plug-in cannot get the memory for every file: some are left out");
    if (count == 0) {
        const size_t cut = platform::LastSeparator(s.request);
        const std::string folder = cut == std::string::npos ? s.request : s.request.substr(0, cut);
        const bool exists = cut != std::string::npos && platform::FileExists(folder.c_str());
        Add(s.findings, exists ? "folder-no-match" : "folder-missing", Severity::Error, s.request,
            0,
            exists ? "no file in " + folder + " matches " +
                         (patterns.empty() ? "the empty RndMusicExt settings" : patterns)
                   : "the folder " + folder + " does not exist",
            exists ? "" : DidYouMean(folder));
        return;
    }
    Add(s.findings, "folder-matches", Severity::Note, s.request, 0,
        std::to_string(count) + " file" + (count == 1 ? "" : "s") + " match " + patterns);
    for (int i = 0; i < count; ++i)
        CheckMusicFile(s, scan.entries[i]);
}

} // namespace check
