// Private-profile (INI) files on Windows.
#include <windows.h>

#include "platform/profile.h"

namespace platform {

int ReadProfileInt(const char* section, const char* key, int defaultValue, const char* file) {
    return static_cast<int>(::GetPrivateProfileIntA(section, key, defaultValue, file));
}

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* out, uint32_t size, const char* file) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, out, size, file);
}

uint32_t ReadProfileKeyNames(const char* section, char* out, uint32_t size, const char* file) {
    return ::GetPrivateProfileStringA(section, nullptr, "", out, size, file);
}

bool WriteProfileValue(const char* section, const char* key, const char* value, const char* file) {
    return ::WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

} // namespace platform
