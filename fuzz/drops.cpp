// Drops: the first byte picks what plays (a playlist with entries, one without, a single
// file, a folder play) and whether the host program's path is too long to strip; the
// other bytes, split at zero bytes, are the dropped names (0 to 4,096 bytes each, any
// count). A playlist's table afterwards is the old one followed by each name of 1 to 255
// bytes, relative to the host's folder when inside it, unless an entry already begins
// with it; the notice counts them; the file waits for the stop, or, when the list had no
// entries, holds them at once and the last name plays. Anything else but a playlist
// keeps its table and says so. Every drop is finished once.
#include "fuzz.h"

namespace {

constexpr const char* kList = "sound\\list.txt";
const std::string kHead = "[Orvalin_BGMList]\r\n[List]";
const std::vector<std::string> kEntries = {"sound\\a.mp3", "sound\\b.mp3,vol=80",
                                           "d:\\music\\c.mp3"};

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

std::string ListText(const std::vector<std::string>& entries) {
    std::string text = kHead;
    for (const std::string& entry : entries)
        text += "\r\n" + entry;
    return text;
}

std::string Extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
    for (char& c : extension)
        c = AsciiLower(c);
    return extension;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz::FreshModule();
    const int mode = data[0] & 3;
    const bool longHost = (data[0] & 4) != 0;
    std::vector<std::string> names;
    for (size_t at = 1; at < size;) {
        const char* start = reinterpret_cast<const char*>(data) + at;
        const size_t length = strnlen(start, size - at);
        names.emplace_back(start, std::min<size_t>(length, 4096));
        at += length + 1;
    }

    sim::AddFile("C:\\Game\\plugins\\OrvalinMugenBGM.ini",
                 "[Settings]\r\nDisplayToWindowText=1\r\n");
    sim::AddFile("C:\\Game\\sound\\a.mp3", "tune");
    sim::AddFile(kList, mode == 0 ? ListText(kEntries) + "\r\n" : kHead + "\r\n");
    const std::string folder = longHost ? "" : "C:\\Game\\";
    if (longHost) sim::SetHostProgramPath("C:\\Game\\" + std::string(260, 'h') + ".exe");
    Init();
    Play(mode <= 1 ? kList : mode == 2 ? "sound\\a.mp3" : "sound\\x.rnd");
    const std::vector<std::string> before = fuzz::Names();
    const std::string listBefore = sim::FileText(kList);

    const uintptr_t drop = sim::MakeDrop(names);
    AddDroppedFiles(drop);
    FUZZ_CHECK(sim::DropFinished(drop), "the drop was not finished");

    const PlayerStateRecord& p = PlayerState;
    if (mode >= 2) {
        FUZZ_CHECK(fuzz::Names() == before, "a table changed that is no playlist");
        FUZZ_CHECK(sim::WindowTitle(sim::kGameWindow) == "Current Music is not txt Format.",
                   sim::WindowTitle(sim::kGameWindow));
    } else {
        std::vector<std::string> expected = before;
        std::string last;
        for (const std::string& name : names) {
            if (name.empty() || name.size() >= kNameSize) continue;
            last = !folder.empty() && StartsWith(name, folder) ? name.substr(folder.size()) : name;
            bool listed = false;
            for (const std::string& entry : expected)
                listed = listed || StartsWith(entry, last);
            if (!listed) expected.push_back(last);
        }
        const size_t added = expected.size() - before.size();
        if (!before.empty() || added == 0) {
            FUZZ_CHECK(fuzz::Names() == expected, "dropped: " + std::to_string(names.size()));
            FUZZ_CHECK(p.ListModified == (added > 0), "modified mark");
            FUZZ_CHECK(sim::FileText(kList) == listBefore, "the list was written before the stop");
            FUZZ_CHECK(sim::WindowTitle(sim::kGameWindow) ==
                           std::to_string(added) + (added == 1 ? " File Added" : " Files Added"),
                       sim::WindowTitle(sim::kGameWindow));
        } else {
            FUZZ_CHECK(sim::FileText(kList) == ListText(expected),
                       fuzz::Show(sim::FileText(kList)));
            const std::string type = Extension(last);
            if (type != "txt" && type != "rnd")
                FUZZ_CHECK(last == p.MediaFile, fuzz::Show(p.MediaFile));
        }
    }
    Quit();
    PlayerState.Entries.Clear();
    fuzz::CheckNothingHeld();
    return 0;
}
