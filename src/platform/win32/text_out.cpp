// Text for a person on Windows: names through UTF-16 into UTF-8, and the report to a
// console as wide characters (WriteFile of UTF-8 bytes would be read in the console's own
// code page, 437 or 850 on most machines).
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/text_out.h"

namespace platform {

size_t CodePageToUtf8(uint32_t codePage, const char* text, size_t length, char* out,
                      size_t outSize) {
    if (length == 0 || length > INT32_MAX / 2 || outSize > INT32_MAX) return 0;
    const int chars = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text,
                                            static_cast<int>(length), nullptr, 0);
    if (chars <= 0) return 0;
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, static_cast<int>(length),
                          wide.data(), chars);
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), chars, out,
                                            static_cast<int>(outSize), nullptr, nullptr);
    return bytes > 0 ? static_cast<size_t>(bytes) : 0;
}

bool WriteToConsole(const char* utf8, size_t length) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !out || !::GetConsoleMode(out, &mode)) return false;
    if (length == 0) return true;
    if (length > INT32_MAX) return false;
    const int chars = ::MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(length), nullptr, 0);
    std::wstring wide(static_cast<size_t>(chars > 0 ? chars : 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(length), wide.data(), chars);
    // In pieces: old consoles refuse a single write of more than about 64 KB.
    for (size_t at = 0; at < wide.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
        DWORD written = 0;
        if (!::WriteConsoleW(out, wide.data() + at, piece, &written, nullptr) || written == 0)
            return at > 0; // what was written stays written
        at += written;
    }
    return true;
}

} // namespace platform
