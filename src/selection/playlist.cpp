// The playlist format: reading a list into an entry table and splitting an entry into its
// file name and options. Both only answer: what they read is shown and used by the caller.
#include <bit>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/files.h"
#include "platform/system.h"
#include "core/core.h"
#include "selection/selection.h"

namespace {

constexpr uint32_t kHeaderWindow = 64;
constexpr char kHeader[] = "[orvalin_bgmlist]";

// `word` (lower case) stands at `text`, letters in any case.
bool StartsWithNoCase(const char* text, const char* word) {
    for (; *word; ++text, ++word)
        if (AsciiLower(*text) != *word) return false;
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

// A file read whole, with CR LF appended when its last line lacks one.
struct Text {
    char* bytes = nullptr;
    uint32_t length = 0;
};

ListRefusal LoadText(const char* name, Text& text) {
    platform::Handle file = platform::OpenFileForRead(name);
    if (!file) return ListRefusal::Missing;
    const uint64_t whole = platform::GetFileSize(file);
    // Room for the appended CR LF and the terminator; sizes near 4 GiB cannot be had.
    const uint32_t size = whole < 0xFFFFFF00u ? static_cast<uint32_t>(whole) : 0;
    char* bytes = whole < 0xFFFFFF00u ? static_cast<char*>(platform::Alloc(size + 3u)) : nullptr;
    if (!bytes) {
        platform::CloseObject(file);
        return ListRefusal::OutOfMemory;
    }
    uint32_t read = 0;
    platform::ReadFile(file, bytes, size, &read);
    platform::CloseObject(file);
    if (read > size) read = size;
    if (read < 2 || bytes[read - 2] != '\r' || bytes[read - 1] != '\n') {
        bytes[read++] = '\r';
        bytes[read++] = '\n';
    }
    bytes[read] = '\0';
    text.bytes = bytes;
    text.length = read;
    return ListRefusal::None;
}

// The first line, after up to 46 spaces, must be the header and nothing else (a zero
// byte included); its CR within 64 bytes.
bool HasHeader(const Text& text) {
    const char* t = text.bytes;
    const uint32_t window = text.length < kHeaderWindow ? text.length : kHeaderWindow;
    uint32_t end = 0;
    while (end < window && !(t[end] == '\r' && t[end + 1] == '\n'))
        ++end;
    if (end == window) return false;
    uint32_t start = 0;
    while (start < end && t[start] == ' ')
        ++start;
    return end - start == sizeof kHeader - 1 && StartsWithNoCase(t + start, kHeader);
}

// Reads the extsound value at `at` when the key stands there; returns where to go on.
uint32_t ReadExtSound(const Text& text, uint32_t at, char (&extSound)[kNameSize]) {
    const char* t = text.bytes;
    uint32_t i = at;
    while (IsBlank(t[i]))
        ++i;
    if (!StartsWithNoCase(t + i, "extsound")) return at + 1;
    i += 8;
    while (IsBlank(t[i]))
        ++i;
    if (t[i] != '=') return i;
    ++i;
    while (IsBlank(t[i]))
        ++i;
    uint32_t n = 0;
    while (!IsWhite(t[i])) {
        if (n + 1 < sizeof extSound) extSound[n++] = t[i];
        ++i;
    }
    extSound[n] = '\0';
    return i > at ? i : at + 1;
}

// What the heads before the list lines say: how many lines the lists have, where the
// last "[LIST]" head's lines begin and how many lines came before it.
struct ListCount {
    int lines = 0;
    uint32_t listStart = 0;
    int beforeHead = 0;
    // The count stopped where only lines of that list follow (no '[' is left): they are
    // counted while they are marked.
    bool restIsList = false;
};

// Counts the list lines and reads the extra sound.
ListCount CountEntries(const Text& text, char (&extSound)[kNameSize]) {
    const char* t = text.bytes;
    const uint32_t length = text.length;
    ListCount c;
    c.listStart = length;
    bool list = false, ext = false;
    int count = 0;
    uint32_t i = 0;
    // The next '[' from `i` on, the text's end when there is none; looked for again only
    // once passed.
    uint32_t open = UINT32_MAX;
    while (i < length) {
        if (!ext && t[i] != '[') {
            // Outside [EXT] only a '[' or a line end counts: straight to the next of them.
            if (open == UINT32_MAX || open < i) {
                const void* at = std::memchr(t + i, '[', length - i);
                open = at ? static_cast<uint32_t>(static_cast<const char*>(at) - t) : length;
            }
            if (open == length) { // no head follows
                c.restIsList = list;
                break;
            }
            const void* cr = std::memchr(t + i, '\r', length - i);
            const uint32_t end =
                cr ? static_cast<uint32_t>(static_cast<const char*>(cr) - t) : length;
            if (open < end) {
                i = open;
                continue;
            }
            if (end == length) break;
            if (list && t[end + 1] == '\n' && count < kMaxEntries + 1) ++count;
            i = end + 1;
        } else if (t[i] == '[' && StartsWithNoCase(t + i, "[list]")) {
            list = true;
            ext = false;
            i = i + 8 < length ? i + 8 : length;
            c.listStart = i;
            c.beforeHead = count;
        } else if (t[i] == '[' && StartsWithNoCase(t + i, "[ext]")) {
            ext = true;
            list = false;
            i = i + 7 < length ? i + 7 : length;
        } else if (ext) {
            i = ReadExtSound(text, i, extSound);
        } else {
            ++i; // a '[' that opens no head
        }
    }
    c.lines = count;
    return c;
}

// Where the line from `i` ends: its CR LF, or the end of the text.
uint32_t LineEnd(const Text& text, uint32_t i) {
    const char* t = text.bytes;
    while (i < text.length) {
        const void* cr = std::memchr(t + i, '\r', text.length - i);
        if (!cr) break;
        i = static_cast<uint32_t>(static_cast<const char*>(cr) - t);
        if (t[i + 1] == '\n') return i;
        ++i;
    }
    return text.length;
}

// The code page's lead bytes, asked once rather than for every byte of the list, and
// whether they all lie above ASCII (as in every double-byte code page): then eight ASCII
// bytes in a row hold no second byte of a character and fold together.
struct LeadBytes {
    bool lead[256];
    bool aboveAscii = true;
    LeadBytes() {
        for (int b = 0; b < 256; ++b) {
            lead[b] = platform::IsDbcsLeadByte(static_cast<uint8_t>(b));
            if (lead[b] && b < 0x80) aboveAscii = false;
        }
    }
};

// Folds a chunk of ASCII bytes at `at` in place and sets a bit in `crs` for each CR among
// them (kCrBits bits a byte, the first byte's lowest); false, and nothing folded, when
// one of them is not ASCII.
#if defined(__SSE2__)
constexpr uint32_t kChunk = 16, kCrBits = 1;
bool FoldChunk(char* at, uint64_t& crs) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    if (_mm_movemask_epi8(v) != 0) return false;
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('A' - 1)),
                                        _mm_cmplt_epi8(v, _mm_set1_epi8('Z' + 1)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                     _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20))));
    crs = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
    return true;
}
#else
constexpr uint32_t kChunk = 8, kCrBits = 8;
bool FoldChunk(char* at, uint64_t& crs) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHigh = kOnes * 0x80, kLow = ~kHigh;
    uint64_t w = 0;
    std::memcpy(&w, at, 8);
    if ((w & kHigh) != 0) return false;
    // The high bit of (b + 0x3F) ^ (b + 0x25) marks 'A' to 'Z', that of the sum below a CR.
    const uint64_t x = w ^ (kOnes * '\r');
    crs = ~(((x & kLow) + kLow) | x) & kHigh;
    w |= (((w + kOnes * 0x3F) ^ (w + kOnes * 0x25)) & kHigh) >> 2;
    std::memcpy(at, &w, 8);
    return true;
}
#endif

// Marks up to `most` lines from `listStart` as the table's entries, in place: each cut to
// 255 characters, terminated where its CR stood, its letters folded except a byte right
// after a lead byte (the list's first byte has none before it). Returns how many ended
// with CR LF, and in `next` where the text after them goes on. The text is read in chunks
// whatever the lines, so that no chunk is read again after it was written; a chunk may
// fold letters past the 255 an entry keeps or past the last line marked, which nothing
// reads.
int MarkLines(EntryTable& table, const Text& text, uint32_t listStart, int most, uint32_t& next) {
    const LeadBytes leads;
    char* t = text.bytes;
    const uint32_t length = text.length;
    uint32_t start = listStart; // the line being read
    int marked = 0;
    next = start;
    // Ends that line where its CR stands; true when it was the last one wanted.
    auto endLine = [&](uint32_t cr) {
        const uint32_t keep = cr - start < EntryTable::kMaxName ? cr - start : EntryTable::kMaxName;
        t[start + keep] = '\0';
        table.Mark(start);
        start = next = cr + 2;
        return ++marked == most;
    };
    if (most <= 0) return 0;
    bool afterLead = false;
    uint32_t k = listStart;
    while (k < length) {
        uint64_t crs = 0;
        if (leads.aboveAscii && !afterLead && length - k >= kChunk && FoldChunk(t + k, crs)) {
            for (; crs != 0; crs &= crs - 1) {
                const uint32_t cr = k + static_cast<uint32_t>(std::countr_zero(crs)) / kCrBits;
                if (t[cr + 1] == '\n' && endLine(cr)) return marked;
            }
            k += kChunk; // no lead byte in it: none before the next
            continue;
        }
        const char c = t[k];
        if (c == '\r' && t[k + 1] == '\n') {
            if (endLine(k)) return marked;
        } else if (!afterLead) {
            t[k] = AsciiLower(c);
        }
        afterLead = leads.lead[static_cast<uint8_t>(c)];
        ++k;
    }
    const int ended = marked;
    if (start < length) endLine(length); // a last line without CR LF, not counted as one
    return ended;
}

// How many lines end with CR LF from `i` on, counting up to `most`.
int CountLines(const Text& text, uint32_t i, int most) {
    int n = 0;
    for (; n < most && i < text.length; ++n) {
        const uint32_t end = LineEnd(text, i);
        if (end == text.length) break;
        i = end + 2;
    }
    return n;
}

// Appends a digit to an option number, saturating instead of overflowing.
int AddDigit(int number, char digit) {
    const int d = digit - '0';
    if (number > (INT32_MAX - d) / 10) return INT32_MAX;
    return number * 10 + d;
}

const char* ReadNumber(const char* at, int& number) {
    while (*at >= '0' && *at <= '9')
        number = AddDigit(number, *at++);
    return at;
}

} // namespace

PlaylistRead ReadPlaylist(const char* name) {
    PlaylistRead r;
    Text text;
    r.refusal = LoadText(name, text);
    if (r.refusal != ListRefusal::None) return r;
    if (!HasHeader(text)) {
        platform::FreeMemory(text.bytes);
        r.refusal = ListRefusal::NotAPlaylist;
        return r;
    }
    const ListCount c = CountEntries(text, r.extSound);
    const uint32_t listStart = c.listStart;
    int lines = c.lines;
    // Lines the count stopped short of are counted and marked in one pass: the table gets
    // room for the most the text can hold, 2 bytes a line.
    int room = lines > kMaxEntries ? kMaxEntries : lines;
    if (c.restIsList) {
        const uint32_t most = c.beforeHead + (text.length - listStart) / 2 + 1;
        room = most < kMaxEntries ? static_cast<int>(most) : kMaxEntries;
        if (c.beforeHead == 0 && CountLines(text, listStart, 1) == 0) room = 0;
    }
    if (room == 0) {
        r.text = {text.length, listStart, lines};
        platform::FreeMemory(text.bytes);
        return r;
    }
    // The text itself becomes the table's pool.
    if (!r.entries.AdoptText(text.bytes, text.length + 1u, room)) {
        if (c.restIsList) lines = c.beforeHead + CountLines(text, listStart, kMaxEntries + 1);
        r.text = {text.length, listStart, lines < kMaxEntries + 1 ? lines : kMaxEntries + 1};
        platform::FreeMemory(text.bytes);
        r.refusal = ListRefusal::OutOfMemory;
        return r;
    }
    uint32_t next = listStart;
    const int marked = MarkLines(r.entries, text, listStart, room, next);
    if (c.restIsList) {
        const int more = marked == kMaxEntries ? CountLines(text, next, 1) : 0;
        lines = c.beforeHead + marked + more;
        if (lines > kMaxEntries + 1) lines = kMaxEntries + 1;
    }
    r.text = {text.length, listStart, lines};
    const int count = lines > kMaxEntries ? kMaxEntries : lines;
    for (int e = r.entries.Count(); e < count; ++e)
        r.entries.Mark(text.length); // lines the text runs out of: empty entries
    if (r.entries.At(count - 1)[0] == '\0') r.entries.DropLast();
    return r;
}

bool IsPlaylistHead(const char* head, uint32_t length) {
    // The reader's own rule, on a copy ending as the reader ends a file.
    char bytes[kPlaylistHeadSize + 2] = {};
    uint32_t n = length < kPlaylistHeadSize ? length : kPlaylistHeadSize;
    std::memcpy(bytes, head, n);
    if (n < kPlaylistHeadSize && (n < 2 || bytes[n - 2] != '\r' || bytes[n - 1] != '\n')) {
        bytes[n++] = '\r';
        bytes[n++] = '\n';
    }
    Text text;
    text.bytes = bytes;
    text.length = n;
    return HasHeader(text);
}

EntrySplit ParseEntry(const char* entry) {
    EntrySplit split{};
    char* name = split.name;
    char* options = split.options;
    size_t nameLength = 0, optionLength = 0;
    for (const char* c = entry; *c; ++c) {
        if (!split.comma) {
            if (*c == ',')
                split.comma = true;
            else if (nameLength + 1 < kNameSize)
                name[nameLength++] = *c;
        } else if (*c != ' ' && optionLength + 1 < kNameSize) {
            options[optionLength++] = *c;
        }
    }
    name[nameLength] = '\0';
    options[optionLength] = '\0';

    int volume = 0, start = 0, end = 0, stop = 0, loop = 0;
    bool absolute = false, negative = false;
    const char* c = options;
    while (*c) {
        const char* after = nullptr;
        if (StartsWithNoCase(c, "vol=")) {
            c += 4;
            absolute = *c != '+' && *c != '-';
            if (!absolute)
                negative = *c++ == '-';
            else
                negative = false;
            after = ReadNumber(c, volume);
        } else if (StartsWithNoCase(c, "loop=")) {
            // Not one of the texts matched below, nor matched by them: older versions
            // pass over it, and no other option changes meaning.
            c += 5;
            while (*c == '\t')
                ++c;
            after = ReadNumber(c, loop);
        } else {
            int* target = nullptr;
            size_t keyword = 0;
            if (StartsWithNoCase(c, "beg"))
                target = &start, keyword = 3;
            else if (StartsWithNoCase(c, "end"))
                target = &end, keyword = 3;
            else if (StartsWithNoCase(c, "stop"))
                target = &stop, keyword = 4;
            if (target) {
                c += keyword;
                while (*c && *c != '=')
                    ++c;
                if (*c == '=') ++c;
                while (*c == '\t')
                    ++c;
                after = ReadNumber(c, *target);
            }
        }
        if (!after) {
            ++c;
        } else {
            c = after;
            if (*c) ++c; // the separator after a number
        }
    }
    const long long hosei = (absolute ? 10000LL : 0LL) + (negative ? -volume : volume);
    split.volume = volume;
    split.hosei = hosei > INT32_MAX ? INT32_MAX : static_cast<int>(hosei);
    split.beg = start;
    split.end = end;
    split.stop = stop;
    split.loop = loop;
    return split;
}

SplitBoxes BoxesOfSplit(const char* entry, const EntrySplit& split) {
    SplitBoxes boxes{};
    auto add = [&boxes](int level, const char* caption, const char* text) {
        DebugText& box = boxes.box[boxes.count++];
        box.level = level;
        box.caption = caption;
        CopyText(box.text, text, sizeof box.text);
    };
    add(3, "Input", entry);
    add(2, "Return String", split.name);
    if (split.comma) add(2, "Additional String", split.options);
    char text[64];
    std::snprintf(text, sizeof text, "Hoseivolume=%d\n(volvalue=%d)", split.hosei, split.volume);
    add(1, "HoseiVolume", text);
    return boxes;
}
