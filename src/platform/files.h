// Files and directory search.
#pragma once
#include "platform/types.h"

namespace platform {

// CreateFileA for reading an existing file, sharing read and write; null on failure.
Handle OpenFileForRead(const char* path);
// CreateFileA of an existing file for reading and writing (OPEN_EXISTING), letting
// others do what `share` allows; null on failure (GetLastError tells why).
constexpr unsigned kShareRead = 0x1;
constexpr unsigned kShareWrite = 0x2;
constexpr unsigned kShareDelete = 0x4;
Handle OpenFileForReadWrite(const char* path, unsigned share);
// CreateFileA with CREATE_NEW, read and write access, no sharing: fails (null, last
// error kErrorFileExists) when any file of that name exists.
Handle CreateNewFile(const char* path);
// SetFilePointer from the start of the file.
bool SeekFile(Handle file, uint32_t offset);
// GetFileSizeEx: the whole size, 4 GiB and more included; 0 on failure.
uint64_t GetFileSize(Handle file);
bool ReadFile(Handle file, void* buffer, uint32_t bytes, uint32_t* read);
bool WriteFile(Handle file, const void* buffer, uint32_t bytes, uint32_t* written);
// Flushes a written file to disk (FlushFileBuffers).
bool FlushFile(Handle file);
// MoveFileExA with REPLACE_EXISTING and WRITE_THROUGH.
bool ReplaceFileWith(const char* source, const char* target);
// MoveFileExA with WRITE_THROUGH only: fails when the target exists.
bool MoveFileNoReplace(const char* source, const char* target);
// CopyFileA with bFailIfExists: never overwrites the target.
bool CopyFileNoOverwrite(const char* source, const char* target);
bool RemoveFile(const char* path);
bool FileExists(const char* path);
// True when `path` names a folder (GetFileAttributes: a directory).
bool IsFolder(const char* path);

uint32_t GetLastError();
void SetLastError(uint32_t code);

// FindFirstFileA: null on failure (GetLastError tells why).
Handle FindFirst(const char* pattern, char (&name)[kMaxPath]);
bool FindNext(Handle search, char (&name)[kMaxPath]);
void FindClose(Handle search);

} // namespace platform
