// Safe rewrites of a user's file: the new contents go to a temporary file beside it,
// created under a name nobody uses, written whole and flushed, and only then moved into
// place in one step. Whatever fails, the user's file is as it was and no temporary file
// is left behind.
#include <cstdio>

#include "platform/files.h"
#include "platform/system.h"
#include "core/core.h"

namespace {

// Names tried for the temporary file: "<path>.1.tmp", "<path>.2.tmp"...
constexpr int kTemporaryNames = 100;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorFilenameTooLong = 206; // ERROR_FILENAME_EXCED_RANGE

bool WriteThenMove(const char* path, const void* data, uint32_t size, bool replace) {
    // A name that does not fit the system's path limit could not be created anyway.
    char temporary[platform::kMaxPath];
    platform::Handle file = nullptr;
    for (int number = 1; number <= kTemporaryNames && !file; ++number) {
        const int length = std::snprintf(temporary, sizeof temporary, "%s.%d.tmp", path, number);
        if (length < 0 || static_cast<size_t>(length) >= sizeof temporary) {
            platform::SetLastError(kErrorFilenameTooLong);
            return false;
        }
        file = platform::CreateNewFile(temporary);
        if (!file && platform::GetLastError() != platform::kErrorFileExists) return false;
    }
    if (!file) return false; // every name taken: the last error says the file exists

    uint32_t written = 0;
    bool ok = size == 0 || (platform::WriteFile(file, data, size, &written) && written == size);
    ok = ok && platform::FlushFile(file);
    uint32_t error = ok ? 0 : platform::GetLastError();
    platform::CloseObject(file);
    if (ok) {
        ok = replace ? platform::ReplaceFileWith(temporary, path)
                     : platform::MoveFileNoReplace(temporary, path);
        if (!ok) error = platform::GetLastError();
    }
    if (!ok) {
        platform::RemoveFile(temporary);
        platform::SetLastError(error != 0 ? error : kErrorWriteFault);
    }
    return ok;
}

} // namespace

bool ReplaceFileContents(const char* path, const void* data, uint32_t size) {
    return WriteThenMove(path, data, size, true);
}

bool CreateFileComplete(const char* path, const void* data, uint32_t size) {
    return WriteThenMove(path, data, size, false);
}
