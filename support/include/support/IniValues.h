#pragma once
// Colour values of the skin ini files: three decimal numbers, red, green and blue, each
// separated from the next by one blank, tab or line feed ("255 0 0" is pure red).
#include <cstddef>
#include <cstdint>
#include <string>

// A colour as Windows packs it: red in the low byte, then green, then blue; top byte 0.
using COLORREF = uint32_t;

constexpr COLORREF MakeColorRef(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<COLORREF>(red) | static_cast<COLORREF>(green) << 8 |
           static_cast<COLORREF>(blue) << 16;
}
constexpr uint8_t GetRValue(COLORREF c) {
    return static_cast<uint8_t>(c & 0xFF);
}
constexpr uint8_t GetGValue(COLORREF c) {
    return static_cast<uint8_t>((c >> 8) & 0xFF);
}
constexpr uint8_t GetBValue(COLORREF c) {
    return static_cast<uint8_t>((c >> 16) & 0xFF);
}

// Bytes of the buffer a colour value is read into (longer values are cut to 999).
constexpr uint32_t kIniColorBufferBytes = 1000;

// The colour of key in section of the ini file, or defaultColor when the key is missing or
// empty. Each component is the low 8 bits of its number (300 gives 44, -1 gives 255); a
// missing or non-numeric component is 0.
COLORREF ReadIniColor(const char* section, const char* key, const std::string& iniPath,
                      COLORREF defaultColor);

// Copies the characters from cursor up to the first delimiter (or the end) into token, at
// most tokenSize - 1 bytes, and trims blanks, tabs and line feeds from both ends of it. A
// byte of 0x81 or above starts a two-byte character, which is never a delimiter. A null
// delimiter set means " \t\n". Delimiters in a row give empty tokens. Returns the cursor
// just past the consumed delimiter, or at the terminating zero.
const char* NextToken(const char* cursor, char* token, size_t tokenSize,
                      const char* delimiters = nullptr);
