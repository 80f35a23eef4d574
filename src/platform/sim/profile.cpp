// Simulated private-profile (INI) functions over the in-memory files, with the
// platform's rules: a bare file name lives in the Windows folder, a name with a folder
// part resolves against the current folder; section and key names ignore case; values
// are trimmed of surrounding blanks and of one pair of enclosing quotes; an integer is
// an optional sign and decimal digits after leading blanks. A write replaces only the
// one line it concerns and leaves every other byte of the file as it was.
#include <cstring>

#include "platform/names.h"
#include "platform/profile.h"
#include "platform/profile_text.h"
#include "platform/sim/world.h"

using namespace sim::detail;
using namespace platform::profile_text;

namespace {

std::string ProfilePath(const char* file) {
    const std::string name(file ? file : "win.ini");
    const bool hasFolder = platform::LastSeparator(name, "\\/:", NameLeadByte) != name.npos;
    return FullPath(hasFolder ? name : "C:\\WINDOWS\\" + name);
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
    return ProfileInt(value);
}

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* out, uint32_t size, const char* file) {
    SIM_LOCK();
    Record(std::string("GetPrivateProfileString ") + (section ? section : "null") + " " +
           (key ? key : "null"));
    std::string value;
    if (!ReadValue(section, key, file, &value)) value = DefaultText(defaultValue);
    return CopyValue(value, out, size);
}

uint32_t ReadProfileKeyNames(const char* section, char* out, uint32_t size, const char* file) {
    SIM_LOCK();
    Record(std::string("GetPrivateProfileString ") + (section ? section : "null") + " null");
    const FsEntry* entry = FindEntry(ProfilePath(file));
    const bool readable = entry && !entry->folder && section;
    return CopyNames(readable ? KeyNames(entry->data, section) : std::string(), out, size);
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
