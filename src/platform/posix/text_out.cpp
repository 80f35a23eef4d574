// Text for a person on POSIX: iconv turns the game's code page into UTF-8; a terminal
// takes UTF-8 as it is, so the report always goes to the standard output as bytes.
#include <iconv.h>

#include <string>

#include "platform/text_out.h"

namespace platform {

size_t CodePageToUtf8(uint32_t codePage, const char* text, size_t length, char* out,
                      size_t outSize) {
    const std::string from = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    std::string in(text, length);
    char* source = in.data();
    size_t left = in.size();
    char* target = out;
    size_t room = outSize;
    const bool whole = iconv(cd, &source, &left, &target, &room) != static_cast<size_t>(-1) &&
                       left == 0 &&
                       iconv(cd, nullptr, nullptr, &target, &room) != static_cast<size_t>(-1);
    iconv_close(cd);
    return whole ? outSize - room : 0;
}

bool WriteToConsole(const char*, size_t) {
    return false;
}

} // namespace platform
