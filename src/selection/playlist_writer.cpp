// Writing the entry table back into its playlist file: the files dropped on a list are
// saved into that list, and never over a file that is not a playlist.
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "selection/selection.h"
#include "notices/notices.h"

namespace {

// A list is written over an existing file only when the reader would take that file for
// a playlist: its first line the header. A missing file is created.
bool MayWriteListOver(const char* name) {
    platform::Handle file = platform::OpenFileForRead(name);
    if (!file) return !platform::FileExists(name);
    char head[kPlaylistHeadSize] = {};
    uint32_t read = 0;
    if (!platform::ReadFile(file, head, sizeof head, &read) || read > sizeof head) read = 0;
    platform::CloseObject(file);
    return IsPlaylistHead(head, read); // a shorter read is the whole file
}

} // namespace

int SaveMusicList(const char* name) {
    const PlayerStateRecord& p = PlayerState;
    const int count = p.Entries.Count();
    if (count <= 0) return 0;
    if (!MayWriteListOver(name)) {
        char text[kNameSize + 64];
        std::snprintf(text, sizeof text, "[ERROR] Not saved: %s is not a playlist.", name);
        TitleNotice::Show(text, PluginSettings.DispWindowTime, TitleNotice::kShowNow);
        ErrorFeedback::FailureBox(text);
        return 0;
    }
    static const char kHead[] = "[Orvalin_BGMList]\r\n[List]";
    static const char kExtHead[] = "\r\n[EXT]\r\nextsound=";
    const size_t capacity =
        sizeof kHead + static_cast<size_t>(count) * (kNameSize + 2) + sizeof kExtHead + kNameSize;
    char* buffer = static_cast<char*>(platform::AllocZeroed(capacity));
    if (!buffer) return 0;
    size_t length = sizeof kHead - 1;
    std::memcpy(buffer, kHead, length);
    for (int i = 0; i < count; ++i) {
        buffer[length++] = '\r';
        buffer[length++] = '\n';
        const size_t n = strnlen(p.Entries[i], kNameSize - 1);
        std::memcpy(buffer + length, p.Entries[i], n);
        length += n;
    }
    // The list's extra sound stays with it.
    if (p.ExtSound[0] != '\0') {
        std::memcpy(buffer + length, kExtHead, sizeof kExtHead - 1);
        length += sizeof kExtHead - 1;
        const size_t n = strnlen(p.ExtSound, kNameSize - 1);
        std::memcpy(buffer + length, p.ExtSound, n);
        length += n;
    }

    // The new text replaces the playlist only once it is written whole: a failed write
    // never costs the user the old list, and the last error tells why it failed.
    const int result = ReplaceFileContents(name, buffer, static_cast<uint32_t>(length)) ? 1 : 0;
    platform::FreeMemory(buffer);
    return result;
}

void SaveIfModified() {
    PlayerStateRecord& p = PlayerState;
    if (!p.ListModified) return;
    if (platform::GetCurrentThreadId() != p.HostThreadId) return; // saved by a later Stop
    const int mode = PluginSettings.AutosaveTxtFile;
    if (mode == 1) {
        SaveMusicList(p.ModifiedList);
    } else if (mode == -1) {
        if (platform::ShowMessageBox(HostWindow(), "MusicList has been modified. Overwrite it?",
                                     ErrorFeedback::kCaption,
                                     platform::kMbYesNo) == platform::kIdYes)
            SaveMusicList(p.ModifiedList);
    }
    p.ListModified = false;
}
