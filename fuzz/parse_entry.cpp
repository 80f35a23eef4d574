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
    const EntrySplit split = ParseEntry(entry.c_str());
    CopyText(name, split.name, kNameSize);
    return {split.hosei, split.beg, split.end, split.stop};
}

std::string Describe(const Options& o) {
    return std::to_string(o.hosei) + " " + std::to_string(o.beg) + " " + std::to_string(o.end) +
           " " + std::to_string(o.stop);
}

// The text of the split's diagnostic box under `caption`.
std::string BoxText(const std::string& entry, const char* caption) {
    const SplitBoxes boxes = BoxesOfSplit(entry.c_str(), ParseEntry(entry.c_str()));
    for (int i = 0; i < boxes.count; ++i)
        if (std::string(boxes.box[i].caption) == caption) return boxes.box[i].text;
    return "(no box)";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshModule();
    const std::string entry(reinterpret_cast<const char*>(data),
                            strnlen(reinterpret_cast<const char*>(data), size));
    const size_t comma = entry.find(',');
    const std::string expectedName = entry.substr(0, comma).substr(0, kNameSize - 1);

    char name[kNameSize];
    const Options options = Split(entry, name);
    FUZZ_CHECK(fuzz::Terminated(name, sizeof name), fuzz::Show(entry));
    FUZZ_CHECK(name == expectedName, fuzz::Show(entry));
    FUZZ_CHECK(BoxText(entry, "Return String") == expectedName, fuzz::Show(entry));
    FUZZ_CHECK(options.beg >= 0 && options.end >= 0 && options.stop >= 0, Describe(options));

    if (comma == std::string::npos) {
        FUZZ_CHECK(options == Options{}, Describe(options));
    } else {
        std::string squeezed, shouted;
        for (char c : entry.substr(comma + 1))
            if (c != ' ') squeezed += c;
        for (char c : squeezed)
            shouted += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        FUZZ_CHECK(BoxText(entry, "Additional String") == squeezed.substr(0, kNameSize - 1),
                   fuzz::Show(entry));
        std::string lower(squeezed.substr(0, kNameSize - 1));
        for (char& c : lower)
            c = AsciiLower(c);
        if (lower.find("vol=") == std::string::npos)
            FUZZ_CHECK(options.hosei == 0, Describe(options));
        const Options again = Split(entry.substr(0, comma) + "," + shouted, name);
        FUZZ_CHECK(again == options, Describe(options) + " / " + Describe(again));
    }
    const std::string hosei = BoxText(entry, "HoseiVolume");
    FUZZ_CHECK(hosei.rfind("Hoseivolume=" + std::to_string(options.hosei) + "\n", 0) == 0, hosei);
    fuzz::CheckNoMisuse();
    return 0;
}
