// The ID3v2 tag cut: a music file loses the tag at its start, after a backup copy of
// the whole file has been made beside it. The file is rewritten safely: its new contents
// replace it in one step, so a failure leaves it as it was.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/files.h"
#include "platform/names.h"
#include "platform/system.h"
#include "core/core.h"
#include "tools/tools.h"
#include "notices/notices.h"

namespace {

constexpr int kLastBackslashIndex = 250; // a backslash further on is passed over
constexpr char kBackupMark[] = "[Backup]";
constexpr char kFailed[] = "Error : Error occured.";

int Notice(const char* text) {
    TitleNotice::Show(text, PluginSettings.DispWindowTime, TitleNotice::kShowNow);
    return 0;
}

// "[Backup]" goes in front of the name, in the same folder: after the last backslash
// that stands at index 250 or lower, or in front of the path's first 250 bytes when there
// is none. Only a backslash separates folders here, and the path is read character by
// character: the second byte of a double-byte character is never a backslash, and no
// character is cut in two.
void BackupPath(const char* path, char* backup, size_t size) {
    const std::string_view name(path);
    const std::string_view head = name.substr(0, kLastBackslashIndex + 1);
    const size_t slash = platform::LastSeparator(head, "\\");
    if (slash == std::string_view::npos) {
        size_t kept = 0;
        while (kept < head.size() && kept + platform::CharLength(name, kept) <= kLastBackslashIndex)
            kept += platform::CharLength(name, kept);
        std::snprintf(backup, size, "%s%.*s", kBackupMark, static_cast<int>(kept), path);
    } else {
        std::snprintf(backup, size, "%.*s%s%s", static_cast<int>(slash + 1), path, kBackupMark,
                      path + slash + 1);
    }
}

} // namespace

int CutId3v2Tag(const char* path) {
    char name[kNameSize];
    CopyText(name, path, sizeof name);
    char text[kNameSize + 64];

    platform::Handle file =
        platform::OpenFileForReadWrite(name, platform::kShareRead | platform::kShareWrite);
    if (!file) {
        std::snprintf(text, sizeof text, "[ERROR] Can't open %s (%d)", name,
                      static_cast<int>(platform::GetLastError()));
        return Notice(text);
    }
    // The whole file is held in memory once: a file of 4 GiB or more is refused before
    // anything is read or copied.
    const uint64_t wholeSize = platform::GetFileSize(file);
    if (wholeSize > UINT32_MAX) {
        platform::CloseObject(file);
        return Notice("Error : The file is too large (4 GiB or more).");
    }
    const auto size = static_cast<uint32_t>(wholeSize);
    const std::optional<Id3v2Header> header = ReadId3v2Header(file, size);
    const Id3v2Header tag = header.value_or(Id3v2Header{Id3v2::None, 0, 0});
    const char* failure = nullptr;
    if (!header)
        failure = kFailed;
    else if (tag.kind == Id3v2::None)
        failure = "Error : This file doesn't have ID3v2 tag.";
    else if (tag.kind == Id3v2::Unsupported)
        failure = "Error : Unsupported ID3v2 tag (version5 or later).";
    if (failure) {
        platform::CloseObject(file);
        return Notice(failure);
    }

    auto* contents = static_cast<unsigned char*>(platform::AllocZeroed(size));
    if (!contents) {
        platform::CloseObject(file);
        return Notice("Error : Memory error.");
    }
    uint32_t read = 0;
    const bool whole = platform::SeekFile(file, 0) &&
                       platform::ReadFile(file, contents, size, &read) && read == size;
    platform::CloseObject(file);

    char backup[kNameSize + sizeof kBackupMark];
    BackupPath(name, backup, sizeof backup);
    int result = 0;
    if (!whole) {
        Notice(kFailed);
    } else if (!platform::CopyFileNoOverwrite(name, backup)) {
        Notice("[ERROR] Can't make backup.");
    } else {
        // From here on the backup holds the file as it was; the file itself changes only
        // if its new contents are written whole.
        const uint32_t cut = tag.cutLength;
        if (cut > size || !ReplaceFileContents(name, contents + cut, size - cut)) {
            Notice(kFailed);
        } else {
            std::snprintf(text, sizeof text, "ID3tag was cut : %s", name);
            Notice(text);
            result = 1;
        }
    }
    platform::FreeMemory(contents);
    return result;
}
