#include "support/IniValues.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/Profile.h"

namespace {

constexpr const char* kDefaultDelimiters = " \t\n";
// Bytes from here up start a two-byte character of the double-byte code pages.
constexpr unsigned char kFirstLeadByte = 0x81;

bool IsDefaultDelimiter(char c) {
    return c != '\0' && std::strchr(kDefaultDelimiters, c) != nullptr;
}

void TrimInPlace(char* token) {
    const size_t length = std::strlen(token);
    size_t first = 0;
    while (first < length && IsDefaultDelimiter(token[first])) ++first;
    size_t last = length;
    while (last > first && IsDefaultDelimiter(token[last - 1])) --last;
    std::memmove(token, token + first, last - first);
    token[last - first] = '\0';
}

// C atoi without its undefined overflow: leading blanks, an optional sign, decimal digits.
int AToI(const char* text) {
    const long value = std::strtol(text, nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

}  // namespace

const char* NextToken(const char* cursor, char* token, size_t tokenSize, const char* delimiters) {
    if (!delimiters)
        delimiters = kDefaultDelimiters;
    size_t length = 0;
    const auto append = [&](const char* bytes, size_t count) {
        if (!token || length + count >= tokenSize)
            return;  // full: keep scanning, drop bytes
        std::memcpy(token + length, bytes, count);
        length += count;
    };
    if (!cursor) {
        if (token && tokenSize > 0)
            token[0] = '\0';
        return cursor;
    }
    while (*cursor != '\0') {
        const unsigned char lead = static_cast<unsigned char>(*cursor);
        if (lead >= kFirstLeadByte && cursor[1] != '\0') {
            append(cursor, 2);
            cursor += 2;
            continue;
        }
        if (std::strchr(delimiters, *cursor) != nullptr) {
            ++cursor;  // the delimiter is consumed, not copied
            break;
        }
        append(cursor, 1);
        ++cursor;
    }
    if (token && tokenSize > 0) {
        token[length] = '\0';
        TrimInPlace(token);
    }
    return cursor;
}

COLORREF ReadIniColor(const char* section, const char* key, const std::string& iniPath,
                      COLORREF defaultColor) {
    char value[kIniColorBufferBytes];
    win::GetPrivateProfileString(section, key, "", value, sizeof value, iniPath);
    if (value[0] == '\0')
        return defaultColor;

    char token[kIniColorBufferBytes];
    int component[3] = {};
    const char* cursor = value;
    for (int& c : component) {
        cursor = NextToken(cursor, token, sizeof token);
        c = AToI(token);
    }
    return MakeColorRef(static_cast<uint8_t>(component[0] & 0xFF),
                        static_cast<uint8_t>(component[1] & 0xFF),
                        static_cast<uint8_t>(component[2] & 0xFF));
}
