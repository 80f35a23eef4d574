// The playlist reader: the bytes are the playlist file. Every entry is split with
// ParseEntry and the table is written back with SaveMusicList; reading the written list
// again gives the same entries and the same extra sound, except where the format itself
// cuts or drops:
// - a line longer than 255 bytes is cut to its first 255 when read, and more than 10,000
//   lines keep the first 10,000: the table holds what was cut, and that is written (the
//   unit tests read lists of 10,001 lines; inputs here stay below 8 KiB);
// - an entry's text ends at a zero byte;
// - the writer ends the last entry without CR LF, and the reader drops one trailing empty
//   entry: a trailing empty entry is lost when there is no extra sound behind the list,
//   and then one more is dropped by the second read;
// - an entry that holds "[list]" or "[ext]" (the reader finds the heads anywhere, and it
//   counts the lines of every list but copies from the last one, so a file with several
//   lists can give such entries) reads back as a section head: no comparison then.
// The header check is also held against the format: up to 46 spaces, the header in any
// case, CR LF, nothing else on the line. The input's length picks code page 932 (odd) or
// a single-byte one, so double-byte names are read both ways.
#include "fuzz.h"

namespace {

constexpr const char* kList = "C:\\Game\\list.txt";

bool HasSectionHead(const std::string& entry) {
    std::string folded(entry);
    for (char& c : folded)
        c = AsciiLower(c);
    return folded.find("[list]") != std::string::npos || folded.find("[ext]") != std::string::npos;
}

bool HeaderByTheFormat(std::string text) {
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
    size_t spaces = 0;
    while (spaces < text.size() && text[spaces] == ' ')
        ++spaces;
    static const std::string kHeader = "[orvalin_bgmlist]\r\n";
    if (spaces > 46 || text.size() < spaces + kHeader.size()) return false;
    for (size_t i = 0; i < kHeader.size(); ++i)
        if (AsciiLower(text[spaces + i]) != kHeader[i]) return false;
    return true;
}

void CheckTable(const PlaylistRead& read) {
    const int count = read.entries.Count();
    FUZZ_CHECK(count >= 0 && count <= 10000, std::to_string(count));
    for (int i = 0; i < count; ++i)
        FUZZ_CHECK(fuzz::Terminated(read.entries[i], kNameSize), "entry " + std::to_string(i));
    FUZZ_CHECK(fuzz::Terminated(read.extSound, sizeof read.extSound), "extra sound");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshModule();
    sim::SetCodePage932(size % 2 == 1);
    const std::string text(reinterpret_cast<const char*>(data), size);
    sim::AddFile(kList, text);

    PlaylistRead read = ReadPlaylist(kList);
    const bool accepted = read.refusal == ListRefusal::None;
    FUZZ_CHECK(accepted == HeaderByTheFormat(text), fuzz::Show(text));
    CheckTable(read);
    if (accepted) {
        const std::vector<std::string> entries = fuzz::Names(read.entries);
        const std::string extSound = read.extSound;

        // Each entry splits into the text before its first comma and the options.
        for (const std::string& entry : entries) {
            const EntrySplit split = ParseEntry(entry.c_str());
            FUZZ_CHECK(std::string(split.name) == entry.substr(0, entry.find(',')),
                       fuzz::Show(entry));
        }

        if (!entries.empty()) {
            // The writer saves the playback state's table and extra sound.
            PlayerState.Entries = std::move(read.entries);
            CopyText(PlayerState.ExtSound, extSound.c_str(), sizeof PlayerState.ExtSound);
            FUZZ_CHECK(SaveMusicList(kList) == 1, "the list was not written");
            FUZZ_CHECK(sim::ListFolder("C:\\Game") == std::vector<std::string>{"list.txt"},
                       "a temporary file was left");
            PlayerState.Entries.Clear();
            std::vector<std::string> expected = entries;
            if (extSound.empty() && !expected.empty() && expected.back().empty())
                expected.pop_back();
            if (!expected.empty() && expected.back().empty()) expected.pop_back();
            bool comparable = true;
            for (const std::string& entry : entries)
                comparable = comparable && !HasSectionHead(entry);

            const std::string written = sim::FileText(kList);
            const PlaylistRead again = ReadPlaylist(kList);
            FUZZ_CHECK(again.refusal == ListRefusal::None, fuzz::Show(written));
            CheckTable(again);
            if (comparable) {
                FUZZ_CHECK(fuzz::Names(again.entries) == expected,
                           "read: " + fuzz::Show(text) + "\nwritten: " + fuzz::Show(written));
                FUZZ_CHECK(extSound == again.extSound, fuzz::Show(written));
            }
        }
    }
    read.entries.Clear();
    fuzz::CheckNothingHeld();
    return 0;
}
