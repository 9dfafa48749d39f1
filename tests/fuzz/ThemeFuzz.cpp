// theme.ini read the way the skins read it: the [PLAYPOSITION] points and list colours, the
// [Colours] values, and the tokenizer under them run straight over the raw bytes.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Profile.h"
#include "skin/MainSkin.h"
#include "support/IniValues.h"

namespace {

constexpr const char* kPointKeys[] = {"DISPLAY1",    "DISPLAY2",   "SLIDER1",    "SLIDER2",
                                      "PREVBUTTON",  "PLAYBUTTON", "STOPBUTTON", "PAUSEBUTTON",
                                      "NEXTBUTTON",  "ADDBUTTON",  "LIST1",      "LIST2",
                                      "STYLEBUTTON", "LISTBKCOLOR"};
constexpr const char* kColourKeys[] = {"TitleText",  "InactiveTitleText", "TransColor",
                                       "BarColor",   "MenuColor",         "ButtonFace",
                                       "ButtonText", "ButtonHilight",     "ButtonFocus"};
constexpr COLORREF kUntouched = 0xFEEDBEEF;

// A parsed tuple came from text that starts with '(' and closes it.
void CheckTupleText(const char* text) {
    fuzz::Check(text[0] == '(' && std::strchr(text, ')') != nullptr,
                "only a parenthesised tuple parses");
}

void CheckLayoutValue(const char* text) {
    int x = -1, y = -1;
    if (ReadLayoutPoint(text, &x, &y))
        CheckTupleText(text);
    COLORREF colour = kUntouched;
    if (ReadLayoutColor(text, &colour)) {
        CheckTupleText(text);
        fuzz::Check((colour >> 24) == 0, "a colour's top byte is 0");
    } else {
        fuzz::Check(colour == kUntouched, "a refused colour is left unchanged");
    }
}

// Tokens never outgrow their buffer, carry no blanks at either end, and the cursor moves on.
void CheckTokens(const char* text, size_t tokenSize, const char* delimiters) {
    std::vector<char> token(tokenSize + 1, '#');
    const char* cursor = text;
    const char* const end = text + std::strlen(text);
    for (int guard = 0; *cursor != '\0'; ++guard) {
        fuzz::Check(guard < 100000, "the tokenizer ends");
        const char* next = NextToken(cursor, token.data(), tokenSize, delimiters);
        fuzz::Check(next > cursor && next <= end, "the cursor moves on inside the text");
        fuzz::Check(token[tokenSize] == '#', "nothing past the token buffer");
        const size_t length = std::strlen(token.data());
        fuzz::Check(length < tokenSize, "the token is cut to its buffer");
        if (length > 0) {
            const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
            fuzz::Check(!blank(token[0]) && !blank(token[length - 1]), "the token is trimmed");
        }
        cursor = next;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static unsigned serial = 0;
    const std::string path = fuzz::Folder() + "/theme-" + std::to_string(++serial) + ".ini";
    fuzz::WriteFile(path, data, size);
    char text[256];
    for (const char* key : kPointKeys) {
        win::GetPrivateProfileString("PLAYPOSITION", key, "", text, sizeof text, path);
        CheckLayoutValue(text);
    }
    win::GetPrivateProfileString("PLAYPOSITION", "LISTSELCOLOR", "", text, sizeof text, path);
    CheckLayoutValue(text);
    for (const char* key : kColourKeys) {
        const COLORREF colour = ReadIniColor("Colours", key, path, kUntouched);
        fuzz::Check(colour == kUntouched || (colour >> 24) == 0, "a colour's top byte is 0");
    }
    std::remove(path.c_str());

    const std::string raw(reinterpret_cast<const char*>(data), std::min<size_t>(size, 4096));
    CheckLayoutValue(raw.c_str());
    CheckTokens(raw.c_str(), 1000, nullptr);
    CheckTokens(raw.c_str(), 2, nullptr);
    CheckTokens(raw.c_str(), 1, ",");
    CheckTokens(raw.c_str(), 7, "=,(");
    return 0;
}
