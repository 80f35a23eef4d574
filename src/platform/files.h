// Files and directory search.
#pragma once
#include "platform/types.h"

namespace platform {

// CreateFileA for reading an existing file, sharing read and write; null on failure.
Handle OpenFileForRead(const char* path);
// CreateFileA with CREATE_ALWAYS, read and write access, no sharing; null on failure.
Handle CreateFileForWrite(const char* path);
uint32_t GetFileSize(Handle file);
bool ReadFile(Handle file, void* buffer, uint32_t bytes, uint32_t* read);
bool WriteFile(Handle file, const void* buffer, uint32_t bytes, uint32_t* written);
// Flushes a written file to disk (FlushFileBuffers).
bool FlushFile(Handle file);
// MoveFileExA with REPLACE_EXISTING and WRITE_THROUGH.
bool ReplaceFileWith(const char* source, const char* target);
bool RemoveFile(const char* path);
bool FileExists(const char* path);

uint32_t GetLastError();
void SetLastError(uint32_t code);

// FindFirstFileA: null on failure (GetLastError tells why).
Handle FindFirst(const char* pattern, char (&name)[kMaxPath]);
bool FindNext(Handle search, char (&name)[kMaxPath]);
void FindClose(Handle search);

} // namespace platform
