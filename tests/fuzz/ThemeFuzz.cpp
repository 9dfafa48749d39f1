// theme.ini read the way the skins read it: the frame of [Personality] and [Button<n>] loaded
// over small bitmaps and painted, the [PLAYPOSITION] points and list colours, the [Colours]
// values, and the tokenizer under them run straight over the raw bytes.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Profile.h"
#include "skin/MainSkin.h"
#include "skin/SkinWnd.h"
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

// The frame pictures every input's theme.ini may name, under the shipped skins' names.
constexpr int kEdgeLength = 24, kEdgeThickness = 8;
constexpr int kWindowW = 90, kWindowH = 70;

void SavePicture(const char* name, int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    // Key-coloured corners, so the outline and the transparent paths have work to do.
    image.setPixel(0, 0, qRgb(255, 0, 255));
    image.setPixel(w - 1, 0, qRgb(255, 0, 255));
    fuzz::Check(image.save(QString::fromStdString(fuzz::Folder() + "/" + name), "BMP"),
                "a frame picture can be written");
}

// A frame loaded from any theme.ini keeps every cut inside its bitmap, and painting it,
// outlining it and hit-testing it end.
void CheckFrame(const std::string& ini) {
    CSkinWnd frame;
    if (!frame.LoadSkin(ini))
        return;
    fuzz::Check(
        frame.CaptionHeight() == kEdgeThickness / 2 && frame.LeftWidth() == kEdgeThickness / 2,
        "the thicknesses are half the edge bitmaps");
    fuzz::Check(
        frame.TopHead() >= 0 && frame.TopHead() < frame.TopTail() && frame.TopTail() <= kEdgeLength,
        "the caption bar is cut inside its bitmap");
    QImage canvas(kWindowW, kWindowH, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        frame.PaintFrame(painter, canvas.size());
    }
    const QRegion outline = frame.BuildWindowRegion(canvas.size());
    fuzz::Check(outline.isEmpty() || canvas.rect().contains(outline.boundingRect()),
                "the outline stays on the window");
    for (int y = 0; y < kWindowH; y += 7)
        for (int x = 0; x < kWindowW; x += 5) frame.HitTest(x, y);
}

// The layout's points, grown into a larger client, stay inside it.
void CheckLayout(const std::string& ini) {
    MainLayout layout;
    QPoint* points = layout.Points();
    for (int i = 0; i < MainLayout::kPointCount; ++i) {
        char text[256];
        win::GetPrivateProfileString("PLAYPOSITION", kPointKeys[i], "", text, sizeof text, ini);
        int x = 0, y = 0;
        if (!ReadLayoutPoint(text, &x, &y))
            return;
        fuzz::Check(x >= 0 && x <= kMaxLayoutCoordinate && y >= 0 && y <= kMaxLayoutCoordinate,
                    "a point is held inside the coordinate range");
        points[i] = QPoint(x, y);
    }
    layout.layoutValid = true;
    const QSize drawn(kWindowW, kWindowH), client(3 * kWindowW, 2 * kWindowH);
    const MainLayout grown = GrownLayout(layout, drawn, client);
    for (int i = 0; i < MainLayout::kPointCount; ++i)
        fuzz::Check(grown.Points()[i].x() >= points[i].x() &&
                        grown.Points()[i].x() - points[i].x() <= client.width() - drawn.width(),
                    "a grown point moves by the extra room at most");
}

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

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    fuzz::Folder();
    // Never destroyed: libFuzzer ends with exit(), after which Qt's globals are gone.
    new QGuiApplication(*argc, *argv);
    SavePicture("top.bmp", kEdgeLength, kEdgeThickness, qRgb(0, 0, 200));
    SavePicture("bottom.bmp", kEdgeLength, kEdgeThickness, qRgb(0, 150, 0));
    SavePicture("left.bmp", kEdgeThickness, kEdgeLength, qRgb(0, 150, 0));
    SavePicture("right.bmp", kEdgeThickness, kEdgeLength, qRgb(0, 150, 0));
    SavePicture("dialog-p.bmp", 20, 16, qRgb(200, 180, 40));
    for (const char* button : {"close.bmp", "max.bmp", "restore.bmp", "min.bmp"})
        SavePicture(button, 9, 4, qRgb(250, 0, 0));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Beside the frame pictures, which the theme names by file name only. Each input under a
    // name of its own: the profile reader knows a file again by its name, time and size.
    static unsigned serial = 0;
    const std::string path = fuzz::Folder() + "/theme-" + std::to_string(++serial) + ".ini";
    fuzz::WriteFile(path, data, size);
    CheckFrame(path);
    CheckLayout(path);
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
