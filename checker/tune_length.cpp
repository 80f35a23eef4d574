// Tune lengths from headers. A wav file: its data chunk's size over the format's bytes a
// second. An mp3 file: the frame count of a Xing/Info or VBRI header, else (a constant
// bit rate) the audio bytes over the first frame's bit rate. An ogg file: the last page's
// granule position over the sample rate of its Vorbis or Opus header.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/files.h"
#include "platform/system.h"
#include "tools/tools.h"
#include "checker.h"
#include "tune_length.h"

namespace check {
namespace {

constexpr uint32_t kPiece = 64 * 1024; // the headers sought are near the start or the end

uint32_t Le(std::string_view b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes; i-- > 0;)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}
uint32_t Be(std::string_view b, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

struct Pieces {
    std::string head, tail;
    uint64_t size = 0;
};

// The file's first and last 64 KB.
std::optional<Pieces> Read(const std::string& file) {
    platform::Handle h = platform::OpenFileForRead(file.c_str());
    if (!h) return std::nullopt;
    Pieces p;
    p.size = platform::GetFileSize(h);
    auto piece = [&](uint64_t from, std::string& into) {
        into.assign(static_cast<size_t>(std::min<uint64_t>(kPiece, p.size - from)), '\0');
        uint32_t read = 0;
        const bool ok =
            from <= UINT32_MAX && platform::SeekFile(h, static_cast<uint32_t>(from)) &&
            platform::ReadFile(h, into.data(), static_cast<uint32_t>(into.size()), &read);
        into.resize(ok ? read : 0);
    };
    if (p.size <= UINT32_MAX) {
        piece(0, p.head);
        piece(p.size > kPiece ? p.size - kPiece : 0, p.tail);
    }
    platform::CloseObject(h);
    return p;
}

std::optional<uint32_t> Milliseconds(uint64_t units, uint64_t perSecond) {
    if (perSecond == 0) return std::nullopt;
    const uint64_t ms = units * 1000 / perSecond;
    return ms <= UINT32_MAX ? std::optional<uint32_t>(static_cast<uint32_t>(ms)) : std::nullopt;
}

std::optional<uint32_t> WavLength(const Pieces& p) {
    const std::string_view b = p.head;
    if (b.size() < 12 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "WAVE") return std::nullopt;
    uint32_t bytesPerSecond = 0;
    for (size_t at = 12; at + 8 <= b.size();) {
        const std::string_view id = b.substr(at, 4);
        const uint32_t size = Le(b, at + 4, 4);
        if (id == "fmt " && at + 16 <= b.size()) bytesPerSecond = Le(b, at + 16, 4);
        if (id == "data") {
            // A writer that did not know the size leaves it open: up to the file's end.
            const uint64_t rest = p.size - (at + 8);
            return Milliseconds(size < rest ? size : rest, bytesPerSecond);
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

std::optional<uint32_t> Mp3Length(const Pieces& p) {
    const std::string_view b = p.head;
    size_t at = 0;
    if (b.size() >= kId3v2HeaderSize && b.substr(0, 3) == "ID3") {
        unsigned char header[kId3v2HeaderSize];
        std::memcpy(header, b.data(), sizeof header);
        at = ReadId3v2Header(header).cutLength;
    }
    for (; at + 4 <= b.size(); ++at) {
        const auto h0 = static_cast<unsigned char>(b[at]),
                   h1 = static_cast<unsigned char>(b[at + 1]),
                   h2 = static_cast<unsigned char>(b[at + 2]),
                   h3 = static_cast<unsigned char>(b[at + 3]);
        if (h0 != 0xFF || (h1 & 0xE0) != 0xE0) continue;
        const int version = (h1 >> 3) & 3; // 3: MPEG 1, 2: MPEG 2, 0: MPEG 2.5
        const int layer = (h1 >> 1) & 3;   // 1: layer III, 2: II, 3: I
        const int rateIndex = h2 >> 4, sampleIndex = (h2 >> 2) & 3;
        if (version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3)
            continue;
        static const int kRates[3][3][15] = {
            {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
             {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
             {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
            {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
             {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
             {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
        static const int kSampleRates[3] = {44100, 48000, 32000};
        const bool mpeg1 = version == 3;
        const int layerIndex = 3 - layer; // 0: I, 1: II, 2: III
        const int kbps = kRates[mpeg1 ? 0 : 1][layerIndex][rateIndex];
        const int sampleRate = kSampleRates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
        const int samples = layerIndex == 0 ? 384 : layerIndex == 1 || mpeg1 ? 1152 : 576;
        // A false sync in a tag or a picture is seldom followed by a frame where this one
        // ends.
        const size_t frame = static_cast<size_t>(samples / 8 * kbps * 1000 / sampleRate) +
                             ((h2 >> 1) & 1) * (layerIndex == 0 ? 4 : 1);
        if (at + frame + 1 < b.size() &&
            (static_cast<unsigned char>(b[at + frame]) != 0xFF ||
             (static_cast<unsigned char>(b[at + frame + 1]) & 0xE0) != 0xE0))
            continue;
        // A Xing or Info header stands after the side information of the first frame; VBRI
        // 32 bytes after the frame header.
        const bool mono = (h3 >> 6) == 3;
        const size_t side = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
        const size_t xing = at + 4 + side;
        if (xing + 12 <= b.size() && (b.substr(xing, 4) == "Xing" || b.substr(xing, 4) == "Info") &&
            (Be(b, xing + 4) & 1))
            return Milliseconds(uint64_t{Be(b, xing + 8)} * samples,
                                static_cast<uint64_t>(sampleRate));
        const size_t vbri = at + 36;
        if (vbri + 18 <= b.size() && b.substr(vbri, 4) == "VBRI")
            return Milliseconds(uint64_t{Be(b, vbri + 14)} * samples,
                                static_cast<uint64_t>(sampleRate));
        uint64_t audio = p.size - at;
        if (p.tail.size() >= 128 && p.tail.substr(p.tail.size() - 128, 3) == "TAG") audio -= 128;
        return Milliseconds(audio * 8, static_cast<uint64_t>(kbps) * 1000);
    }
    return std::nullopt;
}

std::optional<uint32_t> OggLength(const Pieces& p) {
    const std::string_view b = p.head;
    if (b.size() < 28 || b.substr(0, 4) != "OggS") return std::nullopt;
    const size_t packet = 27 + static_cast<unsigned char>(b[26]); // after the segment table
    uint32_t rate = 0, skip = 0;
    if (packet + 16 <= b.size() && b.substr(packet, 7) == "\x01vorbis")
        rate = Le(b, packet + 12, 4);
    else if (packet + 12 <= b.size() && b.substr(packet, 8) == "OpusHead")
        rate = 48000, skip = Le(b, packet + 10, 2);
    const std::string_view t = p.tail;
    const size_t last = t.rfind("OggS");
    if (rate == 0 || last == std::string_view::npos || last + 14 > t.size()) return std::nullopt;
    const uint64_t granule = uint64_t{Le(t, last + 6, 4)} | (uint64_t{Le(t, last + 10, 4)} << 32);
    return granule == ~uint64_t{0} || granule < skip ? std::nullopt
                                                     : Milliseconds(granule - skip, rate);
}

} // namespace

std::optional<uint32_t> TuneLength(const std::string& file) {
    const std::optional<Pieces> p = Read(file);
    if (!p || p->head.size() < 4) return std::nullopt;
    const std::string_view start = std::string_view(p->head).substr(0, 4);
    if (start == "RIFF") return WavLength(*p);
    if (start == "OggS") return OggLength(*p);
    return Mp3Length(*p);
}

} // namespace check
