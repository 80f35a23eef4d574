// How a stage definition's bgmusic entry is found: the reader behind the stage music
// allocation, kept apart from its boxes and writes so that whatever reads stages the
// same way (the game-folder checker) uses this one scan.
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "tools/tools.h"

namespace {

struct Text {
    const char* bytes;
    size_t length;
};

bool LineEndAt(const Text& s, size_t i) {
    return i + 1 < s.length && s.bytes[i] == '\r' && s.bytes[i + 1] == '\n';
}
// The first character of a line: the one after a CR LF.
bool LineStartAt(const Text& s, size_t i) {
    return i >= 2 && s.bytes[i - 2] == '\r' && s.bytes[i - 1] == '\n';
}
// The start of the line after the one holding `i`, or the end of the text.
size_t NextLine(const Text& s, size_t i) {
    while (i < s.length && !LineEndAt(s, i))
        ++i;
    return i < s.length ? i + 2 : s.length;
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

// A matching key with no '=' on its line sets nothing, so it is passed over like any
// other line.
BgMusicScan ScanBgMusic(const char* text, size_t length, size_t from) {
    const Text s{text, length};
    const char* t = text;
    size_t i = from;
    while (i < s.length) {
        if (t[i] == ';') {
            i = NextLine(s, i);
            continue;
        }
        if (t[i] != 'b' && t[i] != 'B') {
            ++i;
            continue;
        }
        if (s.length - i < 8) break;
        if (!SameIgnoringAsciiCase(t + i, "bgmusic", 7)) {
            i = NextLine(s, i);
            continue;
        }
        size_t equals = i + 7;
        while (equals < s.length && t[equals] != '=' && !LineEndAt(s, equals))
            ++equals;
        if (equals >= s.length || t[equals] != '=') {
            i = NextLine(s, i);
            continue;
        }
        // Blanks and line ends after the '=', up to the first character of a line.
        size_t stop = equals + 1;
        while (stop < s.length && !LineStartAt(s, stop) && IsSpace(t[stop]))
            ++stop;
        if (stop >= s.length) return {BgMusic::None, i, equals, s.length};
        if (LineStartAt(s, stop) || t[stop] == ';') return {BgMusic::Empty, i, equals, stop};
        return {BgMusic::Value, i, equals, stop};
    }
    return {BgMusic::None, s.length, s.length, s.length};
}

bool StagePlaylistPath(const char* name, char* out, size_t size) {
    const size_t nameLength = std::strlen(name);
    const int n = nameLength >= 4 ? std::snprintf(out, size, "sound/%.*s.txt",
                                                  static_cast<int>(nameLength - 4), name)
                                  : -1;
    if (n < 0 || static_cast<size_t>(n) >= size) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    return true;
}
