#include "log.h"

#include <windows.h>

namespace host {

namespace {

HANDLE g_out = INVALID_HANDLE_VALUE;

const char k_digits[] = "0123456789abcdef";

void append_hex_byte(std::string& out, unsigned char byte) {
    out += "\\x";
    out += k_digits[byte >> 4];
    out += k_digits[byte & 15];
}

void write_line(std::string_view event) {
    if (g_out == INVALID_HANDLE_VALUE || g_out == nullptr) return;
    std::string line = std::to_string(unix_ms());
    line += ' ';
    line += event;
    line += '\n';
    // One WriteFile per line, and no lock: a thread of the process may be stopped from outside
    // at any point (the plug-in freezes the window thread), and must not keep the others from
    // logging. Nothing is buffered, a reader sees whole lines.
    DWORD written = 0;
    WriteFile(g_out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace

bool log_open(const std::string& path) {
    if (path.empty()) {
        g_out = GetStdHandle(STD_OUTPUT_HANDLE);
        return true;
    }
    // Appending: each write lands whole at the end, whichever thread makes it.
    g_out = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_out != INVALID_HANDLE_VALUE;
}

void log_event(std::string_view event) {
    write_line(event);
}

void log_event_unlocked(std::string_view event) {
    write_line(event);
}

unsigned long long unix_us() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    // FILETIME counts 100 ns steps since 1601-01-01.
    return (t.QuadPart - 116444736000000000ULL) / 10ULL;
}

unsigned long long unix_ms() {
    return unix_us() / 1000ULL;
}

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 32 || byte > 126) {
            append_hex_byte(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    out += escape(text);
    out += '"';
    return out;
}

std::string escape_controls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 32) {
            append_hex_byte(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

std::string hex(unsigned long long value) {
    if (value == 0) return "0x0";
    std::string digits;
    while (value != 0) {
        digits.insert(digits.begin(), k_digits[value & 15]);
        value >>= 4;
    }
    return "0x" + digits;
}

} // namespace host
