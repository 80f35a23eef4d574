// Names in the game's code page, read as characters for the report.
#include <algorithm>
#include <cstdio>

#include "platform/code_pages.h"
#include "platform/text_out.h"
#include "checker.h"
#include "names.h"

namespace check {
namespace {

// The character `bytes` of `codePage` in UTF-8, or empty. A C1 control (U+0080 to
// U+009F) is how Windows passes a byte its single-byte table leaves undefined: it reads
// as nothing a name would hold.
std::string Utf8Of(std::string_view bytes, uint32_t codePage) {
    char out[16];
    const size_t n =
        platform::CodePageToUtf8(codePage, bytes.data(), bytes.size(), out, sizeof out);
    if (n == 0 || (n == 2 && static_cast<unsigned char>(out[0]) == 0xC2 &&
                   static_cast<unsigned char>(out[1]) < 0xA0))
        return {};
    return std::string(out, n);
}

bool ReadsIn(std::string_view text, uint32_t codePage) {
    const std::vector<Character> characters = Characters(text, codePage);
    return std::all_of(characters.begin(), characters.end(),
                       [](const Character& c) { return !c.utf8.empty(); });
}

// A Japanese name read in a single-byte code page reads, but as nonsense: its characters
// come in pairs of a Shift-JIS lead byte of 0x81 to 0x9F (kana, most kanji) and a second
// byte. Two such pairs, and no byte that is not part of a pair, tell it from a Western
// name with a curly apostrophe or an accented letter.
bool LooksJapanese(std::string_view text) {
    int pairs = 0;
    for (const Character& c : Characters(text, 932)) {
        if (c.utf8.empty()) return false;
        if (c.bytes.size() == 2 && static_cast<unsigned char>(c.bytes[0]) <= 0x9F) ++pairs;
    }
    return pairs >= 2;
}

bool SingleByte(uint32_t codePage) {
    for (int b = 0x80; b <= 0xFF; ++b)
        if (platform::LeadByteIn(codePage, static_cast<uint8_t>(b))) return false;
    return true;
}

// In the order met, so that the note's example is the first name of the report.
void AddName(std::vector<std::string>& names, const std::string& name) {
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) &&
        std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

} // namespace

std::vector<Character> Characters(std::string_view text, uint32_t codePage) {
    std::vector<Character> out;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out.push_back({text.substr(i, 1), std::string(1, text[i])});
            ++i;
            continue;
        }
        const size_t n = platform::LeadByteIn(codePage, b) && i + 1 < text.size() ? 2 : 1;
        std::string utf8 = Utf8Of(text.substr(i, n), codePage);
        const size_t taken = utf8.empty() ? 1 : n;
        out.push_back({text.substr(i, taken), std::move(utf8)});
        i += taken;
    }
    return out;
}

std::string Readable(std::string_view text, uint32_t codePage) {
    std::string out;
    out.reserve(text.size());
    for (const Character& c : Characters(text, codePage)) {
        if (!c.utf8.empty()) {
            out += c.utf8;
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c.bytes[0]));
        out += hex;
    }
    return out;
}

void NoteCodePage(Report& r) {
    std::vector<std::string> names;
    for (const Stage& s : r.stages) {
        for (const std::string* name : {&s.file, &s.bgmusic, &s.request, &s.extSound})
            AddName(names, *name);
        for (const Candidate& c : s.looked)
            AddName(names, c.path);
        for (const Entry& e : s.entries)
            AddName(names, e.file);
        for (const std::string& p : s.plays)
            AddName(names, p);
    }
    std::vector<std::string> unread;
    const bool singleByte = SingleByte(r.codePage);
    for (const std::string& name : names)
        if (!ReadsIn(name, r.codePage) || (singleByte && LooksJapanese(name)))
            unread.push_back(name);
    if (unread.empty()) return;

    const uint32_t pages[] = {932,  936,  949,  950,  874,  1250, 1251,
                              1252, 1253, 1254, 1255, 1256, 1257, 1258};
    uint32_t reads = 0;
    for (uint32_t page : pages)
        if (page != r.codePage &&
            std::all_of(unread.begin(), unread.end(),
                        [page](const std::string& n) { return ReadsIn(n, page); })) {
            reads = page;
            break;
        }
    const bool one = unread.size() == 1;
    const std::string verb = one ? "does" : "do";
    const std::string said = std::to_string(unread.size()) + (one ? " name (" : " names (") +
                             unread.front() + (one ? ") " : ", ...) ") + verb +
                             " not read as code page " + std::to_string(r.codePage) + " text";
    Add(r.folderFindings, "names-code-page", Severity::Note, "", 0,
        reads ? said + " but " + verb + " as code page " + std::to_string(reads) +
                    ": check again with --codepage " + std::to_string(reads)
              : said + ", nor as any other code page the checker knows");
}

} // namespace check
