// The rules a finding answers to: each with a stable id, which programs filter on, and
// the fix it usually comes with. A finding may bring a fix of its own instead (a
// did-you-mean, the reason a playlist is refused). docs/checker.md lists every id.
#include <string>

#include "checker.h"

namespace check {
namespace {

struct Rule {
    const char* id;
    const char* fix;
};

constexpr Rule kRules[] = {
    // The settings file.
    {"settings-missing", ""},
    {"settings-unreadable", "let the game's user read plugins\\OrvalinMugenBGM.ini"},
    {"settings-not-a-number", "write a whole number, such as 1"},
    {"settings-out-of-range", "write a value within the range"},
    {"settings-too-long", "shorten the value"},
    {"settings-extension-pattern", "write the extension alone, such as mp3"},
    {"settings-unknown-key", "remove the line, or write a key the plug-in knows"},
    {"settings-no-equals", "write the line as Key=Value"},
    {"settings-repeated-key", "keep one line for the key"},
    {"settings-no-extensions", "set RndMusicExt1 to a music type, such as mp3"},
    // The stages and the screens.
    {"names-code-page", ""},
    {"no-stages", "run the checker on the game folder, the one that holds stages\\"},
    {"stage-unreadable", "let the game's user read the stage file"},
    {"bgmusic-missing", "add bgmusic = the music file to the stage's [Music] section"},
    {"bgmusic-outside-music", "move bgmusic into the [Music] section"},
    {"bgmusic-empty", "name a music file, a playlist (.txt) or a folder marker (.rnd)"},
    {"bgmusic-is-folder", "name a music file in the folder, or its random.rnd marker"},
    {"bgmusic-not-found", "check the name, or put the file in the game folder, sound\\ or "
                          "the stage's folder"},
    {"folder-marker-missing", "create the marker file (an empty random.rnd) in the folder"},
    {"music-key-variant", ""},
    // Music files.
    {"music-is-folder", "name a music file, not a folder"},
    {"music-needs-decoder", "convert it to .mp3 for players without that decoder"},
    {"music-unknown-type", "convert it to .mp3, .wav or .wma"},
    {"music-unreadable", "let the game's user read the file"},
    {"music-empty", "replace it with the whole music file"},
    {"music-tag-unsupported", ""},
    {"music-tag-oversized", "rewrite the file's tag with a tag editor"},
    {"music-tag", ""},
    // Playlists.
    {"playlist-out-of-memory", "split the playlist into smaller ones"},
    {"playlist-refused", "make [Orvalin_BGMList] its first line, alone, and save it with "
                         "CR LF line ends"},
    {"playlist-several-list-heads", "keep one [List] head"},
    {"playlist-no-entries", "add a music file under [List], one a line"},
    {"playlist-too-many-entries", "split the playlist: 10,000 entries at most"},
    {"playlist-line-too-long", "shorten the name or move the file to a shorter path"},
    {"playlist-debug-box", ""},
    {"playlist-empty-entry", "remove the empty line, or write a music file on it"},
    {"playlist-marker-entry", "name the music files themselves"},
    {"playlist-missing-file", "check the name, or remove the line"},
    {"extsound-missing", "check the extra sound's name"},
    {"extsound-blank", "rename the extra sound without blanks"},
    {"trim-start-past-end", "start the tune before its end, or remove beg="},
    {"trim-end-past-start", "end it early by less than the tune lasts, or remove end="},
    {"trim-leaves-nothing", "trim less: beg= and end= together must be shorter than the tune"},
    {"loop-past-end", "repeat from a point within the tune, or remove loop="},
    // Entry options.
    {"option-unknown", "write vol=N, vol=+N, vol=-N, beg=N, end=N, stop=N or loop=N"},
    {"option-twice", "give each option once"},
    {"option-run-together", "separate the options with commas, each written as key=number"},
    {"volume-replaces", "write vol=N for a volume in place of the game's: volumes run from 0 "
                        "to 255"},
    {"volume-correction-beyond", "volumes run from 0 to 255: write a correction within "
                                 "-255 to +255"},
    {"volume-above-scale", "volumes run from 0 to 255"},
    {"option-stop-value", "write stop=1"},
    // Folder requests.
    {"folder-search-fails", ""},
    {"folder-search-ends", ""},
    {"folder-out-of-memory", "move some files to another folder"},
    {"folder-missing", "create the folder, or check the name"},
    {"folder-no-match", "add music files of those types, or set RndMusicExt1 to their type"},
    {"folder-matches", ""},
};

} // namespace

std::string RuleFix(const std::string& rule) {
    for (const Rule& r : kRules)
        if (rule == r.id) return r.fix;
    return {};
}

} // namespace check
