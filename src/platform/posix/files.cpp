// Files and directory search on POSIX, for the game-folder checker: the game's names are
// found the way Windows finds them (see posix.h). The checker only reads: every call
// that would change the disk fails with ERROR_WRITE_PROTECT and changes nothing.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/names.h"
#include "platform/posix/posix.h"
#include "platform/system.h"

namespace platform::posix {
namespace {

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorWriteProtect = 19;

// An open file or a directory search; a Handle points to one.
struct Object {
    enum class Kind { File, Search } kind;
    int fd = -1;
    std::vector<std::string> names; // a search's matches, in the order they are given
    size_t next = 0;
};

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const size_t n = b < 0x80         ? 1
                         : (b >> 5) == 6  ? 2
                         : (b >> 4) == 14 ? 3
                         : (b >> 3) == 30 ? 4
                                          : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

// The names in a folder, as the machine has them; "." and ".." in any folder but the
// root, as Windows lists them.
std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.empty() ? "." : path.c_str());
    if (!dir) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if ((name == "." || name == "..") && path == "/") continue;
        names.push_back(name);
    }
    closedir(dir);
    return names;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A name in capitals, as Windows compares names: its characters, read from the encoding
// `from` ("UTF-8" for the machine's names, the game's code page for the game's), each
// upper-cased; a name that does not read as such keeps its bytes, ASCII letters raised
// outside the game's double-byte characters.
std::wstring Capitals(const std::string& name, const std::string& from) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    std::wstring out(name.size() + 1, L'\0');
    iconv_t cd = iconv_open("WCHAR_T", from.c_str());
    bool ok = cd != reinterpret_cast<iconv_t>(-1);
    if (ok) {
        std::string in = name;
        char* source = in.data();
        size_t left = in.size();
        char* target = reinterpret_cast<char*>(out.data());
        size_t room = out.size() * sizeof(wchar_t);
        ok = iconv(cd, &source, &left, &target, &room) != static_cast<size_t>(-1) && left == 0;
        out.resize(out.size() - room / sizeof(wchar_t));
        iconv_close(cd);
    }
    if (!ok) {
        out.clear();
        for (char c : NameInCapitals(name))
            out += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return out;
    }
    for (wchar_t& c : out)
        c = unicode ? towupper_l(static_cast<wint_t>(c), unicode)
                    : static_cast<wchar_t>(AsciiCapital(static_cast<char>(c)));
    return out;
}

// The machine's name in `folder` that the game's `part` names, or an empty text.
std::string Lookup(const std::string& folder, const std::string& part) {
    struct stat st {};
    if (lstat(Join(folder, part).c_str(), &st) == 0) return part; // as written
    const std::wstring wanted = Capitals(part, "CP" + std::to_string(NameCodePage()));
    for (const std::string& name : ListFolder(folder))
        if (SameName(name, part) || Capitals(name, "UTF-8") == wanted) return name;
    return {};
}

// Splits a name into its parts with Windows' rules: "." and ".." step before anything
// is looked up, empty parts go, the last part loses trailing blanks and dots and a
// folder part one final dot. The name is cut between characters of the game's code page.
std::vector<std::string> Parts(std::string_view name) {
    std::vector<std::string_view> pieces; // from the last
    for (size_t cut; (cut = LastSeparator(name)) != name.npos; name = name.substr(0, cut))
        pieces.push_back(name.substr(cut + 1));
    pieces.push_back(name);
    std::vector<std::string> parts;
    for (size_t k = pieces.size(); k-- > 0;) {
        std::string part(pieces[k]);
        const bool last = k == 0;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            if (last) {
                while (!part.empty() && (part.back() == ' ' || part.back() == '.'))
                    part.pop_back();
            } else if (part.back() == '.') {
                part.pop_back();
            }
            if (!part.empty()) parts.push_back(part);
        }
    }
    return parts;
}

Object* AsObject(Handle h) {
    return static_cast<Object*>(h);
}

bool Refuse() {
    SetError(kErrorWriteProtect);
    return false;
}
Handle RefuseHandle() {
    Refuse();
    return nullptr;
}

} // namespace

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && NameInCapitals(a) == NameInCapitals(b);
}

std::string ToGameName(const std::string& machineName) {
    const bool ascii = std::all_of(machineName.begin(), machineName.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || !ValidUtf8(machineName)) return machineName;
    const std::string codePage = "CP" + std::to_string(NameCodePage());
    iconv_t cd = iconv_open(codePage.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return machineName;
    std::string out;
    std::string in = machineName;
    char* from = in.data();
    size_t left = in.size();
    char buffer[8];
    while (left > 0) {
        char* to = buffer;
        size_t room = sizeof buffer;
        const size_t done = iconv(cd, &from, &left, &to, &room);
        out.append(buffer, static_cast<size_t>(to - buffer));
        if (done == static_cast<size_t>(-1) && errno == EILSEQ) {
            // A character the code page lacks: Windows gives '?'; skip its bytes.
            out += '?';
            do {
                ++from;
                --left;
            } while (left > 0 && (static_cast<unsigned char>(*from) >> 6) == 2);
        } else if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return out;
}

Found Find(std::string_view name) {
    // A drive is none of this machine's; a name of blanks names nothing.
    if (name.size() >= 2 && name[1] == ':') return {std::string(name), false, false, false};
    if (name.find_first_not_of(' ') == std::string_view::npos) return {"", false, true, false};
    const bool fromRoot = !name.empty() && (name[0] == '\\' || name[0] == '/');
    const std::vector<std::string> parts = Parts(name);
    std::string path = fromRoot ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string machine = Lookup(path, parts[i]);
        const bool last = i + 1 == parts.size();
        if (machine.empty()) {
            for (size_t k = i; k < parts.size(); ++k)
                path = Join(path, parts[k]);
            return {path, false, last, false};
        }
        path = Join(path, machine);
        if (!last && !IsFolder(path)) {
            for (size_t k = i + 1; k < parts.size(); ++k)
                path = Join(path, parts[k]);
            return {path, false, false, false};
        }
    }
    if (path.empty()) path = ".";
    const bool folder = IsFolder(path);
    // A name that ends with a separator names a folder.
    if (!folder && LastSeparator(name) == name.size() - 1) return {path, false, false, false};
    return {path, true, true, folder};
}

} // namespace platform::posix

using platform::posix::Object;

namespace platform {

Handle OpenFileForRead(const char* path) {
    const posix::Found found = posix::Find(path);
    if (!found.exists) {
        posix::SetError(found.folders ? kErrorFileNotFound : kErrorPathNotFound);
        return nullptr;
    }
    const int fd = found.folder ? -1 : open(found.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        posix::SetError(posix::kErrorAccessDenied);
        return nullptr;
    }
    return new Object{Object::Kind::File, fd, {}, 0};
}

Handle OpenFileForReadWrite(const char*, unsigned) {
    return posix::RefuseHandle();
}
Handle CreateNewFile(const char*) {
    return posix::RefuseHandle();
}

bool SeekFile(Handle file, uint32_t offset) {
    return lseek(posix::AsObject(file)->fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

uint64_t GetFileSize(Handle file) {
    struct stat st {};
    if (fstat(posix::AsObject(file)->fd, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool ReadFile(Handle file, void* buffer, uint32_t bytes, uint32_t* read) {
    uint32_t done = 0;
    while (done < bytes) {
        const ssize_t n =
            ::read(posix::AsObject(file)->fd, static_cast<char*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *read = done;
            return n == 0;
        }
        done += static_cast<uint32_t>(n);
    }
    *read = done;
    return true;
}

bool WriteFile(Handle, const void*, uint32_t, uint32_t* written) {
    *written = 0;
    return posix::Refuse();
}
bool FlushFile(Handle) {
    return posix::Refuse();
}
bool ReplaceFileWith(const char*, const char*) {
    return posix::Refuse();
}
bool MoveFileNoReplace(const char*, const char*) {
    return posix::Refuse();
}
bool CopyFileNoOverwrite(const char*, const char*) {
    return posix::Refuse();
}
bool RemoveFile(const char*) {
    return posix::Refuse();
}

bool FileExists(const char* path) {
    const posix::Found found = posix::Find(path);
    if (!found.exists) posix::SetError(found.folders ? kErrorFileNotFound : kErrorPathNotFound);
    return found.exists;
}

bool IsFolder(const char* path) {
    const posix::Found found = posix::Find(path);
    return found.exists && found.folder;
}

Handle FindFirst(const char* pattern, char (&name)[kMaxPath]) {
    const std::string_view whole(pattern);
    const size_t cut = LastSeparator(whole);
    const std::string folder(cut == std::string_view::npos ? "." : whole.substr(0, cut + 1));
    std::string wildcards(cut == std::string_view::npos ? whole : whole.substr(cut + 1));
    if (wildcards == "*.*") wildcards = "*";
    const posix::Found found = posix::Find(folder);
    if (!found.exists) {
        // A file where a folder should be: Wine answers ERROR_INVALID_NAME.
        constexpr uint32_t kErrorInvalidName = 123;
        posix::SetError(posix::Find(found.path).exists ? kErrorInvalidName : kErrorPathNotFound);
        return nullptr;
    }
    auto* search = new Object{Object::Kind::Search, -1, {}, 0};
    for (const std::string& machine : posix::ListFolder(found.path)) {
        const std::string game = posix::ToGameName(machine);
        if (WildcardsMatch(wildcards, game)) search->names.push_back(game);
    }
    // In the order Windows' file systems keep names: by their capitals.
    std::sort(search->names.begin(), search->names.end(),
              [](const std::string& a, const std::string& b) {
                  const std::string x = NameInCapitals(a), y = NameInCapitals(b);
                  return std::lexicographical_compare(
                      x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
                          return static_cast<unsigned char>(p) < static_cast<unsigned char>(q);
                      });
              });
    if (search->names.empty()) {
        delete search;
        posix::SetError(kErrorFileNotFound);
        return nullptr;
    }
    if (!FindNext(search, name)) {
        delete search;
        return nullptr;
    }
    return search;
}

bool FindNext(Handle search, char (&name)[kMaxPath]) {
    Object* s = posix::AsObject(search);
    if (s->next >= s->names.size()) {
        posix::SetError(kErrorNoMoreFiles);
        return false;
    }
    std::memset(name, 0, sizeof name);
    std::memcpy(name, s->names[s->next].data(), std::min(s->names[s->next].size(), kMaxPath - 1));
    ++s->next;
    return true;
}

void FindClose(Handle search) {
    delete posix::AsObject(search);
}

void CloseObject(Handle h) {
    Object* object = posix::AsObject(h);
    if (object && object->fd >= 0) close(object->fd);
    delete object;
}

} // namespace platform
