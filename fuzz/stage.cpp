// The stage scan and insertion: the bytes are the stage file stages\s.def, and every
// question is answered Yes. Afterwards the stage text is the text before with exactly
// the path "sound/s.txt" added at one point, or unchanged; it changed exactly when one
// question was asked, and then sound/s.txt holds the empty playlist; no other file is
// left. A second run finds a value (or nothing to do) and changes nothing.
#include <algorithm>

#include "fuzz.h"

namespace {

constexpr const char* kStage = "C:\\Game\\stages\\s.def";
constexpr const char* kPlaylist = "C:\\Game\\sound\\s.txt";
const std::string kPath = "sound/s.txt";
const std::string kEmptyPlaylist = "[Orvalin_BGMList]\r\n[List]\r\n";

int Questions() {
    int n = 0;
    for (const auto& box : sim::Boxes())
        n += box.caption == "ForceInsertMusic - OrvalinMUGENBGM" ? 1 : 0;
    return n;
}

// `after` is `before` with kPath inserted at one point.
bool PathInserted(const std::string& before, const std::string& after) {
    if (after.size() != before.size() + kPath.size()) return false;
    size_t common = 0;
    while (common < before.size() && before[common] == after[common])
        ++common;
    for (size_t at = common + 1; at-- > 0 && at + kPath.size() + 1 > common;)
        if (after.compare(at, kPath.size(), kPath) == 0 &&
            after.compare(at + kPath.size(), std::string::npos, before, at) == 0)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshModule();
    const std::string before(reinterpret_cast<const char*>(data), size);
    sim::AddFile(kStage, before);
    sim::AddFolder("C:\\Game\\sound");

    FUZZ_CHECK(ForceInsertMusic() == 1, "the stages were not searched");
    const std::string after = sim::FileText(kStage);
    const bool changed = after != before;
    FUZZ_CHECK(!changed || PathInserted(before, after),
               "before: " + fuzz::Show(before) + "\nafter: " + fuzz::Show(after));
    FUZZ_CHECK(Questions() == (changed ? 1 : 0), fuzz::Show(before));
    FUZZ_CHECK(sim::HasFile(kPlaylist) == changed, fuzz::Show(before));
    if (changed) FUZZ_CHECK(sim::FileText(kPlaylist) == kEmptyPlaylist, "playlist");
    FUZZ_CHECK(sim::ListFolder("C:\\Game\\stages") == std::vector<std::string>{"s.def"},
               "a temporary stage file was left");
    FUZZ_CHECK(sim::ListFolder("C:\\Game\\sound").size() == (changed ? 1u : 0u),
               "a temporary playlist was left");

    sim::ClearHistory();
    ForceInsertMusic();
    FUZZ_CHECK(Questions() == 0 && sim::FileText(kStage) == after,
               "asked again about: " + fuzz::Show(after));
    fuzz::CheckNothingHeld();
    return 0;
}
