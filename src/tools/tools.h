// Maintenance tools the player starts in game, and the readers they are built on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/types.h"

// The question asked before a cut, on whichever thread asks it.
inline constexpr const char* kTagCutQuestion =
    "Do you want to remove ID3v2 tag?\nBackup will be Created automatically.";

// Removes the ID3v2 tag from the start of a music file, after copying the file to a
// backup beside it ("[Backup]" before its name, in the same folder; an existing backup
// is never overwritten). Returns 1 when the tag was cut, 0 otherwise; the outcome is
// told by a title-bar notice.
int CutId3v2Tag(const char* path);

// What the first ten bytes of a file say about an ID3v2 tag at its start: none (no
// "ID3"), one of major version 5 or later (not cut), or one that is cut at `cutLength`
// (the header and the tag size it gives).
constexpr uint32_t kId3v2HeaderSize = 10;
enum class Id3v2 { None, Unsupported, Present };
struct Id3v2Header {
    Id3v2 kind;
    uint8_t version;    // the major version byte
    uint32_t cutLength; // for a tag that is cut: the bytes it covers
};
Id3v2Header ReadId3v2Header(const unsigned char (&header)[kId3v2HeaderSize]);
// The same read from an open file of `size` bytes, where it stands (its start when just
// opened). Nothing when the file is no longer than the header or its bytes can't be read.
std::optional<Id3v2Header> ReadId3v2Header(platform::Handle file, uint64_t size);

// Gives every stage whose bgmusic entry is empty a playlist of its own, after asking:
// "sound/<stage>.txt", created empty unless it exists, its path written into the entry.
// Returns 0 when the stage folder can't be searched, 1 otherwise.
int ForceInsertMusic();

// The bgmusic entry of a stage definition's text, looked for from `from` on: comments
// (';' to the end of the line) are skipped; the first key that begins with "bgmusic", in
// any case and anywhere on a line, with an '=' on its line, counts. Its value is empty
// when after the '=' only blanks stand up to the line's end (CR LF) or a ';'. An entry
// whose blanks run to the end of the text counts as no entry.
enum class BgMusic { None, Value, Empty };
struct BgMusicScan {
    BgMusic finding;
    size_t key;    // the key's first letter; `length` when no key was found
    size_t equals; // its '=' (when a key was found)
    size_t stop;   // the first character after the '=' that is no blank or line end, or
                   // the first character of the next line, whichever comes first
};
BgMusicScan ScanBgMusic(const char* text, size_t length, size_t from);

// The playlist the stage allocation gives the stage file `name` (found in "stages"):
// "forest.def" gives "sound/forest.txt". False, and `out` empty, when the name is shorter
// than its extension or the path does not fit in `size` bytes.
bool StagePlaylistPath(const char* name, char* out, size_t size);
