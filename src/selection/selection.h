// Music selection: play requests, track choice, the playlist format, the folder scan and
// drag-and-drop additions.
#pragma once
#include "platform/types.h"

int Play(const char* name);
int ChooseStartEntry();
void AdvanceAfterTune();
// The playlist entry now playing will play again right after itself whatever happens:
// it restarts in place, or it is the list's only entry (and has no stop option).
bool EntryRepeatsItself();

// Playlists. ReadPlaylist returns 1 when the file is a playlist, 0 when refused.
int ReadPlaylist(const char* name);
int ParseEntry(const char* entry, char* name /* 256 bytes */);
int SaveMusicList(const char* name);
void SaveIfModified();

// Folder play: the number of files found.
int FindMusic(const char* name);

// The entry table.
void FreeEntryTable();

// Files dropped onto the game window (the WM_DROPFILES wParam) join the current playlist.
void AddDroppedFiles(uintptr_t drop);
