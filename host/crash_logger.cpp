#include "crash_logger.h"

#include "log.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace host {

namespace {

constexpr UINT k_crash_exit_code = 3;

std::string module_of(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module)) {
        return "?";
    }
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, sizeof(path));
    std::string name = path;
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    auto offset = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(module);
    return name + "+" + hex(offset);
}

LONG WINAPI on_crash(EXCEPTION_POINTERS* info) noexcept {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    // No lock: the crash may have happened while the log was being written.
    log_event_unlocked("crash code=" + hex(record->ExceptionCode) +
                       " address=" + hex(reinterpret_cast<uintptr_t>(record->ExceptionAddress)) +
                       " module=" + module_of(record->ExceptionAddress));
    TerminateProcess(GetCurrentProcess(), k_crash_exit_code);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void install_crash_logger() {
    SetUnhandledExceptionFilter(on_crash);
}

} // namespace host
