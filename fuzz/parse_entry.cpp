// ParseEntry alone: the bytes, up to the first zero byte, are one entry line of any
// length. The name is the text before the first comma, cut to 255 bytes; without a comma
// every option is 0; the options ignore spaces and letter case (the same entry with its
// options written without spaces and in capitals gives the same values); start, end and
// stop are never negative, and a volume correction needs "vol=" among the options. The
// diagnostic boxes show the name and at most 255 bytes of options.
#include "fuzz.h"

namespace {

struct Options {
    int hosei, beg, end, stop;
    bool operator==(const Options&) const = default;
};

Options Split(const std::string& entry, char* name) {
    ParseEntry(entry.c_str(), name);
    const PlayerStateRecord& p = PlayerState;
    return {p.Hosei, p.EntryBeg, p.EntryEnd, p.EntryStop};
}

std::string Describe(const Options& o) {
    return std::to_string(o.hosei) + " " + std::to_string(o.beg) + " " + std::to_string(o.end) +
           " " + std::to_string(o.stop);
}

std::string BoxText(const char* caption) {
    for (const auto& box : sim::Boxes())
        if (box.caption == caption) return box.text;
    return "(no box)";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshModule();
    PluginSettings.Debug = 3;
    const std::string entry(reinterpret_cast<const char*>(data),
                            strnlen(reinterpret_cast<const char*>(data), size));
    const size_t comma = entry.find(',');
    const std::string expectedName = entry.substr(0, comma).substr(0, kNameSize - 1);

    char name[kNameSize];
    const Options options = Split(entry, name);
    FUZZ_CHECK(fuzz::Terminated(name, sizeof name), fuzz::Show(entry));
    FUZZ_CHECK(name == expectedName, fuzz::Show(entry));
    FUZZ_CHECK(BoxText("Return String") == expectedName, fuzz::Show(entry));
    FUZZ_CHECK(options.beg >= 0 && options.end >= 0 && options.stop >= 0, Describe(options));

    if (comma == std::string::npos) {
        FUZZ_CHECK(options == Options{}, Describe(options));
    } else {
        std::string squeezed, shouted;
        for (char c : entry.substr(comma + 1))
            if (c != ' ') squeezed += c;
        for (char c : squeezed)
            shouted += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        FUZZ_CHECK(BoxText("Additional String") == squeezed.substr(0, kNameSize - 1),
                   fuzz::Show(entry));
        std::string lower(squeezed.substr(0, kNameSize - 1));
        for (char& c : lower)
            c = AsciiLower(c);
        if (lower.find("vol=") == std::string::npos)
            FUZZ_CHECK(options.hosei == 0, Describe(options));
        const Options again = Split(entry.substr(0, comma) + "," + shouted, name);
        FUZZ_CHECK(again == options, Describe(options) + " / " + Describe(again));
    }
    FUZZ_CHECK(
        BoxText("HoseiVolume").rfind("Hoseivolume=" + std::to_string(options.hosei) + "\n", 0) == 0,
        BoxText("HoseiVolume"));
    fuzz::CheckNoMisuse();
    return 0;
}
