// Step timing for bench builds (see step_timing.h); empty in every other build.
#include "platform/win32/step_timing.h"

#ifdef ORV_STEP_TIMING
#include <cstdio>

namespace platform::steps {

namespace {

HANDLE Log() {
    static HANDLE log = [] {
        char path[MAX_PATH] = {};
        const DWORD n = ::GetEnvironmentVariableA("ORV_STEP_LOG", path, sizeof path);
        if (n == 0 || n >= sizeof path) return INVALID_HANDLE_VALUE;
        return ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }();
    return log;
}

unsigned long long UnixUs() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return (t.QuadPart - 116444736000000000ULL) / 10ULL;
}

} // namespace

Timer::Timer(const char* name) : name_(name), unixUs_(UnixUs()) {
    ::QueryPerformanceCounter(&start_);
}

Timer::~Timer() {
    LARGE_INTEGER end, frequency;
    ::QueryPerformanceCounter(&end);
    ::QueryPerformanceFrequency(&frequency);
    const HANDLE log = Log();
    if (log == INVALID_HANDLE_VALUE) return;
    char line[128];
    const int n =
        std::snprintf(line, sizeof line, "%llu %lld %s\n", unixUs_,
                      (end.QuadPart - start_.QuadPart) * 1000000LL / frequency.QuadPart, name_);
    DWORD written = 0;
    if (n > 0 && n < static_cast<int>(sizeof line))
        ::WriteFile(log, line, static_cast<DWORD>(n), &written, nullptr);
}

} // namespace platform::steps
#endif
