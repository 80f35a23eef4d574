// Files and directory search on Windows.
#include <windows.h>

#include <cstring>

#include "platform/files.h"

namespace platform {

namespace {
Handle Valid(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

void CopyName(const WIN32_FIND_DATAA& data, char (&name)[kMaxPath]) {
    std::memcpy(name, data.cFileName, kMaxPath);
    name[kMaxPath - 1] = '\0';
}
} // namespace

Handle OpenFileForRead(const char* path) {
    return Valid(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

Handle OpenFileForReadWrite(const char* path, unsigned share) {
    DWORD mode = 0;
    if (share & kShareRead) mode |= FILE_SHARE_READ;
    if (share & kShareWrite) mode |= FILE_SHARE_WRITE;
    if (share & kShareDelete) mode |= FILE_SHARE_DELETE;
    return Valid(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, mode, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
}

Handle CreateNewFile(const char* path) {
    return Valid(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool SeekFile(Handle file, uint32_t offset) {
    // A 32-bit offset: the high part is passed so that offsets of 2 GB and more are
    // taken as unsigned, and a failure is told by the last error.
    LONG high = 0;
    ::SetLastError(NO_ERROR);
    const DWORD low = ::SetFilePointer(file, static_cast<LONG>(offset), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || ::GetLastError() == NO_ERROR;
}

uint64_t GetFileSize(Handle file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool ReadFile(Handle file, void* buffer, uint32_t bytes, uint32_t* read) {
    DWORD done = 0;
    const BOOL ok = ::ReadFile(file, buffer, bytes, &done, nullptr);
    *read = done;
    return ok != FALSE;
}

bool WriteFile(Handle file, const void* buffer, uint32_t bytes, uint32_t* written) {
    DWORD done = 0;
    const BOOL ok = ::WriteFile(file, buffer, bytes, &done, nullptr);
    *written = done;
    return ok != FALSE;
}

bool FlushFile(Handle file) {
    return ::FlushFileBuffers(file) != FALSE;
}

bool ReplaceFileWith(const char* source, const char* target) {
    return ::MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           FALSE;
}

bool MoveFileNoReplace(const char* source, const char* target) {
    return ::MoveFileExA(source, target, MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool CopyFileNoOverwrite(const char* source, const char* target) {
    return ::CopyFileA(source, target, TRUE) != FALSE;
}

bool RemoveFile(const char* path) {
    return ::DeleteFileA(path) != FALSE;
}

bool FileExists(const char* path) {
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path) {
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint32_t GetLastError() {
    return ::GetLastError();
}
void SetLastError(uint32_t code) {
    ::SetLastError(code);
}

Handle FindFirst(const char* pattern, char (&name)[kMaxPath]) {
    WIN32_FIND_DATAA data{};
    HANDLE h = ::FindFirstFileA(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    CopyName(data, name);
    return h;
}

bool FindNext(Handle search, char (&name)[kMaxPath]) {
    WIN32_FIND_DATAA data{};
    if (!::FindNextFileA(search, &data)) return false;
    CopyName(data, name);
    return true;
}

void FindClose(Handle search) {
    if (search) ::FindClose(search);
}

} // namespace platform
