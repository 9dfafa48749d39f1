#pragma once
// The profile (ini) functions with Windows semantics: case-insensitive sections and keys, first
// match wins, blanks trimmed, quotes around a value removed, values cut to the buffer size - 1.
// A write replaces a value in place and keeps every other line as it was.
#include <cstdint>
#include <string>

namespace win {

// Copies the value (or the default) into buffer, cut to size - 1 bytes and terminated.
// Returns the number of bytes copied without the terminator.
uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const std::string& file);
// The same, for callers that want a std::string; maxLength bounds the result like a buffer
// of maxLength + 1 bytes.
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, const std::string& file,
                             uint32_t maxLength = 4095);
// The value's leading decimal number (optional '-'), 0 when it has none, the default when the
// key is missing.
int GetPrivateProfileInt(const char* section, const char* key, int defaultValue,
                         const std::string& file);
// Creates the file and the section when needed. False when the file cannot be written.
bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file);

}  // namespace win
