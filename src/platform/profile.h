// Private-profile (INI) files, with the platform's reading rules: relative names
// resolve against the current folder, section and key names ignore case.
#pragma once
#include "platform/types.h"

namespace platform {

// GetPrivateProfileIntA.
int ReadProfileInt(const char* section, const char* key, int defaultValue, const char* file);
// GetPrivateProfileStringA: returns the number of characters copied, without the terminator.
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* out, uint32_t size, const char* file);
// GetPrivateProfileStringA with no key: the names of the section's keys, each ended by a
// zero, the list by one more; returns the characters copied without the last zero.
uint32_t ReadProfileKeyNames(const char* section, char* out, uint32_t size, const char* file);
// WritePrivateProfileStringA: creates file, section or key as needed.
bool WriteProfileValue(const char* section, const char* key, const char* value, const char* file);

} // namespace platform
