// Folder play: the music files beside a .rnd marker become the entry table.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/files.h"
#include "platform/names.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "selection/selection.h"

namespace {

constexpr int kFirstSlots = 40;
constexpr int kGrowSlots = 20;

// The folder part of the request: cut at the last separator after the first byte,
// slashes after the first byte turned into backslashes. A name without one keeps its full
// text. The name is read character by character: the second byte of a double-byte
// character is never a separator (nor ever a slash).
void FolderOf(const char* request, char (&folder)[kNameSize]) {
    CopyText(folder, request, sizeof folder);
    const size_t cut = platform::LastSeparator(folder);
    if (cut != std::string_view::npos && cut >= 1) folder[cut] = '\0';
    const size_t length = std::strlen(folder);
    for (size_t i = 1; i < length; ++i)
        if (folder[i] == '/') folder[i] = '\\';
}

// Room for `slots` entries, zero-filled; null when the memory can't be had, or its size
// can't be expressed.
NameSlot* NewTable(int slots) {
    if (static_cast<size_t>(slots) > SIZE_MAX / sizeof(NameSlot)) return nullptr;
    return static_cast<NameSlot*>(
        platform::AllocZeroed(static_cast<size_t>(slots) * sizeof(NameSlot)));
}

// `table` (of `slots` entries) replaces the entry table, whose `capacity` first entries it
// takes over.
void Replace(NameSlot* table, int slots, int capacity, int& allocated) {
    PlayerStateRecord& p = PlayerState;
    if (p.Entries)
        std::memcpy(table, p.Entries, static_cast<size_t>(p.EntryCapacity) * sizeof(NameSlot));
    FreeEntryTable();
    p.Entries = table;
    p.EntryCapacity = capacity;
    allocated = slots;
}

// The table grows by 20 entries, as its capacity shows; the memory behind it doubles, so a
// folder of many files costs a few copies of the table rather than one per 20 files. When
// the double can't be had, the 20 entries alone are asked for.
bool Grow(int& allocated) {
    PlayerStateRecord& p = PlayerState;
    const int capacity = p.EntryCapacity + kGrowSlots;
    if (capacity <= allocated) {
        p.EntryCapacity = capacity;
        return true;
    }
    const int doubled = allocated <= INT_MAX / 2 ? allocated * 2 : capacity;
    for (const int slots : {doubled, capacity}) {
        if (NameSlot* table = NewTable(slots)) {
            Replace(table, slots, capacity, allocated);
            return true;
        }
    }
    return false;
}

// The memory behind the table cut back to its capacity, as the scan leaves it; when that
// can't be had, the larger table serves as well.
int Fit(int found, int allocated) {
    const int capacity = PlayerState.EntryCapacity;
    if (allocated > capacity)
        if (NameSlot* table = NewTable(capacity)) Replace(table, capacity, capacity, allocated);
    return found;
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
    int allocated = kFirstSlots;
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
            return Fit(found, allocated);
        }
        do {
            if (found == p.EntryCapacity && !Grow(allocated)) break;
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
    return Fit(found, allocated);
}
