// The ID3v2 header at the start of a music file: whether a tag stands there and how
// much of the file it covers. The tag cut and the game-folder checker read it here.
#include <cstring>

#include "platform/files.h"
#include "tools/tools.h"

// The tag's size is a syncsafe integer: four 7-bit groups, most significant first. A
// size byte with bit 7 set is not valid ID3v2; like other syncsafe readers we take its
// low 7 bits only, so the cut length is at most 2^28 - 1 + 10.
Id3v2Header ReadId3v2Header(const unsigned char (&header)[kId3v2HeaderSize]) {
    if (std::memcmp(header, "ID3", 3) != 0) return {Id3v2::None, 0, 0};
    if (header[3] >= 5) return {Id3v2::Unsupported, header[3], 0};
    uint32_t size = 0;
    for (uint32_t i = 6; i < kId3v2HeaderSize; ++i)
        size = (size << 7) | (header[i] & 0x7Fu);
    return {Id3v2::Present, header[3], size + kId3v2HeaderSize};
}

std::optional<Id3v2Header> ReadId3v2Header(platform::Handle file, uint64_t size) {
    unsigned char header[kId3v2HeaderSize];
    uint32_t read = 0;
    if (size <= kId3v2HeaderSize || !platform::ReadFile(file, header, kId3v2HeaderSize, &read) ||
        read != kId3v2HeaderSize)
        return std::nullopt;
    return ReadId3v2Header(header);
}
