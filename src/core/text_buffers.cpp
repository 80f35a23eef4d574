// ScratchText and MessageBuffer: the module's shared text buffers.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/core.h"

char ScratchText[kScratchSize];
char MessageBuffer[kMessageBufferSize];

void ScratchClear() {
    ScratchText[0] = '\0';
}

const char* ScratchFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(ScratchText, kFormatLimit, format, args);
    va_end(args);
    return ScratchText;
}

bool SameIgnoringAsciiCase(const char* a, const char* b, size_t limit) {
    for (size_t i = 0; i < limit; ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
        if (a[i] == '\0') return true;
    }
    return true;
}

void CopyText(char* dst, const char* src, size_t size) {
    if (size == 0) return;
    size_t n = 0;
    while (n + 1 < size && src[n] != '\0') {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = '\0';
}
