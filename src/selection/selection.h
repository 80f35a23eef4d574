// Music selection: play requests, track choice, the playlist format, the folder scan and
// drag-and-drop additions.
#pragma once
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
int ChooseStartEntry();
void AdvanceAfterTune();
// The playlist entry now playing will play again right after itself whatever happens:
// it restarts in place, or it is the list's only entry (and has no stop option).
bool EntryRepeatsItself();

// What a request names, by its extension (after the last '.' that is not the name's
// first character, in any case): a playlist (.txt), a folder (.rnd) or a single file.
enum class RequestKind { SingleFile, Playlist, Folder };
RequestKind KindOfRequest(const char* name);

// Playlists. ReadPlaylist returns 1 when the file is a playlist, 0 when refused. When
// it accepts a file it tells `seen`, if given, what it read: the text's length (a last
// line without CR LF gets one), where the list began (just past the last "[LIST]" head)
// and how many list lines it counted (more than 10000 count as 10001).
struct PlaylistText {
    uint32_t length;
    uint32_t listStart;
    int lines;
};
int ReadPlaylist(const char* name, PlaylistText* seen = nullptr);
// Splits an entry into its file name and, when `options` is given (256 bytes), the
// option text it read the options from (what follows the first comma, spaces left out).
int ParseEntry(const char* entry, char* name /* 256 bytes */, char* options = nullptr);
// True when the first `length` bytes of a file (all of it when shorter than
// kPlaylistHeadSize) open a playlist: its first line the header, as the reader requires.
constexpr uint32_t kPlaylistHeadSize = 65; // the header's CR within 64 bytes, and its LF
bool IsPlaylistHead(const char* head, uint32_t length);
// Writes the entry table into `name`: over a playlist, or as a new file; a file that is
// not a playlist is left alone, with a notice. 1 when written.
int SaveMusicList(const char* name);
void SaveIfModified();

// Folder play: the number of files found.
int FindMusic(const char* name);

// The entry table.
void FreeEntryTable();

// Files dropped onto the game window (the WM_DROPFILES wParam) join the current playlist.
void AddDroppedFiles(uintptr_t drop);
