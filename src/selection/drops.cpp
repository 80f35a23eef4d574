// Files dropped onto the game window join the current playlist: in the entry table at
// once, in the playlist file at the next stop (or at once when the list was empty).
#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/engine.h"
#include "platform/names.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "selection/selection.h"
#include "notices/notices.h"

namespace {

constexpr uint32_t kCountQuery = 0xFFFFFFFFu;
// One byte more than a slot: a name that fills it is 256 bytes or more and is skipped.
constexpr uint32_t kProbeSize = kNameSize + 1;

void Notice(const char* text) {
    TitleNotice::Show(text, PluginSettings.DispWindowTime, TitleNotice::kShowNow);
}

// The host program's folder, cut just after its last backslash. Empty when the path
// cannot be had or is 256 bytes or more: every name then stays whole.
void HostFolder(char (&folder)[kNameSize]) {
    char path[kProbeSize] = {};
    const uint32_t length = platform::GetHostProgramPath(path, sizeof path);
    folder[0] = '\0';
    if (length == 0 || length >= kNameSize) return;
    // Read character by character: the second byte of a double-byte character is no
    // backslash.
    const size_t slash = platform::LastSeparator(path, "\\");
    if (slash != std::string_view::npos) path[slash + 1] = '\0';
    CopyText(folder, slash != std::string_view::npos ? path : "", sizeof folder);
}

// An entry already in the table that begins with `entry`, byte for byte.
bool AlreadyListed(const char* entry) {
    const PlayerStateRecord& p = PlayerState;
    const size_t n = std::strlen(entry);
    for (int i = 0; i < p.Entries.Count(); ++i)
        if (std::strncmp(p.Entries[i], entry, n) == 0) return true;
    return false;
}

} // namespace

void AddDroppedFiles(uintptr_t drop) {
    PlayerStateRecord& p = PlayerState;
    const int oldCount = p.Entries.Count();
    if (p.PlayMode != PlaySource::Playlist && p.PlayMode != PlaySource::EmptyPlaylist) {
        Notice("Current Music is not txt Format.");
        platform::FinishDrop(drop);
        return;
    }
    const uint32_t dropped = platform::QueryDroppedFile(drop, kCountQuery, nullptr, 0);
    // Room for every name at its longest, asked once: a refusal is told once.
    const size_t most = dropped < UINT32_MAX / kNameSize ? dropped * size_t{kNameSize} : SIZE_MAX;
    if (!p.Entries.Reserve(dropped, most)) ErrorFeedback::AlwaysBox("Failed to allocate memory.");
    char folder[kNameSize];
    HostFolder(folder);
    const size_t folderLength = std::strlen(folder);

    char last[kNameSize] = "";
    for (uint32_t i = 0; i < dropped; ++i) {
        char name[kProbeSize] = {};
        const uint32_t length = platform::QueryDroppedFile(drop, i, name, sizeof name);
        if (length == 0 || length >= kNameSize || name[kNameSize - 1] != '\0') continue;
        const bool inside = folderLength > 0 && std::strncmp(name, folder, folderLength) == 0;
        const char* entry = inside ? name + folderLength : name;
        CopyText(last, entry, sizeof last);
        if (AlreadyListed(entry)) continue;
        const size_t entryLength = std::strlen(entry);
        if (!p.Entries.Reserve(1, entryLength)) continue; // the table could not grow
        ErrorFeedback::DebugBox(1, entry, "To Add");
        p.Entries.Append(entry, entryLength);
    }
    platform::FinishDrop(drop);

    const int added = p.Entries.Count() - oldCount;
    if (added > 0 && !p.ListModified) {
        p.ListModified = true;
        CopyText(p.ModifiedList, p.RequestFile, sizeof p.ModifiedList);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%d File%s Added", added, added == 1 ? "" : "s");
    Notice(text);
    platform::BringWindowToFront(HostWindow());
    p.MediaFile[0] = '\0';
    // What follows the tune may now be a dropped file.
    if (oldCount != 0 && added > 0 && PluginSettings.ChangeSoundOnLoop != 0) PrepareNext();
    if (oldCount != 0 || added == 0) return;

    // The list had no entries: it is written now, and the last dropped file plays.
    CopyText(p.MediaFile, last, sizeof p.MediaFile);
    SaveMusicList(p.ModifiedList);
    Stop();
    Play(last);
}
