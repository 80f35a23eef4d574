// Names read as Windows reads them in an ANSI code page: character by character, where a
// lead byte and the byte after it make one character. That second byte may have the
// value of '\' (0x5C, as in "\x95\x5C") or of a letter (as in "\x83\x61"): it is then
// neither a separator nor a letter. Every place that cuts a name at a separator or
// ignores the case of its letters reads it through these.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace platform {

// Says whether a byte is a lead byte. IsDbcsLeadByte answers for the code page in use;
// a back-end may pass its own rule for the names it keeps.
using LeadByteTest = bool (*)(uint8_t byte);

// The length in bytes of the character at `i` of `name`: 2 for a lead byte with a byte
// after it, else 1.
inline size_t CharLength(std::string_view name, size_t i, LeadByteTest isLead = IsDbcsLeadByte) {
    return i + 1 < name.size() && isLead(static_cast<uint8_t>(name[i])) ? 2 : 1;
}

// Where a name is cut into its folder and its last part: the index of the last character
// of `name` that is one of `separators`, npos when there is none.
inline size_t LastSeparator(std::string_view name, std::string_view separators = "\\/",
                            LeadByteTest isLead = IsDbcsLeadByte) {
    size_t last = std::string_view::npos;
    for (size_t i = 0; i < name.size(); i += CharLength(name, i, isLead))
        if (separators.find(name[i]) != std::string_view::npos) last = i;
    return last;
}

inline char AsciiCapital(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The name with its ASCII letters in capitals, as names are compared when letter case
// is ignored; both bytes of a double-byte character stay as they are.
inline std::string NameInCapitals(std::string_view name, LeadByteTest isLead = IsDbcsLeadByte) {
    std::string out(name);
    for (size_t i = 0; i < out.size(); i += CharLength(out, i, isLead))
        out[i] = AsciiCapital(out[i]);
    return out;
}

// Windows' wildcards: '*' any run of characters, '?' any one character (a double-byte
// one too); letters in any case.
inline bool WildcardsMatch(std::string_view pattern, std::string_view name,
                           LeadByteTest isLead = IsDbcsLeadByte) {
    if (pattern.empty()) return name.empty();
    if (pattern[0] == '*') {
        for (size_t n = 0;; n += CharLength(name, n, isLead)) {
            if (WildcardsMatch(pattern.substr(1), name.substr(n), isLead)) return true;
            if (n == name.size()) return false;
        }
    }
    if (name.empty()) return false;
    const size_t p = CharLength(pattern, 0, isLead), n = CharLength(name, 0, isLead);
    const bool same = p == 2 ? n == 2 && pattern.substr(0, 2) == name.substr(0, 2)
                             : n == 1 && AsciiCapital(pattern[0]) == AsciiCapital(name[0]);
    if (pattern[0] != '?' && !same) return false;
    return WildcardsMatch(pattern.substr(p), name.substr(n), isLead);
}

} // namespace platform
