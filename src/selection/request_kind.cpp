// What a play request names: a playlist, a folder marker or a single music file.
#include <cstring>

#include "core/core.h"
#include "selection/selection.h"

RequestKind KindOfRequest(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot || dot == name) return RequestKind::SingleFile;
    if (SameIgnoringAsciiCase(dot + 1, "txt")) return RequestKind::Playlist;
    if (SameIgnoringAsciiCase(dot + 1, "rnd")) return RequestKind::Folder;
    return RequestKind::SingleFile;
}
