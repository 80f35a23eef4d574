// The folder play request: the bytes, up to the first zero byte and with ".rnd" added,
// are the name the host asks to play, over a game folder of music files (in folders of
// ordinary and of near-limit name lengths, with names of other types and a folder whose
// name looks like a tune). When the request (cut to 255 bytes as every request is) is a
// folder request: every entry names an existing file or folder of one of the searched
// types, no entry is listed twice, every such name of that folder whose path fits an
// entry is listed, the chosen entry is the media file, and the play mode says whether
// any was found.
#include <algorithm>

#include "fuzz.h"
#include "platform/files.h"

namespace {

const std::string kLongFolder = "C:\\Game\\" + std::string(236, 'f'); // 244 bytes

void MakeGameFolder() {
    for (const char* name : {"a.mp3", "B.MP3", "c.wma", "d.ogg", "e f.mp3", "g.mp3.txt",
                             "sub\\h.mp3", ".mp3", "x.rnd"})
        sim::AddFile(std::string("C:\\Game\\sound\\bgm\\") + name, "tune");
    sim::AddFolder("C:\\Game\\sound\\bgm\\dir.mp3");
    sim::AddFile("C:\\Game\\sound\\one.wma", "tune");
    sim::AddFile(kLongFolder + "\\short.mp3", "tune");                       // 254 bytes: fits
    sim::AddFile(kLongFolder + "\\" + std::string(8, 'n') + ".mp3", "tune"); // 257: does not
}

bool EndsWithType(const std::string& name) {
    std::string lower(name);
    for (char& c : lower)
        c = AsciiLower(c);
    auto ends = [&lower](const char* type) {
        const size_t n = std::strlen(type);
        return lower.size() >= n && lower.compare(lower.size() - n, n, type) == 0;
    };
    return ends(".mp3") || ends(".wma");
}

// A folder request after the cut: the extension after the last dot (not the first byte).
bool IsFolderRequest(const std::string& request) {
    const size_t dot = request.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string extension = request.substr(dot + 1);
    for (char& c : extension)
        c = AsciiLower(c);
    return extension == "rnd";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshModule();
    MakeGameFolder();
    Init();
    const std::string bytes(reinterpret_cast<const char*>(data),
                            strnlen(reinterpret_cast<const char*>(data), size));
    const std::string request = bytes + ".rnd";
    Play(request.c_str());

    const PlayerStateRecord& p = PlayerState;
    FUZZ_CHECK(fuzz::Terminated(p.RequestFile, kNameSize), "request");
    FUZZ_CHECK(fuzz::Terminated(p.MediaFile, kNameSize), "media");
    if (IsFolderRequest(request.substr(0, kNameSize - 1))) {
        const std::vector<std::string> entries = fuzz::Names();
        FUZZ_CHECK(p.PlayMode == (entries.empty() ? PlaySource::SingleFile : PlaySource::Folder),
                   fuzz::Show(request));
        for (const std::string& entry : entries) {
            FUZZ_CHECK(entry.size() < kNameSize && EndsWithType(entry), fuzz::Show(entry));
            FUZZ_CHECK(platform::FileExists(entry.c_str()), fuzz::Show(entry));
            FUZZ_CHECK(std::count(entries.begin(), entries.end(), entry) == 1, fuzz::Show(entry));
        }
        if (!entries.empty()) {
            FUZZ_CHECK(p.CurrentEntry >= 0 && p.CurrentEntry < p.Entries.Count(), "current entry");
            FUZZ_CHECK(entries[static_cast<size_t>(p.CurrentEntry)] == p.MediaFile,
                       fuzz::Show(p.MediaFile));
            const std::string folder = entries[0].substr(0, entries[0].rfind('\\'));
            for (const std::string& name : sim::ListFolder(folder)) {
                const std::string path = folder + "\\" + name;
                if (EndsWithType(name) && path.size() < kNameSize)
                    FUZZ_CHECK(std::count(entries.begin(), entries.end(), path) == 1,
                               "missing " + fuzz::Show(path));
            }
        }
    }
    Quit();
    PlayerState.Entries.Clear();
    fuzz::CheckNothingHeld();
    return 0;
}
