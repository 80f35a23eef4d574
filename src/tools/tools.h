// Maintenance tools the player starts in game.
#pragma once

// Removes the ID3v2 tag from the start of a music file, after copying the file to a
// backup beside it ("[Backup]" before its name, in the same folder; an existing backup
// is never overwritten). Returns 1 when the tag was cut, 0 otherwise; the outcome is
// told by a title-bar notice.
int CutId3v2Tag(const char* path);

// Gives every stage whose bgmusic entry is empty a playlist of its own, after asking:
// "sound/<stage>.txt", created empty unless it exists, its path written into the entry.
// Returns 0 when the stage folder can't be searched, 1 otherwise.
int ForceInsertMusic();
