// Maintenance tools: the ID3v2 tag cut.
#pragma once

// Cuts the ID3v2 tag off the start of the file after a backup beside it; 1 when cut.
int CutId3v2Tag(const char* path);
