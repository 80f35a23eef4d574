// The playlist format: reading a list into the entry table and splitting an entry into
// its file name and options.
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "selection/selection.h"

namespace {

constexpr int kMaxEntries = 10000;
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

bool LoadText(const char* name, Text& text) {
    platform::Handle file = platform::OpenFileForRead(name);
    if (!file) return false;
    const uint64_t whole = platform::GetFileSize(file);
    // Room for the appended CR LF and the terminator; sizes near 4 GiB cannot be had.
    const uint32_t size = whole < 0xFFFFFF00u ? static_cast<uint32_t>(whole) : 0;
    char* bytes =
        whole < 0xFFFFFF00u ? static_cast<char*>(platform::AllocZeroed(size + 3u)) : nullptr;
    if (!bytes) {
        platform::CloseObject(file);
        ErrorFeedback::AlwaysBox("Failed to allocate memory.");
        return false;
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
    return true;
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
uint32_t ReadExtSound(const Text& text, uint32_t at) {
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
    char value[kNameSize];
    while (!IsWhite(t[i])) {
        if (n + 1 < sizeof value) value[n++] = t[i];
        ++i;
    }
    value[n] = '\0';
    CopyText(PlayerState.ExtSound, value, sizeof PlayerState.ExtSound);
    return i > at ? i : at + 1;
}

// Counts the list lines and reads the extra sound; `listStart` is where the last
// "[LIST]" head's lines begin.
int CountEntries(const Text& text, uint32_t& listStart) {
    const char* t = text.bytes;
    bool list = false, ext = false;
    int count = 0;
    uint32_t i = 0;
    while (i < text.length) {
        if (t[i] == '[' && StartsWithNoCase(t + i, "[list]")) {
            list = true;
            ext = false;
            i = i + 8 < text.length ? i + 8 : text.length;
            listStart = i;
        } else if (t[i] == '[' && StartsWithNoCase(t + i, "[ext]")) {
            ext = true;
            list = false;
            i = i + 7 < text.length ? i + 7 : text.length;
        } else if (ext) {
            i = ReadExtSound(text, i);
        } else {
            if (list && t[i] == '\r' && t[i + 1] == '\n' && count < kMaxEntries + 1) ++count;
            ++i;
        }
    }
    return count;
}

// Copies `count` lines from `listStart` into the table, folding letters except the
// second byte of a double-byte character. Lines longer than a slot are cut.
void CopyEntries(const Text& text, uint32_t listStart, int count) {
    // The code page's lead bytes, asked once rather than for every byte of the list.
    bool lead[256];
    for (int b = 0; b < 256; ++b)
        lead[b] = platform::IsDbcsLeadByte(static_cast<uint8_t>(b));
    const char* t = text.bytes;
    uint32_t i = listStart;
    for (int e = 0; e < count && i < text.length; ++e) {
        char* slot = PlayerState.Entries[e];
        uint32_t n = 0;
        while (i < text.length && !(t[i] == '\r' && t[i + 1] == '\n')) {
            const bool afterLead = i > listStart && lead[static_cast<uint8_t>(t[i - 1])];
            if (n + 1 < kNameSize) slot[n++] = afterLead ? t[i] : AsciiLower(t[i]);
            ++i;
        }
        slot[n] = '\0';
        i += 2;
    }
}

void TxtInfoBox(uint32_t length) {
    const PlayerStateRecord& p = PlayerState;
    auto entry = [&](int i) {
        return i < p.EntryCount ? p.Entries[i] : static_cast<const char*>("");
    };
    // Stored in the Japanese code page: file size, number of tunes, tunes 1 to 3.
    ScratchFormat("FileSize\x81\x46%d\n\x8b\xc8\x90\x94\x81\x46%d\n\x8b\xc8"
                  "1:%s\n\x8b\xc8"
                  "2:%s\n\x8b\xc8"
                  "3:%s\n",
                  static_cast<int>(length), p.EntryCount, entry(0), entry(1), entry(2));
    platform::ShowMessageBox(HostWindow(), ScratchText, "txt info", platform::kMbOk);
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

void FreeEntryTable() {
    if (PlayerState.Entries) platform::FreeMemory(PlayerState.Entries);
    PlayerState.Entries = nullptr;
    PlayerState.EntryCapacity = 0;
}

int ReadPlaylist(const char* name, PlaylistText* seen) {
    PlayerStateRecord& p = PlayerState;
    p.EntryCount = 0;
    Text text;
    if (!LoadText(name, text)) return 0;
    if (!HasHeader(text)) {
        platform::FreeMemory(text.bytes);
        return 0;
    }
    p.PlayMode = PlaySource::Playlist;
    uint32_t listStart = text.length;
    int count = CountEntries(text, listStart);
    if (seen) *seen = {text.length, listStart, count};
    if (count > kMaxEntries) {
        const ErrorFeedback::Tone cut{1500, 2000};
        ErrorFeedback::FailureBeeps(&cut, 1);
        count = kMaxEntries;
    }
    if (count == 0) {
        p.PlayMode = PlaySource::EmptyPlaylist;
        platform::FreeMemory(text.bytes);
        return 1;
    }
    FreeEntryTable();
    p.Entries = static_cast<NameSlot*>(
        platform::AllocZeroed(static_cast<size_t>(count) * sizeof(NameSlot)));
    if (!p.Entries) {
        ErrorFeedback::AlwaysBox("Failed to allocate memory.");
        p.PlayMode = PlaySource::SingleFile;
        platform::FreeMemory(text.bytes);
        return 0;
    }
    p.EntryCapacity = count;
    CopyEntries(text, listStart, count);
    p.EntryCount = count;
    if (p.Entries[p.EntryCount - 1][0] == '\0' && --p.EntryCount == 0)
        p.PlayMode = PlaySource::EmptyPlaylist;
    if (PluginSettings.Debug == 1) TxtInfoBox(text.length);
    platform::FreeMemory(text.bytes);
    return 1;
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

int ParseEntry(const char* entry, char* name, char* optionText) {
    PlayerStateRecord& p = PlayerState;
    ErrorFeedback::DebugBox(3, entry, "Input");
    p.EntryStop = 0;
    char options[kNameSize];
    size_t nameLength = 0, optionLength = 0;
    bool comma = false;
    for (const char* c = entry; *c; ++c) {
        if (!comma) {
            if (*c == ',')
                comma = true;
            else if (nameLength + 1 < kNameSize)
                name[nameLength++] = *c;
        } else if (*c != ' ' && optionLength + 1 < sizeof options) {
            options[optionLength++] = *c;
        }
    }
    name[nameLength] = '\0';
    options[optionLength] = '\0';
    if (optionText) CopyText(optionText, options, sizeof options);
    ErrorFeedback::DebugBox(2, name, "Return String");

    int volume = 0, start = 0, end = 0, stop = 0, loop = 0;
    bool absolute = false, negative = false;
    if (comma) {
        ErrorFeedback::DebugBox(2, options, "Additional String");
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
                // Not one of the texts matched below, nor matched by them: older
                // versions pass over it, and no other option changes meaning.
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
    }
    const long long hosei = (absolute ? 10000LL : 0LL) + (negative ? -volume : volume);
    p.Hosei = hosei > INT32_MAX ? INT32_MAX : static_cast<int>(hosei);
    p.EntryBeg = start;
    p.EntryEnd = end;
    p.EntryStop = stop;
    p.EntryLoop = loop;
    char text[64];
    std::snprintf(text, sizeof text, "Hoseivolume=%d\n(volvalue=%d)", p.Hosei, volume);
    ErrorFeedback::DebugBox(1, text, "HoseiVolume");
    return 1;
}
