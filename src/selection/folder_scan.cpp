// Folder play: the music files beside a .rnd marker become an entry table. The scan only
// answers: its boxes and beeps are the caller's.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/files.h"
#include "platform/names.h"
#include "core/core.h"
#include "selection/selection.h"

namespace {

// The folder part of the request: cut at the last separator after the first byte,
// slashes after the first byte turned into backslashes. A name without one keeps its full
// text. The name is read character by character: the second byte of a double-byte
// character is never a separator (nor ever a slash).
void FolderOf(const char* request, char (&folder)[kNameSize]) {
    CopyText(folder, request, sizeof folder);
    const size_t cut = platform::LastSeparator(folder);
    if (cut != std::string_view::npos && cut >= 1) folder[cut] = '\0';
    const size_t length = std::strlen(folder);
    for (size_t i = 1; i < length; ++i)
        if (folder[i] == '/') folder[i] = '\\';
}

} // namespace

FolderScan FindMusic(const char* name, const char (&extensions)[3][32], bool keepNames) {
    FolderScan scan;
    FolderOf(name, scan.folder);
    const size_t folderLength = std::strlen(scan.folder);

    for (const char* extension : extensions) {
        if (extension[0] == '\0') continue;
        FolderSearch& search = scan.searches[scan.searchCount];
        if (std::snprintf(search.pattern, sizeof search.pattern, "%s\\*.%s", scan.folder,
                          extension) >= static_cast<int>(sizeof search.pattern))
            continue; // longer than any path the platform can search
        ++scan.searchCount;
        CopyText(search.extension, extension, sizeof search.extension);
        search.firstName = scan.names.Count();

        char file[platform::kMaxPath];
        platform::Handle handle = platform::FindFirst(search.pattern, file);
        if (!handle) {
            const uint32_t error = platform::GetLastError();
            if (error == platform::kErrorFileNotFound) continue;
            search.error = error;
            return scan;
        }
        do {
            // A path that does not fit an entry could not be opened by name anyway.
            const size_t fileLength = std::strlen(file);
            if (FitsEntry(folderLength, fileLength) &&
                !scan.entries.AppendPath(scan.folder, folderLength, file, fileLength)) {
                scan.outOfMemory = true;
                break;
            }
            if (keepNames && scan.names.Append(file, fileLength)) ++search.names;
        } while (platform::FindNext(handle, file));
        search.endError = platform::GetLastError() != platform::kErrorNoMoreFiles;
        platform::FindClose(handle);
    }
    return scan;
}
