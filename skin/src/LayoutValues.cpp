// The point and colour values of the [PLAYPOSITION] section: "(10,20)" and "(255,0,0)".
// Only digits, single commas and the two parentheses are allowed: no blanks, no signs.
#include <cstdlib>
#include <cstring>

#include "skin/MainSkin.h"

namespace {

constexpr size_t kMaxLayoutText = 255;

// Copies the digits at *cursor into a zeroed buffer and returns their value (0 for none).
// Fails when the text ends while digits are read; *cursor is left on the ending character.
bool ScanNumber(const char** cursor, int* value) {
    char digits[kMaxLayoutText + 1] = {};
    size_t count = 0;
    const char* p = *cursor;
    while (*p >= '0' && *p <= '9') digits[count++] = *p++;
    if (*p == '\0')
        return false;
    *value = std::atoi(digits);
    *cursor = p;
    return true;
}

// Reads "(" n1 "," n2 ... ")" with count numbers; characters after ')' are ignored.
bool ScanTuple(const char* text, int* numbers, int count) {
    if (text == nullptr)
        return false;
    const size_t length = std::strlen(text);
    if (length < 1 || length > kMaxLayoutText || text[0] != '(')
        return false;
    const char* cursor = text + 1;
    for (int i = 0; i < count; ++i) {
        if (!ScanNumber(&cursor, &numbers[i]))
            return false;
        const bool last = i == count - 1;
        if (*cursor != (last ? ')' : ','))
            return false;
        // A separating comma must be followed by something.
        if (!last && cursor[1] == '\0')
            return false;
        ++cursor;
    }
    return true;
}

}  // namespace

bool ReadLayoutPoint(const char* text, int* x, int* y) {
    int numbers[2];
    if (!ScanTuple(text, numbers, 2))
        return false;
    *x = numbers[0];
    *y = numbers[1];
    return true;
}

bool ReadLayoutColor(const char* text, COLORREF* colour) {
    int numbers[3];
    if (!ScanTuple(text, numbers, 3))
        return false;
    *colour = MakeColorRef(static_cast<uint8_t>(numbers[0] & 0xFF),
                           static_cast<uint8_t>(numbers[1] & 0xFF),
                           static_cast<uint8_t>(numbers[2] & 0xFF));
    return true;
}
