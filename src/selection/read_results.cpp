// What a play request does with what the readers return: the boxes, beeps and notices
// the reading calls for, in the order the reading met them, and the entry table, extra
// sound and entry options taken into the playback state.
#include <cstring>
#include <utility>

#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "selection/selection.h"

namespace {

void TxtInfoBox(uint32_t length) {
    const EntryTable& entries = PlayerState.Entries;
    // Stored in the Japanese code page: file size, number of tunes, tunes 1 to 3.
    ScratchFormat("FileSize\x81\x46%d\n\x8b\xc8\x90\x94\x81\x46%d\n\x8b\xc8"
                  "1:%s\n\x8b\xc8"
                  "2:%s\n\x8b\xc8"
                  "3:%s\n",
                  static_cast<int>(length), entries.Count(), entries.At(0), entries.At(1),
                  entries.At(2));
    platform::ShowMessageBox(HostWindow(), ScratchText, "txt info", platform::kMbOk);
}

} // namespace

int UsePlaylist(PlaylistRead&& read) {
    PlayerStateRecord& p = PlayerState;
    if (read.refusal == ListRefusal::Missing || read.refusal == ListRefusal::NotAPlaylist) {
        p.Entries.Clear();
        return 0;
    }
    if (read.extSound[0] != '\0') CopyText(p.ExtSound, read.extSound, sizeof p.ExtSound);
    if (read.Cut()) {
        const ErrorFeedback::Tone cut{1500, 2000};
        ErrorFeedback::FailureBeeps(&cut, 1);
    }
    if (read.refusal == ListRefusal::OutOfMemory) {
        ErrorFeedback::AlwaysBox("Failed to allocate memory.");
        p.Entries.Clear();
        return 0;
    }
    p.Entries = std::move(read.entries);
    if (PluginSettings.Debug == 1 && read.text.lines > 0) TxtInfoBox(read.text.length);
    return 1;
}

void UseEntry(const char* entry, char* name) {
    PlayerStateRecord& p = PlayerState;
    const EntrySplit split = ParseEntry(entry);
    const SplitBoxes boxes = BoxesOfSplit(entry, split);
    for (int i = 0; i < boxes.count; ++i)
        ErrorFeedback::DebugBox(boxes.box[i].level, boxes.box[i].text, boxes.box[i].caption);
    CopyText(name, split.name, kNameSize);
    p.Hosei = split.hosei;
    p.EntryBeg = split.beg;
    p.EntryEnd = split.end;
    p.EntryStop = split.stop;
    p.EntryLoop = split.loop;
}

int UseFolder(FolderScan&& scan) {
    const Settings& s = PluginSettings;
    const size_t folderLength = std::strlen(scan.folder);
    int kept = 0; // entries so far: at Debug 1 only files met before the first are shown
    for (int i = 0; i < scan.searchCount; ++i) {
        const FolderSearch& search = scan.searches[i];
        ErrorFeedback::DebugBox(1, search.pattern, "To Find");
        if (search.error != 0) {
            ScratchFormat("FindMusic ERROR\n\nErrorExt = %s\nErrorCode = %d", search.extension,
                          static_cast<int>(search.error));
            ErrorFeedback::DebugBox(1, ScratchText, "Error Message");
            break;
        }
        for (int n = 0; n < search.names; ++n) {
            const char* file = scan.names.At(search.firstName + n);
            if (s.Debug >= 2 || (s.Debug == 1 && kept == 0))
                platform::ShowMessageBox(HostWindow(), file, "Added", platform::kMbOk);
            if (FitsEntry(folderLength, std::strlen(file))) ++kept;
        }
        if (search.endError && s.Beep > 0) {
            platform::Beep(1400, 200);
            platform::Beep(500, 800);
        }
    }
    PlayerState.Entries = std::move(scan.entries);
    return PlayerState.Entries.Count();
}
