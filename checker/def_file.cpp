// Definition files read as the game reads them.
#include "def_file.h"

#include "checker.h"

namespace check {

namespace {

// Calls `take(line, number)` for each line, whatever ends it.
template <typename Take> void ForEachLine(const std::string& text, Take take) {
    size_t at = 0;
    int number = 1;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        take(text.substr(at, end - at), number++);
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        at = end + 1;
    }
}

} // namespace

std::vector<DefKey> ReadDefinitions(const std::string& text) {
    std::vector<DefKey> keys;
    std::string section;
    ForEachLine(text, [&](std::string line, int number) {
        const size_t comment = line.find(';');
        if (comment != std::string::npos) line.resize(comment);
        line = Trimmed(line);
        if (line.empty()) return;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            section =
                Trimmed(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            return;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) return;
        keys.push_back(
            {section, Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)), number});
    });
    return keys;
}

std::vector<DefKey> SectionKeys(const std::vector<DefKey>& keys, const std::string& section) {
    std::vector<DefKey> found;
    for (const DefKey& k : keys)
        if (SameText(k.section, section)) found.push_back(k);
    return found;
}

const DefKey* FindKey(const std::vector<DefKey>& keys, const std::string& section,
                      const std::string& key) {
    for (const DefKey& k : keys)
        if (SameText(k.section, section) && SameText(k.key, key)) return &k;
    return nullptr;
}

std::string LineEnds(const std::string& text) {
    bool crlf = false, lf = false, cr = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            crlf = true;
            ++i;
        } else if (text[i] == '\r') {
            cr = true;
        } else if (text[i] == '\n') {
            lf = true;
        }
    }
    const int kinds = crlf + lf + cr;
    if (kinds > 1) return "mixed";
    return crlf ? "CR LF" : lf ? "LF" : cr ? "CR" : "none";
}

} // namespace check
