// Definition files (stages, the motif, the game's configuration) read as the game reads
// them: "[section]" heads, "key = value" lines, ';' comments to the end of the line, lines
// ended by CR LF, LF or CR alike, section and key names in any letter case.
#pragma once
#include <string>
#include <vector>

namespace check {

struct DefKey {
    std::string section; // as written, without the brackets
    std::string key;     // as written
    std::string value;   // blanks around it and the comment after it left out
    int line;            // 1 and up
};

std::vector<DefKey> ReadDefinitions(const std::string& text);

// The keys of `section` (any letter case), in the file's order; a section written twice
// counts as one.
std::vector<DefKey> SectionKeys(const std::vector<DefKey>& keys, const std::string& section);

// The first key named `key` in `section` (names in any letter case); null when absent.
const DefKey* FindKey(const std::vector<DefKey>& keys, const std::string& section,
                      const std::string& key);

// The line ends the text uses: "CR LF", "LF", "CR", "mixed" or "none".
std::string LineEnds(const std::string& text);

} // namespace check
