// Simulated private-profile (INI) functions over the in-memory files, with the
// platform's rules: a bare file name lives in the Windows folder, a name with a folder
// part resolves against the current folder; section and key names ignore case; values
// are trimmed of surrounding blanks and of one pair of enclosing quotes; an integer is
// an optional sign and decimal digits after leading blanks. A write replaces only the
// one line it concerns and leaves every other byte of the file as it was.
#include <cstring>

#include "platform/profile.h"
#include "platform/sim/world.h"

using namespace sim::detail;

namespace {

std::string ProfilePath(const char* file) {
    const std::string name(file ? file : "win.ini");
    const bool hasFolder = name.find_first_of("\\/:") != std::string::npos;
    return FullPath(hasFolder ? name : "C:\\WINDOWS\\" + name);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

bool SameName(std::string_view a, std::string_view b) {
    return Key(a) == Key(b);
}

struct Line {
    size_t begin, end, next; // text [begin, end), next line at `next`
};

std::vector<Line> SplitLines(const std::string& data) {
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
bool SectionName(std::string_view line, std::string* name) {
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

Found Locate(const std::string& data, const std::vector<Line>& lines, const char* section,
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

// The key's value, or false when the file, the section or the key is missing.
bool ReadValue(const char* section, const char* key, const char* file, std::string* value) {
    const FsEntry* entry = FindEntry(ProfilePath(file));
    if (!entry || entry->folder || !section || !key) return false;
    const Found f = Locate(entry->data, SplitLines(entry->data), section, key);
    if (!f.key) return false;
    *value = f.value;
    return true;
}

} // namespace

namespace platform {

int ReadProfileInt(const char* section, const char* key, int defaultValue, const char* file) {
    SIM_LOCK();
    Record(std::string("GetPrivateProfileInt ") + (section ? section : "null") + " " +
           (key ? key : "null"));
    std::string value;
    if (!ReadValue(section, key, file, &value) || value.empty()) return defaultValue;
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

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* out, uint32_t size, const char* file) {
    SIM_LOCK();
    Record(std::string("GetPrivateProfileString ") + (section ? section : "null") + " " +
           (key ? key : "null"));
    if (size == 0) return 0;
    std::string value;
    if (!ReadValue(section, key, file, &value)) {
        value = defaultValue ? defaultValue : "";
        while (!value.empty() && value.back() == ' ')
            value.pop_back();
    }
    const uint32_t n = value.size() < size ? static_cast<uint32_t>(value.size()) : size - 1;
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
}

bool WriteProfileValue(const char* section, const char* key, const char* value, const char* file) {
    SIM_LOCK();
    Record(std::string("WritePrivateProfileString ") + (section ? section : "null") + " " +
           (key ? key : "null") + " " + (value ? value : "null"));
    if (!section) return false;
    const std::string path = ProfilePath(file);
    FsEntry* entry = FindEntry(path);
    if (entry && (entry->folder || entry->readOnly)) {
        W().lastError = sim::kErrorAccessDenied;
        return false;
    }
    if (entry && FileIsOpen(Key(entry->path))) {
        W().lastError = sim::kErrorSharingViolation;
        return false;
    }
    if (!entry) {
        if (!key || !value) return true; // nothing to delete
        if (!FolderExists(ParentOf(path))) {
            W().lastError = kErrorPathNotFound;
            return false;
        }
        entry = &CreateFileEntry(path);
    }
    std::string& data = entry->data;
    const std::vector<Line> lines = SplitLines(data);
    const Found f = Locate(data, lines, section, key);
    if (!key) { // delete the whole section
        if (!f.section) return true;
        const size_t begin = lines[f.sectionLine].begin;
        size_t end = data.size();
        for (size_t i = f.sectionLine + 1; i < lines.size(); ++i) {
            std::string name;
            if (SectionName(
                    std::string_view(data).substr(lines[i].begin, lines[i].end - lines[i].begin),
                    &name)) {
                end = lines[i].begin;
                break;
            }
        }
        data.erase(begin, end - begin);
        return true;
    }
    if (!value) { // delete the key
        if (f.key)
            data.erase(lines[f.keyLine].begin, lines[f.keyLine].next - lines[f.keyLine].begin);
        return true;
    }
    if (f.key) {
        const Line& l = lines[f.keyLine];
        data.replace(l.begin, l.end - l.begin, f.keyText + "=" + value);
        return true;
    }
    if (f.section) {
        const Line& l = lines[f.lastLineOfSection];
        std::string insert = std::string(key) + "=" + value + "\r\n";
        if (l.next == l.end) insert = "\r\n" + insert; // the file's last line had no end
        data.insert(l.next, insert);
        return true;
    }
    if (!data.empty() && data.back() != '\n') data += "\r\n";
    data += "[" + std::string(section) + "]\r\n" + key + "=" + value + "\r\n";
    return true;
}

} // namespace platform
