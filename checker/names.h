// The game's names as a person reads them: every text the checker takes from the game
// folder is in the game's code page, and the report is UTF-8.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace check {

struct Report;

// One character of a game's text: its bytes, and the same in UTF-8, empty when they do
// not read as a character of the code page. A lead byte whose character does not read is
// a piece of its own, so that the byte after it is read again.
struct Character {
    std::string_view bytes;
    std::string utf8;
};
std::vector<Character> Characters(std::string_view text, uint32_t codePage);

// The text in UTF-8, each byte that does not read shown as \xNN.
std::string Readable(std::string_view text, uint32_t codePage);

// One note when names of the game folder do not read in the chosen code page, naming a
// code page that reads them.
void NoteCodePage(Report& report);

} // namespace check
