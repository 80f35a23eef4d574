// Folder play: the music files beside a .rnd marker become the entry table.
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "selection/selection.h"

namespace {

constexpr int kFirstSlots = 40;
constexpr int kGrowSlots = 20;

// The folder part of the request: slashes turned into backslashes, cut at the last
// separator after the first byte. A name without one keeps its full text.
void FolderOf(const char* request, char (&folder)[kNameSize]) {
    CopyText(folder, request, sizeof folder);
    bool cut = false;
    for (size_t i = std::strlen(folder); i-- > 1;) {
        if (folder[i] == '/') folder[i] = '\\';
        if (folder[i] == '\\' && !cut) {
            folder[i] = '\0';
            cut = true;
        }
    }
}

bool Grow() {
    PlayerStateRecord& p = PlayerState;
    const int capacity = p.EntryCapacity + kGrowSlots;
    auto* table = static_cast<NameSlot*>(
        platform::AllocZeroed(static_cast<size_t>(capacity) * sizeof(NameSlot)));
    if (!table) return false;
    if (p.Entries)
        std::memcpy(table, p.Entries, static_cast<size_t>(p.EntryCapacity) * sizeof(NameSlot));
    FreeEntryTable();
    p.Entries = table;
    p.EntryCapacity = capacity;
    return true;
}

} // namespace

int FindMusic(const char* name) {
    PlayerStateRecord& p = PlayerState;
    const Settings& s = PluginSettings;
    char folder[kNameSize];
    FolderOf(name, folder);

    FreeEntryTable();
    p.Entries = static_cast<NameSlot*>(platform::AllocZeroed(kFirstSlots * sizeof(NameSlot)));
    if (!p.Entries) return 0;
    p.EntryCapacity = kFirstSlots;
    int found = 0;

    for (const char* extension : s.RndMusicExt) {
        if (extension[0] == '\0') continue;
        char pattern[platform::kMaxPath];
        if (std::snprintf(pattern, sizeof pattern, "%s\\*.%s", folder, extension) >=
            static_cast<int>(sizeof pattern))
            continue; // longer than any path the platform can search
        ErrorFeedback::DebugBox(1, pattern, "To Find");

        char file[platform::kMaxPath];
        platform::Handle search = platform::FindFirst(pattern, file);
        if (!search) {
            const uint32_t error = platform::GetLastError();
            if (error == platform::kErrorFileNotFound) continue;
            ScratchFormat("FindMusic ERROR\n\nErrorExt = %s\nErrorCode = %d", extension,
                          static_cast<int>(error));
            ErrorFeedback::DebugBox(1, ScratchText, "Error Message");
            return found;
        }
        do {
            if (found == p.EntryCapacity && !Grow()) break;
            if (s.Debug >= 2 || (s.Debug == 1 && found == 0))
                platform::ShowMessageBox(HostWindow(), file, "Added", platform::kMbOk);
            // A path that does not fit a slot could not be opened by name anyway.
            if (std::snprintf(p.Entries[found], kNameSize, "%s\\%s", folder, file) < kNameSize)
                ++found;
            else
                p.Entries[found][0] = '\0';
        } while (platform::FindNext(search, file));
        if (platform::GetLastError() != platform::kErrorNoMoreFiles && s.Beep > 0) {
            platform::Beep(1400, 200);
            platform::Beep(500, 800);
        }
        platform::FindClose(search);
    }
    return found;
}
