// Text for a person: the game's names turned into UTF-8, and the report written to the
// console. Only the game-folder checker uses these; the module never does.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// The characters `text[0..length)` of code page `codePage` as UTF-8 in `out`
// (MultiByteToWideChar with MB_ERR_INVALID_CHARS, then to UTF-8). Returns the bytes
// written, not terminated; 0 when the bytes are not whole, valid characters of that code
// page or `out` is too small.
size_t CodePageToUtf8(uint32_t codePage, const char* text, size_t length, char* out,
                      size_t outSize);

// Writes UTF-8 text to the standard output when it is a console (as wide characters, so
// that the console shows them whatever its code page); false, with nothing written, when
// the standard output is not a console.
bool WriteToConsole(const char* utf8, size_t length);

} // namespace platform
