// The lead bytes of the double-byte ANSI code pages, as Windows lists them for each
// (the simulated and the POSIX back-ends answer IsDbcsLeadByte from here).
#pragma once
#include <cstdint>

namespace platform {

// True for the code pages this table knows: the double-byte ones below and the
// single-byte Windows code pages, which have no lead bytes.
inline bool KnownCodePage(uint32_t codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
           codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

inline bool LeadByteIn(uint32_t codePage, uint8_t byte) {
    switch (codePage) {
    case 932: // Japanese (Shift-JIS)
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936: // Simplified Chinese (GBK)
    case 949: // Korean
    case 950: // Traditional Chinese (Big5)
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return false;
    }
}

} // namespace platform
