// The point and colour values of the [PLAYPOSITION] section: "(10,20)" and "(255,0,0)".
// Only digits, single commas and the two parentheses are allowed: no blanks, no signs.
#include <algorithm>
#include <climits>
#include <cstring>

#include "skin/MainSkin.h"

namespace {

constexpr size_t kMaxLayoutText = 255;

// Reads the digits at *cursor into *value (0 for none), held at INT_MAX rather than overflowing.
// Fails when the text ends while digits are read; *cursor is left on the ending character.
bool ScanNumber(const char** cursor, int* value) {
    long long number = 0;
    const char* p = *cursor;
    for (; *p >= '0' && *p <= '9'; ++p)
        number = std::min<long long>(number * 10 + (*p - '0'), INT_MAX);
    if (*p == '\0')
        return false;
    *value = static_cast<int>(number);
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
    // A point lies on a window: held far inside the int range, so that the sums and
    // differences of the layout cannot overflow.
    *x = std::min(numbers[0], kMaxLayoutCoordinate);
    *y = std::min(numbers[1], kMaxLayoutCoordinate);
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
