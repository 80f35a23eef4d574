// How the platform reads a private-profile (INI) text: lines end at LF (a CR before it
// goes too); a section head is a line whose first non-blank is '[', named up to its ']';
// only the first section of a name counts; a key line holds an '=', its name and value
// trimmed of blanks and the value of one pair of enclosing quotes; names ignore case;
// an integer is an optional sign and decimal digits after leading blanks. Shared by the
// simulated and the POSIX back-ends, which keep the text in memory or on disk.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace platform::profile_text {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

inline std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

inline bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
        const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

struct Line {
    size_t begin, end, next; // text [begin, end), next line at `next`
};

inline std::vector<Line> SplitLines(const std::string& data) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t nl = data.find('\n', pos);
        const size_t next = nl == std::string::npos ? data.size() : nl + 1;
        size_t end = nl == std::string::npos ? data.size() : nl;
        if (end > pos && data[end - 1] == '\r') --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

// The section name when the line is a section head.
inline bool SectionName(std::string_view line, std::string* name) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] != '[') return false;
    const size_t close = t.find(']');
    *name =
        Trim(std::string_view(t).substr(1, (close == std::string::npos ? t.size() : close) - 1));
    return true;
}

struct Found {
    bool section = false;
    size_t sectionLine = 0;
    size_t lastLineOfSection = 0; // last key line, or the head
    bool key = false;
    size_t keyLine = 0;
    std::string keyText, value;
};

inline Found Locate(const std::string& data, const std::vector<Line>& lines, const char* section,
                    const char* key) {
    Found f;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text(data.data() + lines[i].begin, lines[i].end - lines[i].begin);
        std::string name;
        if (SectionName(text, &name)) {
            if (inSection) break; // only the first section of that name counts
            if (SameName(name, section)) {
                inSection = f.section = true;
                f.sectionLine = f.lastLineOfSection = i;
            }
            continue;
        }
        if (!inSection) continue;
        const size_t eq = text.find('=');
        if (eq == std::string_view::npos) continue;
        if (!Trim(text).empty()) f.lastLineOfSection = i;
        const std::string k = Trim(text.substr(0, eq));
        if (!f.key && key && SameName(k, key)) {
            f.key = true;
            f.keyLine = i;
            f.keyText = k;
            f.value = Trim(text.substr(eq + 1));
            if (f.value.size() >= 2 && (f.value[0] == '"' || f.value[0] == '\'') &&
                f.value.back() == f.value[0])
                f.value = f.value.substr(1, f.value.size() - 2);
        }
    }
    return f;
}

// GetPrivateProfileInt's reading of a value that is not empty.
inline int ProfileInt(std::string_view value) {
    size_t i = 0;
    while (i < value.size() && IsBlank(value[i]))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    uint32_t n = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        n = n * 10u + static_cast<uint32_t>(value[i] - '0');
    if (negative) n = 0u - n;
    return static_cast<int>(n);
}

// GetPrivateProfileString's answer when the key is missing: the default less its
// trailing spaces.
inline std::string DefaultText(const char* defaultValue) {
    std::string value = defaultValue ? defaultValue : "";
    while (!value.empty() && value.back() == ' ')
        value.pop_back();
    return value;
}

// Copies a value as GetPrivateProfileString does: cut to fit, always ended.
inline uint32_t CopyValue(const std::string& value, char* out, uint32_t size) {
    if (size == 0) return 0;
    const uint32_t n = value.size() < size ? static_cast<uint32_t>(value.size()) : size - 1;
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
}

// The names of a section's keys (comments, names starting with ';', left out), each
// ended by a zero.
inline std::string KeyNames(const std::string& data, const char* section) {
    std::string names;
    bool inSection = false;
    for (const Line& line : SplitLines(data)) {
        const std::string_view text(data.data() + line.begin, line.end - line.begin);
        std::string name;
        if (SectionName(text, &name)) {
            if (inSection) break;
            inSection = SameName(name, section);
            continue;
        }
        const size_t eq = text.find('=');
        if (!inSection || eq == std::string_view::npos) continue;
        const std::string key = Trim(text.substr(0, eq));
        if (!key.empty() && key[0] != ';') names += key + '\0';
    }
    return names;
}

// Copies a list of zero-ended names and its final zero; a list that does not fit is
// cut, its last name ended early, and the result is then size - 2, as the platform
// answers.
inline uint32_t CopyNames(std::string names, char* out, uint32_t size) {
    if (size < 2) {
        if (size == 1) out[0] = '\0';
        return 0;
    }
    const bool cut = names.size() + 1 > size;
    if (cut) names.resize(size - 1);
    if (cut) names[size - 2] = '\0';
    std::memcpy(out, names.data(), names.size());
    out[names.size()] = '\0';
    return cut ? size - 2 : static_cast<uint32_t>(names.size());
}

} // namespace platform::profile_text
