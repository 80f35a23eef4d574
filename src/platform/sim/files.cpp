// Simulated files and directory search: an in-memory file system with Windows' path
// rules (case ignored, '/' taken as '\', relative names against the current folder, names
// read character by character in the system's code page), sharing modes, injectable write
// failures and FindFirstFile's matching and error codes.
#include <algorithm>
#include <map>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/names.h"
#include "platform/sim/world.h"

using namespace sim::detail;

namespace sim::detail {

bool NameLeadByte(uint8_t byte) {
    return W().codePage932 && platform::LeadByteIn(932, byte);
}

namespace {
// The parts of a name between its backslashes, in order.
std::vector<std::string> Split(std::string_view name) {
    std::vector<std::string> parts;
    for (size_t cut; (cut = platform::LastSeparator(name, "\\", NameLeadByte)) != name.npos;
         name = name.substr(0, cut))
        parts.emplace_back(name.substr(cut + 1));
    parts.emplace_back(name);
    std::reverse(parts.begin(), parts.end());
    return parts;
}
} // namespace

std::string FullPath(std::string_view path) {
    std::string s(path);
    // No code page has '/' as the second byte of a character.
    std::replace(s.begin(), s.end(), '/', '\\');
    const std::string& cur = W().currentDir;
    std::string root, rest;
    if (s.size() >= 2 && s[1] == ':') {
        root = s.substr(0, 2);
        rest = s.substr(2);
        if (rest.empty() || rest[0] != '\\') { // drive-relative
            const bool sameDrive = Key(root) == Key(cur.substr(0, 2));
            rest = (sameDrive ? cur.substr(2) : std::string()) + "\\" + rest;
        }
    } else if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
        // \\server\share is the root: the parts "", "", server and share.
        const std::vector<std::string> unc = Split(s);
        root = s;
        if (unc.size() > 4) {
            root = "\\\\" + unc[2] + "\\" + unc[3];
            rest = s.substr(root.size());
        }
    } else if (!s.empty() && s[0] == '\\') {
        root = cur.substr(0, 2);
        rest = s;
    } else {
        root = cur.substr(0, 2);
        rest = cur.substr(2) + "\\" + s;
    }
    std::vector<std::string> parts;
    for (std::string& part : Split(rest)) {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
    }
    std::string full = root;
    for (const auto& part : parts)
        full += "\\" + part;
    if (parts.empty()) full += "\\";
    return full;
}

std::string Key(std::string_view fullPath) {
    return platform::NameInCapitals(fullPath, NameLeadByte);
}

FsEntry* FindEntry(std::string_view fullPath) {
    const std::string key = Key(fullPath);
    for (auto& entry : W().fs)
        if (Key(entry.path) == key) return &entry;
    return nullptr;
}

bool FolderExists(std::string_view fullPath) {
    const FsEntry* entry = FindEntry(fullPath);
    return entry && entry->folder;
}

std::string ParentOf(const std::string& fullPath) {
    const size_t slash = platform::LastSeparator(fullPath, "\\", NameLeadByte);
    if (slash == std::string::npos) return fullPath;
    if (slash <= 2) return fullPath.substr(0, 3); // "C:\"
    return fullPath.substr(0, slash);
}

std::string NameOf(const std::string& fullPath) {
    const size_t slash = platform::LastSeparator(fullPath, "\\", NameLeadByte);
    return slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
}

bool FileIsOpen(const std::string& key) {
    for (const auto& o : W().kernelObjects)
        if (o->kind == KernelObject::Kind::File && o->open && o->fileKey == key) return true;
    return false;
}

namespace {
void AddFolders(const std::string& fullPath) {
    if (FindEntry(fullPath)) return;
    const std::string parent = ParentOf(fullPath);
    if (parent != fullPath) AddFolders(parent);
    W().fs.push_back({fullPath, true, false, {}, -1});
}
} // namespace

FsEntry& CreateFileEntry(const std::string& fullPath) {
    if (FsEntry* entry = FindEntry(fullPath)) return *entry;
    W().fs.push_back({fullPath, false, false, {}, -1});
    return W().fs.back();
}

namespace {
constexpr unsigned kShareAll =
    platform::kShareRead | platform::kShareWrite | platform::kShareDelete;

// Windows' sharing rule: a handle may be opened only when every open handle of the file
// shares the access it asks for, and it shares the access that each of them has.
bool SharingAllows(const std::string& key, bool read, bool write, bool del, unsigned share) {
    for (const auto& o : W().kernelObjects) {
        if (o->kind != KernelObject::Kind::File || !o->open || o->fileKey != key) continue;
        if ((read && !(o->share & platform::kShareRead)) ||
            (write && !(o->share & platform::kShareWrite)) ||
            (del && !(o->share & platform::kShareDelete)))
            return false;
        if ((o->canRead && !(share & platform::kShareRead)) ||
            (o->canWrite && !(share & platform::kShareWrite)))
            return false;
    }
    return true;
}

// Deleting or renaming a file opens it for delete access, sharing everything: it fails
// while a handle that does not share deletion is open.
bool DeletionAllowed(const std::string& key) {
    return SharingAllows(key, false, false, true, kShareAll);
}

// Why a name that is not there can't be opened.
uint32_t MissingError(const std::string& fullPath) {
    return FolderExists(ParentOf(fullPath)) ? platform::kErrorFileNotFound
                                            : platform::kErrorPathNotFound;
}
} // namespace

KernelObject* OpenSharedFile(const std::string& fullPath, bool read, bool write, unsigned share) {
    const std::string key = Key(fullPath);
    if (!SharingAllows(key, read, write, false, share)) {
        W().lastError = sim::kErrorSharingViolation;
        return nullptr;
    }
    KernelObject* file = NewKernelObject(KernelObject::Kind::File);
    file->fileKey = key;
    file->canRead = read;
    file->canWrite = write;
    file->share = share;
    return file;
}

void CloseFileObject(KernelObject* file) {
    if (file) file->open = false;
}

} // namespace sim::detail

namespace {

bool WildMatch(std::string_view pattern, std::string_view name) {
    return platform::WildcardsMatch(pattern, name, NameLeadByte);
}

// Windows' matching of a long name, without the 8.3 short-name matches: "*.*" also
// matches names without a dot, and a pattern ending in '.' matches names without one.
bool NameMatches(std::string_view pattern, std::string_view name) {
    if (WildMatch(pattern, name)) return true;
    const bool noDot = name.find('.') == std::string_view::npos;
    if (noDot && pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
        return WildMatch(pattern.substr(0, pattern.size() - 2), name);
    if (noDot && !pattern.empty() && pattern.back() == '.')
        return WildMatch(pattern.substr(0, pattern.size() - 1), name);
    return false;
}

// The entries of the folder with key `folderKey` (drives' roots are in none), from the
// index, made anew when the file system changed since.
const std::vector<std::pair<uint32_t, uint32_t>>& FolderEntries(const std::string& folderKey) {
    World& w = W();
    World::FolderIndex& index = w.folderIndex;
    if (index.changes != w.fsChanges || index.entries != w.fs.size() ||
        index.codePage932 != w.codePage932) {
        index.folders.clear();
        for (size_t at = 0; at < w.fs.size(); ++at) {
            const std::string& path = w.fs[at].path;
            if (path.size() <= 3) continue;
            const size_t slash = platform::LastSeparator(path, "\\", NameLeadByte);
            const uint32_t name = slash == std::string::npos ? 0 : static_cast<uint32_t>(slash + 1);
            index.folders[Key(ParentOf(path))].emplace_back(static_cast<uint32_t>(at), name);
        }
        index.changes = w.fsChanges;
        index.entries = w.fs.size();
        index.codePage932 = w.codePage932;
    }
    static const std::vector<std::pair<uint32_t, uint32_t>> kNone;
    const auto found = index.folders.find(folderKey);
    return found != index.folders.end() ? found->second : kNone;
}

// A found name into the caller's buffer, cut to fit.
void CopyName(char (&out)[platform::kMaxPath], const std::string& name) {
    const size_t n = std::min<size_t>(name.size(), platform::kMaxPath - 1);
    std::memcpy(out, name.data(), n);
    out[n] = '\0';
}

} // namespace

namespace platform {

Handle OpenFileForRead(const char* path) {
    SIM_LOCK();
    const std::string full = FullPath(path);
    Record(std::string("OpenFileForRead ") + path);
    FsEntry* entry = FindEntry(full);
    if (!entry || entry->folder) {
        W().lastError = entry ? sim::kErrorAccessDenied : MissingError(full);
        return nullptr;
    }
    KernelObject* file =
        OpenSharedFile(full, true, false, platform::kShareRead | platform::kShareWrite);
    if (file) W().lastError = 0;
    return file;
}

Handle OpenFileForReadWrite(const char* path, unsigned share) {
    SIM_LOCK();
    const std::string full = FullPath(path);
    Record(std::string("OpenFileForReadWrite ") + path + " " + std::to_string(share));
    FsEntry* entry = FindEntry(full);
    if (!entry) {
        W().lastError = MissingError(full);
        return nullptr;
    }
    if (entry->folder || entry->readOnly) {
        W().lastError = sim::kErrorAccessDenied;
        return nullptr;
    }
    KernelObject* file = OpenSharedFile(full, true, true, share);
    if (file) W().lastError = 0;
    return file;
}

Handle CreateNewFile(const char* path) {
    SIM_LOCK();
    const std::string full = FullPath(path);
    Record(std::string("CreateNewFile ") + path);
    if (FindEntry(full)) {
        W().lastError = kErrorFileExists;
        return nullptr;
    }
    if (!FolderExists(ParentOf(full))) {
        W().lastError = kErrorPathNotFound;
        return nullptr;
    }
    CreateFileEntry(full);
    W().lastError = 0;
    return OpenSharedFile(full, true, true, 0);
}

bool SeekFile(Handle file, uint32_t offset) {
    SIM_LOCK();
    KernelObject* f = UseKernelObject(file, KernelObject::Kind::File, "SetFilePointer");
    Record("SetFilePointer " + std::to_string(offset));
    if (!f) return false;
    f->position = offset; // past the end is allowed, as on Windows
    return true;
}

uint64_t GetFileSize(Handle file) {
    SIM_LOCK();
    KernelObject* f = UseKernelObject(file, KernelObject::Kind::File, "GetFileSize");
    if (!f) return 0;
    const FsEntry* entry = FindEntry(f->fileKey);
    if (!entry) return 0;
    return entry->reportedSize >= 0 ? static_cast<uint64_t>(entry->reportedSize)
                                    : entry->data.size();
}

bool ReadFile(Handle file, void* buffer, uint32_t bytes, uint32_t* read) {
    SIM_LOCK();
    KernelObject* f = UseKernelObject(file, KernelObject::Kind::File, "ReadFile");
    Record("ReadFile " + std::to_string(bytes));
    if (read) *read = 0;
    if (!f) return false;
    const FsEntry* entry = FindEntry(f->fileKey);
    const std::string& data = entry ? entry->data : std::string();
    const size_t start = std::min(f->position, data.size());
    const size_t n = std::min<size_t>(bytes, data.size() - start);
    if (n) std::memcpy(buffer, data.data() + start, n);
    f->position = start + n;
    if (read) *read = static_cast<uint32_t>(n);
    return true;
}

bool WriteFile(Handle file, const void* buffer, uint32_t bytes, uint32_t* written) {
    SIM_LOCK();
    KernelObject* f = UseKernelObject(file, KernelObject::Kind::File, "WriteFile");
    Record("WriteFile " + std::to_string(bytes));
    if (written) *written = 0;
    if (!f) return false;
    if (!f->canWrite) {
        W().lastError = sim::kErrorAccessDenied;
        return false;
    }
    FsEntry* entry = FindEntry(f->fileKey);
    if (!entry) return false;
    size_t n = bytes;
    bool full = false;
    World& w = W();
    if (w.writeBudget >= 0 && static_cast<int64_t>(n) > w.writeBudget) {
        n = static_cast<size_t>(w.writeBudget);
        full = true;
    }
    if (w.writeBudget >= 0) w.writeBudget -= static_cast<int64_t>(n);
    entry->reportedSize = -1;
    if (entry->data.size() < f->position + n) entry->data.resize(f->position + n);
    entry->data.replace(f->position, n, static_cast<const char*>(buffer), n);
    f->position += n;
    if (written) *written = static_cast<uint32_t>(n);
    if (full) {
        w.lastError = sim::kErrorDiskFull;
        return false;
    }
    return true;
}

bool FlushFile(Handle file) {
    SIM_LOCK();
    Record("FlushFileBuffers");
    KernelObject* f = UseKernelObject(file, KernelObject::Kind::File, "FlushFileBuffers");
    return f && f->canWrite;
}

namespace {
// MoveFileEx: renames `source`, replacing an existing target only when asked.
bool MoveFile(const char* source, const char* target, bool replace) {
    const std::string from = FullPath(source), to = FullPath(target);
    FsEntry* src = FindEntry(from);
    if (!src) {
        W().lastError = MissingError(from);
        return false;
    }
    if (!DeletionAllowed(Key(from))) {
        W().lastError = sim::kErrorSharingViolation;
        return false;
    }
    if (!FolderExists(ParentOf(to))) {
        W().lastError = kErrorPathNotFound;
        return false;
    }
    FsEntry* dst = FindEntry(to);
    if (dst && dst != src) {
        if (!replace) {
            W().lastError = kErrorAlreadyExists;
            return false;
        }
        // A target that any handle holds open is not replaced, whatever that handle
        // shares: Windows (NTFS) and Wine both answer ERROR_ACCESS_DENIED, measured under
        // Wine 8 with the target held for reading with and without FILE_SHARE_DELETE.
        if (dst->folder || dst->readOnly || FileIsOpen(Key(to))) {
            W().lastError = sim::kErrorAccessDenied;
            return false;
        }
    }
    // Handles of the source (they all share deletion) follow it to its new name.
    const std::string fromKey = Key(from), toKey = Key(to);
    for (const auto& o : W().kernelObjects)
        if (o->kind == KernelObject::Kind::File && o->open && o->fileKey == fromKey)
            o->fileKey = toKey;
    if (dst && dst != src) {
        dst->data = std::move(src->data);
        dst->reportedSize = src->reportedSize;
        auto& fs = W().fs;
        fs.erase(std::find_if(fs.begin(), fs.end(),
                              [&](const FsEntry& e) { return Key(e.path) == fromKey; }));
        ++W().fsChanges;
        return true;
    }
    src->path = to;
    ++W().fsChanges;
    return true;
}
} // namespace

bool ReplaceFileWith(const char* source, const char* target) {
    SIM_LOCK();
    Record(std::string("MoveFileEx ") + source + " " + target);
    return MoveFile(source, target, true);
}

bool MoveFileNoReplace(const char* source, const char* target) {
    SIM_LOCK();
    Record(std::string("MoveFileEx ") + source + " " + target + " noreplace");
    return MoveFile(source, target, false);
}

bool CopyFileNoOverwrite(const char* source, const char* target) {
    SIM_LOCK();
    Record(std::string("CopyFile ") + source + " " + target);
    const std::string from = FullPath(source), to = FullPath(target);
    const FsEntry* src = FindEntry(from);
    if (!src || src->folder) {
        W().lastError = src ? sim::kErrorAccessDenied : MissingError(from);
        return false;
    }
    // CopyFile reads the source sharing reading and writing (measured under Wine 8: a
    // source held for writing, sharing reading only, is copied).
    if (!SharingAllows(Key(from), true, false, false,
                       platform::kShareRead | platform::kShareWrite)) {
        W().lastError = sim::kErrorSharingViolation;
        return false;
    }
    if (!FolderExists(ParentOf(to))) {
        W().lastError = kErrorPathNotFound;
        return false;
    }
    if (FindEntry(to)) {
        W().lastError = kErrorFileExists;
        return false;
    }
    World& w = W();
    const std::string data = src->data; // the entry may move when the target is added
    const int64_t reportedSize = src->reportedSize;
    if (w.writeBudget >= 0 && static_cast<int64_t>(data.size()) > w.writeBudget) {
        w.writeBudget = 0; // the disk filled up; CopyFile removes the partial copy
        w.lastError = sim::kErrorDiskFull;
        return false;
    }
    if (w.writeBudget >= 0) w.writeBudget -= static_cast<int64_t>(data.size());
    FsEntry& copy = CreateFileEntry(to);
    copy.data = data;
    copy.reportedSize = reportedSize;
    w.lastError = 0;
    return true;
}

bool RemoveFile(const char* path) {
    SIM_LOCK();
    Record(std::string("DeleteFile ") + path);
    const std::string full = FullPath(path);
    FsEntry* entry = FindEntry(full);
    if (!entry || entry->folder) {
        W().lastError = entry ? sim::kErrorAccessDenied : MissingError(full);
        return false;
    }
    if (entry->readOnly) {
        W().lastError = sim::kErrorAccessDenied;
        return false;
    }
    // With every open handle sharing deletion the name goes at once (Windows 10's
    // POSIX-style deletion; older Windows kept it until the last handle closed).
    const std::string key = Key(full);
    if (!DeletionAllowed(key)) {
        W().lastError = sim::kErrorSharingViolation;
        return false;
    }
    for (const auto& o : W().kernelObjects) // handles left open no longer name the file
        if (o->kind == KernelObject::Kind::File && o->open && o->fileKey == key) o->fileKey.clear();
    auto& fs = W().fs;
    fs.erase(
        std::find_if(fs.begin(), fs.end(), [&](const FsEntry& e) { return Key(e.path) == key; }));
    ++W().fsChanges;
    return true;
}

bool FileExists(const char* path) {
    SIM_LOCK();
    Record(std::string("PathFileExists ") + path);
    return FindEntry(FullPath(path)) != nullptr;
}

bool IsFolder(const char* path) {
    SIM_LOCK();
    Record(std::string("GetFileAttributes ") + path);
    const FsEntry* entry = FindEntry(FullPath(path));
    return entry && entry->folder;
}

uint32_t GetLastError() {
    SIM_LOCK();
    return W().lastError;
}
void SetLastError(uint32_t code) {
    SIM_LOCK();
    W().lastError = code;
}

Handle FindFirst(const char* pattern, char (&name)[kMaxPath]) {
    SIM_LOCK();
    Record(std::string("FindFirstFile ") + pattern);
    const std::string full = FullPath(pattern);
    const std::string folder = ParentOf(full), mask = NameOf(full);
    if (!FolderExists(folder)) {
        W().lastError = kErrorPathNotFound;
        return nullptr;
    }
    std::vector<std::string> found;
    if (folder.size() > 3) { // every folder but a drive's root lists . and ..
        if (NameMatches(mask, ".")) found.push_back(".");
        if (NameMatches(mask, "..")) found.push_back("..");
    }
    const auto& entries = FolderEntries(Key(folder));
    found.reserve(found.size() + entries.size());
    for (const auto& [at, nameAt] : entries) {
        const std::string_view entryName = std::string_view(W().fs[at].path).substr(nameAt);
        if (NameMatches(mask, entryName)) found.emplace_back(entryName);
    }
    if (found.empty()) {
        W().lastError = kErrorFileNotFound;
        return nullptr;
    }
    KernelObject* search = NewKernelObject(KernelObject::Kind::Search);
    search->names = std::move(found);
    search->index = 1;
    search->endError = W().searchEndError ? W().searchEndError : kErrorNoMoreFiles;
    W().searchEndError = 0;
    CopyName(name, search->names[0]);
    W().lastError = 0;
    return search;
}

bool FindNext(Handle search, char (&name)[kMaxPath]) {
    SIM_LOCK();
    KernelObject* s = UseKernelObject(search, KernelObject::Kind::Search, "FindNextFile");
    Record("FindNextFile");
    if (!s) return false;
    if (s->index >= s->names.size()) {
        W().lastError = s->endError;
        return false;
    }
    CopyName(name, s->names[s->index++]);
    return true;
}

void FindClose(Handle search) {
    SIM_LOCK();
    Record("FindClose");
    if (KernelObject* s = UseKernelObject(search, KernelObject::Kind::Search, "FindClose"))
        s->open = false;
}

} // namespace platform

namespace sim {

void AddFile(std::string_view path, std::string_view contents) {
    SIM_LOCK();
    const std::string full = FullPath(path);
    AddFolders(ParentOf(full));
    FsEntry& file = CreateFileEntry(full);
    file.data = std::string(contents);
    file.reportedSize = -1;
}

void ReportFileSize(std::string_view path, uint64_t bytes) {
    SIM_LOCK();
    FsEntry* entry = FindEntry(FullPath(path));
    if (!entry || entry->folder) {
        Error("ReportFileSize of a missing file: " + std::string(path));
        return;
    }
    entry->reportedSize = static_cast<int64_t>(bytes);
}

void AddFolder(std::string_view path) {
    SIM_LOCK();
    AddFolders(FullPath(path));
}

bool HasFile(std::string_view path) {
    SIM_LOCK();
    const FsEntry* entry = FindEntry(FullPath(path));
    return entry && !entry->folder;
}

std::map<std::string, std::string> Files() {
    SIM_LOCK();
    std::map<std::string, std::string> files;
    for (const auto& entry : W().fs)
        if (!entry.folder) files[entry.path] = entry.data;
    return files;
}

std::string FileText(std::string_view path) {
    SIM_LOCK();
    const FsEntry* entry = FindEntry(FullPath(path));
    return entry && !entry->folder ? entry->data : std::string();
}

void RemoveFileOrFolder(std::string_view path) {
    SIM_LOCK();
    const std::string key = Key(FullPath(path));
    auto& fs = W().fs;
    fs.erase(std::remove_if(fs.begin(), fs.end(),
                            [&](const FsEntry& e) {
                                const std::string k = Key(e.path);
                                return k == key || k.rfind(key + "\\", 0) == 0;
                            }),
             fs.end());
    ++W().fsChanges;
}

std::vector<std::string> ListFolder(std::string_view folder) {
    SIM_LOCK();
    const std::string key = Key(FullPath(folder));
    std::vector<std::string> names;
    for (const auto& entry : W().fs)
        if (entry.path.size() > 3 && Key(ParentOf(entry.path)) == key)
            names.push_back(NameOf(entry.path));
    return names;
}

void FailWritesAfter(uint32_t bytes) {
    SIM_LOCK();
    W().writeBudget = bytes;
}

void SetReadOnly(std::string_view path, bool readOnly) {
    SIM_LOCK();
    if (FsEntry* entry = FindEntry(FullPath(path))) entry->readOnly = readOnly;
}

int OpenFileHandles() {
    SIM_LOCK();
    int n = 0;
    for (const auto& o : W().kernelObjects)
        n += (o->kind == KernelObject::Kind::File && o->open && !o->foreign) ? 1 : 0;
    return n;
}

platform::Handle HoldOpen(std::string_view path, unsigned shareFlags) {
    SIM_LOCK();
    const std::string full = FullPath(path);
    const FsEntry* entry = FindEntry(full);
    if (!entry || entry->folder) {
        Error("HoldOpen of a missing file: " + std::string(path));
        return nullptr;
    }
    KernelObject* file = OpenSharedFile(full, true, false, shareFlags);
    if (!file) {
        Error("HoldOpen refused by a handle already open: " + std::string(path));
        return nullptr;
    }
    file->foreign = true;
    return file;
}

void CloseHeld(platform::Handle token) {
    SIM_LOCK();
    for (const auto& o : W().kernelObjects)
        if (o.get() == token && o->kind == KernelObject::Kind::File && o->foreign && o->open) {
            o->open = false;
            return;
        }
    Error("CloseHeld of a file not held");
}

void SetSearchEndError(uint32_t code) {
    SIM_LOCK();
    W().searchEndError = code;
}

int OpenSearches() {
    SIM_LOCK();
    int n = 0;
    for (const auto& o : W().kernelObjects)
        n += (o->kind == KernelObject::Kind::Search && o->open) ? 1 : 0;
    return n;
}

} // namespace sim
