// Stage music allocation: every stage whose definition has an empty bgmusic entry is
// offered a playlist of its own, "sound/<stage>.txt". On Yes the tool creates that
// playlist empty (unless it exists) and writes its path into the entry, so the game
// plays the list whenever the stage is fought on, and files dropped then fill it.
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "tools/tools.h"
#include "notices/notices.h"

namespace {

// A playlist header and an empty list section: 27 bytes.
constexpr char kEmptyPlaylist[] = "[Orvalin_BGMList]\r\n[List]\r\n";
constexpr uint32_t kEmptyPlaylistSize = sizeof kEmptyPlaylist - 1;
static_assert(kEmptyPlaylistSize == 27);
// Room behind a stage text for the inserted path (at most 259 characters).
constexpr size_t kPathRoom = platform::kMaxPath;
constexpr int kNoticeTicks = 10;
constexpr char kQuestionCaption[] = "ForceInsertMusic - OrvalinMUGENBGM";

void Notice(const char* text) {
    TitleNotice::Show(text, kNoticeTicks, TitleNotice::kShowNow);
}

void Box(const char* text, const char* caption, unsigned flags = platform::kMbOk) {
    platform::ShowMessageBox(HostWindow(), text, caption, flags);
}

// A stage definition in memory, with room behind it for inserted paths.
struct StageText {
    char* bytes = nullptr;
    size_t length = 0;
    size_t capacity = 0;
};

// The first character of a line: the one after a CR LF.
bool LineStartAt(const StageText& s, size_t i) {
    return i >= 2 && s.bytes[i - 2] == '\r' && s.bytes[i - 1] == '\n';
}

// Where the path goes for an empty entry stopped at `stop`: before the CR LF that ends
// the bgmusic line, or before the blank in front of a comment (after an '=' that
// touches the comment).
size_t InsertionPoint(const StageText& s, size_t stop) {
    if (LineStartAt(s, stop)) return stop - 2;
    return s.bytes[stop - 1] == '=' ? stop : stop - 1;
}

// Inserts `path` at `at`, moving the rest of the text behind it; the block grows when
// an earlier insertion (whose file could not be written) used its room.
bool Insert(StageText& s, size_t at, const char* path) {
    const size_t n = std::strlen(path);
    if (s.length + n > s.capacity) {
        const size_t capacity = s.length + n + kPathRoom;
        auto* bytes = static_cast<char*>(platform::AllocZeroed(capacity));
        if (!bytes) return false;
        std::memcpy(bytes, s.bytes, s.length);
        platform::FreeMemory(s.bytes);
        s.bytes = bytes;
        s.capacity = capacity;
    }
    std::memmove(s.bytes + at + n, s.bytes + at, s.length - at);
    std::memcpy(s.bytes + at, path, n);
    s.length += n;
    return true;
}

// Reads the whole stage file and closes it; false (after the notice) when it can't.
bool LoadStage(platform::Handle file, StageText& s) {
    const uint64_t whole = platform::GetFileSize(file);
    // Sizes near 4 GiB and beyond cannot be had in memory.
    const bool fits = whole < UINT32_MAX - kPathRoom;
    const uint32_t size = fits ? static_cast<uint32_t>(whole) : 0;
    const size_t capacity = static_cast<size_t>(size) + kPathRoom;
    s.bytes = fits ? static_cast<char*>(platform::AllocZeroed(capacity)) : nullptr;
    if (!s.bytes) {
        platform::CloseObject(file);
        ErrorFeedback::AlwaysBox("Failed to allocate memory.");
        return false;
    }
    uint32_t read = 0;
    const bool ok = platform::ReadFile(file, s.bytes, size, &read) && read == size;
    platform::CloseObject(file);
    if (!ok) {
        // Half a stage is never written back: the file is left alone.
        platform::FreeMemory(s.bytes);
        s.bytes = nullptr;
        Notice("[ERROR] readfile error");
        return false;
    }
    s.length = size;
    s.capacity = capacity;
    return true;
}

// Offers the stage `name` (found in "stages") a playlist for each empty bgmusic entry
// until one is written; `asked` is set when a question was asked.
void AllocateStage(const char* name, bool& asked) {
    const size_t nameLength = std::strlen(name);
    char path[platform::kMaxPath];
    const int pathLength = std::snprintf(path, sizeof path, "stages\\%s", name);
    platform::Handle file = nullptr;
    // A name too long for the path (the system could not open it either) or without
    // its extension is skipped as a file that can't be opened.
    if (pathLength > 0 && static_cast<size_t>(pathLength) < sizeof path && nameLength >= 4)
        file = platform::OpenFileForReadWrite(path, platform::kShareRead);
    if (!file) {
        ErrorFeedback::DebugBox(1, name, "CreateFile Failed");
        return;
    }
    StageText text;
    if (!LoadStage(file, text)) return;

    // "stages\" plus the name fits, so "sound/", the name less ".def", and ".txt" do.
    char playlist[platform::kMaxPath];
    StagePlaylistPath(name, playlist, sizeof playlist);
    char question[platform::kMaxPath + 64];
    std::snprintf(question, sizeof question, "A bgmusic of stage \"%s\" is not set - Allocate?",
                  name);

    size_t from = 0;
    for (;;) {
        const BgMusicScan found = ScanBgMusic(text.bytes, text.length, from);
        if (found.finding != BgMusic::Empty) break;
        asked = true;
        if (platform::ShowMessageBox(HostWindow(), question, kQuestionCaption,
                                     platform::kMbYesNo) == platform::kIdNo) {
            from = found.stop + 1;
            continue;
        }
        Box(playlist, "info");
        // An existing playlist is used as it is; a new one appears whole or not at all.
        bool created = false;
        if (!platform::FileExists(playlist)) {
            if (!CreateFileComplete(playlist, kEmptyPlaylist, kEmptyPlaylistSize)) {
                from = found.stop + 1;
                continue;
            }
            created = true;
        }
        const size_t at = InsertionPoint(text, found.stop);
        const bool inserted = Insert(text, at, playlist);
        if (!inserted) ErrorFeedback::AlwaysBox("Failed to allocate memory.");
        // The stage is replaced whole or stays as it was on disk.
        if (inserted && ReplaceFileContents(path, text.bytes, static_cast<uint32_t>(text.length)))
            break;
        // The stage keeps its empty entry: the playlist made for it goes again, so the disk
        // is as it was before the answer.
        if (created) platform::RemoveFile(playlist);
        if (!inserted) break;
        from = at + 1;
    }
    platform::FreeMemory(text.bytes);
}

} // namespace

int ForceInsertMusic() {
    char name[platform::kMaxPath];
    platform::Handle search = platform::FindFirst("stages\\*.def", name);
    if (!search) {
        Notice("[ERROR] findfirstfile failed");
        return 0;
    }
    bool asked = false;
    do {
        AllocateStage(name, asked);
    } while (platform::FindNext(search, name));
    platform::FindClose(search);
    if (!asked) Box("All stages have bgmusic already.", ErrorFeedback::kCaption);
    return 1;
}
