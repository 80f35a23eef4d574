// Music selection: play requests, track choice, the playlist format, the folder scan and
// drag-and-drop additions.
#pragma once
#include "core/core.h"
#include "platform/types.h"

int Play(const char* name);
// Renders and starts the entry `text` (of the playlist, or the file of a single or folder
// play) with its options. `sameEntryAgain`: the entry that just ended plays again, from
// its loop start. 0 when nothing was started.
int StartTune(const char* text, bool sameEntryAgain = false);
// The player's transport: pause by the five modes of PauseMode, resume, stop (which saves
// a playlist grown by drops).
void Pause();
void UnPause();
void Stop();
// The game's stop: with FadeOutOnStop set, the music fades out while the game goes on
// and stops at the ramp's end; otherwise, and for the module's own stops, at once.
void StopFromHost();
// A fade-out's timer tick: the next step of the ramp, and the stop once it is over.
void StepFadeOut();
// Makes a fade-out's stop now (a new tune, a pause, Quit): nothing when none runs.
void FinishFadeOut();
int ChooseStartEntry();
void AdvanceAfterTune();
// The entry that follows the current one at its end (the order or chance of LoopRandom).
int ChooseNextEntry();
// Chooses what follows the tune that plays, by the rules of its end, and has the worker
// make it ready; nothing when the tune stops at its end or preparing is off.
void PrepareNext();
// At a tune's end: the prepared tune starts, for the playlist or folder entry `entry` (now
// current) or, with null, the same tune again. False, with the preparation dropped, when
// none is ready for it or its file is gone: the plain path then runs.
bool StartPrepared(const char* entry);
// The cross-fade's timer tick: the watch for its start, then the steps of its ramp.
void StepCrossFade();
// The playlist entry now playing will play again right after itself whatever happens:
// it restarts in place, or it is the list's only entry (and has no stop option).
bool EntryRepeatsItself();

// What a request names, by its extension (after the last '.' that is not the name's
// first character, in any case): a playlist (.txt), a folder (.rnd) or a single file.
enum class RequestKind { SingleFile, Playlist, Folder };
RequestKind KindOfRequest(const char* name);

// Playlists. ReadPlaylist reads a list file and says what it found: the entry table (each
// line of the last "[LIST]" head's lines, letters folded but the second byte of a
// double-byte character, cut to 255 characters, a last empty entry dropped), the extra
// sound, and why it refused the file when it did. It shows nothing and changes nothing.
enum class ListRefusal { None, Missing, NotAPlaylist, OutOfMemory };
// What it read: the text's length (a last line without CR LF gets one), where the list
// began (just past the last "[LIST]" head) and how many list lines it counted (more than
// 10000 count as 10001).
struct PlaylistText {
    uint32_t length;
    uint32_t listStart;
    int lines;
};
constexpr int kMaxEntries = 10000; // the lines after these are not read
struct PlaylistRead {
    ListRefusal refusal = ListRefusal::None;
    EntryTable entries;
    char extSound[kNameSize] = "";
    PlaylistText text = {0, 0, 0};
    bool Cut() const { return text.lines > kMaxEntries; }
};
PlaylistRead ReadPlaylist(const char* name);
// What Play does with a list read: the boxes and beep the reading calls for, then the
// table and the extra sound taken over with the play mode (1, or -1 without entries).
// 0 when the list was refused.
int UsePlaylist(PlaylistRead&& read);

// An entry split into its file name and options.
struct EntrySplit {
    char name[kNameSize];
    char options[kNameSize];         // what follows the first comma, blanks left out
    bool comma;                      // the entry has options
    int volume;                      // the vol= number as written
    int hosei, beg, end, stop, loop; // PlayerState's Hosei, EntryBeg/End/Stop/Loop
};
EntrySplit ParseEntry(const char* entry);
// The diagnostic boxes a split calls for, in the order they are shown, each from a Debug
// level on: the entry ("Input", 3), the file name ("Return String", 2), the options
// ("Additional String", 2, when there are any) and the volume ("HoseiVolume", 1).
struct DebugText {
    int level;
    const char* caption;
    char text[kNameSize];
};
struct SplitBoxes {
    int count;
    DebugText box[4];
};
SplitBoxes BoxesOfSplit(const char* entry, const EntrySplit& split);
// Splits the entry for playing: its boxes shown, its options set in PlayerState, its
// file name into `name` (256 bytes).
void UseEntry(const char* entry, char* name);

// True when the first `length` bytes of a file (all of it when shorter than
// kPlaylistHeadSize) open a playlist: its first line the header, as the reader requires.
constexpr uint32_t kPlaylistHeadSize = 65; // the header's CR within 64 bytes, and its LF
bool IsPlaylistHead(const char* head, uint32_t length);
// Writes the entry table into `name`: over a playlist, or as a new file; a file that is
// not a playlist is left alone, with a notice. 1 when written.
int SaveMusicList(const char* name);
void SaveIfModified();

// Folder play: the files matching each extension beside the marker `name`, searched
// extension by extension ("<folder>\*.<ext>", empty extensions skipped). It stops at a
// search that cannot start for another reason than finding nothing. `keepNames` keeps
// every file name the searches gave, for the boxes that show them.
struct FolderSearch {
    char extension[32];
    char pattern[platform::kMaxPath];
    int firstName;  // of `names`: the first this search gave
    int names;      // how many it gave
    uint32_t error; // why the search could not start; 0 when it did
    bool endError;  // it ended otherwise than after its last file
};
struct FolderScan {
    EntryTable entries;
    char folder[kNameSize] = "";
    FolderSearch searches[3] = {};
    int searchCount = 0;
    EntryTable names;         // with `keepNames`
    bool outOfMemory = false; // the table could not grow: files were left out
};
FolderScan FindMusic(const char* name, const char (&extensions)[3][32], bool keepNames = false);
// True when "<folder>\<file>" fits an entry, as the scan requires of what it keeps.
inline bool FitsEntry(size_t folderLength, size_t fileLength) {
    return folderLength + 1 + fileLength <= EntryTable::kMaxName;
}
// What Play does with a folder scan: its boxes and beeps shown and its table taken over.
// The number of files found.
int UseFolder(FolderScan&& scan);

// Files dropped onto the game window (the WM_DROPFILES wParam) join the current playlist.
void AddDroppedFiles(uintptr_t drop);
