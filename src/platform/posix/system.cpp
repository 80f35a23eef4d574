// Kernel and runtime services on POSIX, for the game-folder checker: memory, the last
// error, time, the code page of the game's names and the current folder. Only what the
// module's readers and the checker call is here; beeps and boxes are the checker's own.
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/posix/posix.h"
#include "platform/system.h"

namespace platform::posix {
namespace {
uint32_t lastError = 0;
uint32_t codePage = 0;
} // namespace

uint32_t NameCodePage() {
    return codePage != 0 ? codePage : 1252;
}
void SetError(uint32_t code) {
    lastError = code;
}

} // namespace platform::posix

namespace platform {

uint32_t GetLastError() {
    return posix::lastError;
}
void SetLastError(uint32_t code) {
    posix::SetError(code);
}

uint32_t GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

void Sleep(uint32_t ms) {
    timespec pause{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

uint32_t GetCurrentThreadId() {
    return static_cast<uint32_t>(gettid());
}

void* AllocZeroed(size_t bytes) {
    return std::calloc(bytes != 0 ? bytes : 1, 1);
}
void* Alloc(size_t bytes) {
    return std::malloc(bytes != 0 ? bytes : 1);
}
void FreeMemory(void* block) {
    std::free(block);
}

bool IsDbcsLeadByte(uint8_t byte) {
    return LeadByteIn(posix::NameCodePage(), byte);
}
void UseCodePage(uint32_t chosen) {
    posix::codePage = chosen;
}

uint32_t GetHostProgramPath(char* buffer, uint32_t size) {
    if (size == 0) return 0;
    const ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    buffer[n > 0 ? n : 0] = '\0';
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}

uint32_t GetCurrentDir(char* buffer, uint32_t size) {
    if (size == 0 || !getcwd(buffer, size)) {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    return static_cast<uint32_t>(std::strlen(buffer));
}

bool SetCurrentDir(const char* path) {
    const posix::Found found = posix::Find(path);
    if (!found.exists || !found.folder) {
        constexpr uint32_t kErrorDirectory = 267; // the name is a file's
        posix::SetError(found.exists    ? kErrorDirectory
                        : found.folders ? kErrorFileNotFound
                                        : kErrorPathNotFound);
        return false;
    }
    return chdir(found.path.c_str()) == 0;
}

} // namespace platform
