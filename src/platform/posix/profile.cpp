// Private-profile (INI) files on POSIX, read with the platform's rules (profile_text.h)
// from a file found as Windows finds it. A bare file name would live in the Windows
// folder, which this machine has not: it reads as a missing file. The checker only
// reads, so a write is refused (ERROR_WRITE_PROTECT) and changes nothing.
#include <string>

#include "platform/files.h"
#include "platform/names.h"
#include "platform/posix/posix.h"
#include "platform/profile.h"
#include "platform/profile_text.h"
#include "platform/system.h"

using namespace platform::profile_text;

namespace {

// The whole file, or false when there is none to read.
bool ReadText(const char* file, std::string* data) {
    if (!file || platform::LastSeparator(file, "\\/:") == std::string_view::npos) return false;
    platform::Handle h = platform::OpenFileForRead(file);
    if (!h) return false;
    data->resize(platform::GetFileSize(h));
    uint32_t read = 0;
    const bool ok = platform::ReadFile(h, data->data(), static_cast<uint32_t>(data->size()), &read);
    platform::CloseObject(h);
    data->resize(read);
    return ok;
}

bool ReadValue(const char* section, const char* key, const char* file, std::string* value) {
    std::string data;
    if (!section || !key || !ReadText(file, &data)) return false;
    const Found f = Locate(data, SplitLines(data), section, key);
    if (f.key) *value = f.value;
    return f.key;
}

} // namespace

namespace platform {

int ReadProfileInt(const char* section, const char* key, int defaultValue, const char* file) {
    std::string value;
    if (!ReadValue(section, key, file, &value) || value.empty()) return defaultValue;
    return ProfileInt(value);
}

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* out, uint32_t size, const char* file) {
    std::string value;
    if (!ReadValue(section, key, file, &value)) value = DefaultText(defaultValue);
    return CopyValue(value, out, size);
}

uint32_t ReadProfileKeyNames(const char* section, char* out, uint32_t size, const char* file) {
    std::string data;
    const bool readable = section && ReadText(file, &data);
    return CopyNames(readable ? KeyNames(data, section) : std::string(), out, size);
}

bool WriteProfileValue(const char*, const char*, const char*, const char*) {
    constexpr uint32_t kErrorWriteProtect = 19;
    SetLastError(kErrorWriteProtect);
    return false;
}

} // namespace platform
