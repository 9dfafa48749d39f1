#include "skin/SkinTheme.h"

#include <QApplication>
#include <QPalette>
#include <algorithm>

#include "platform/Paths.h"
#include "platform/Profile.h"
#include "support/IniValues.h"

namespace {

constexpr const char* kPersonality = "Personality";
constexpr const char* kColours = "Colours";

COLORREF SysColor(QPalette::ColorRole role) {
    const QColor c = QApplication::palette().color(role);
    return MakeColorRef(c.red(), c.green(), c.blue());
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut + 1);
}

std::string ReadString(const char* section, const char* key, const std::string& ini) {
    return win::GetProfileString(section, key, "", ini, 255);
}

int ReadInt(const char* section, const char* key, int fallback, const std::string& ini) {
    return win::GetPrivateProfileInt(section, key, fallback, ini);
}

// Skin coordinates (button places, title offsets) are held to this distance from the window's
// edges, far beyond any screen and far inside the int range the rectangles are computed in.
constexpr int kMaxSkinCoordinate = 1 << 16;

int SkinCoordinate(int value) {
    return std::clamp(value, -kMaxSkinCoordinate, kMaxSkinCoordinate);
}

}  // namespace

bool CSkinTheme::Load(const std::string& iniPath, const std::string& backgroundPath) {
    for (CSkinBitmap& part : parts) part.DeleteObject();
    metrics.close = metrics.maximize = metrics.minimize = ButtonPlace{};
    barColor = menuColor = kDefaultBarColor;
    const std::string folder = FolderOf(iniPath);
    CSkinBitmap& background = Slot(SkinPart::Background);
    if (!backgroundPath.empty()) {
        background.Load(backgroundPath);
    } else {
        const std::string name = ReadString(kPersonality, "DialogBmp", iniPath);
        if (!name.empty())
            background.Load(folder + "/" + win::FileNamePart(name));
    }
    if (!LoadEdges(iniPath, folder) || !LoadButtons(iniPath, folder))
        return false;
    ReadColours(iniPath);
    // The caption buttons are drawn with the key colour left out: cut it out once, here.
    if (usesTran != 0)
        for (SkinPart button :
             {SkinPart::Minimize, SkinPart::Maximize, SkinPart::Close, SkinPart::Restore})
            Slot(button).KeyOut(transColor);
    return true;
}

bool CSkinTheme::LoadEdges(const std::string& iniPath, const std::string& folder) {
    const struct {
        const char* key;
        SkinPart part;
    } edges[] = {{"Top", SkinPart::Top},
                 {"Left", SkinPart::Left},
                 {"Right", SkinPart::Right},
                 {"Bottom", SkinPart::Bottom}};
    for (const auto& edge : edges) {
        const std::string name = ReadString(kPersonality, edge.key, iniPath);
        if (name.empty() || !Slot(edge.part).Load(folder + "/" + win::FileNamePart(name)))
            return false;
    }
    const CSkinBitmap& top = Part(SkinPart::Top);
    const CSkinBitmap& left = Part(SkinPart::Left);
    const CSkinBitmap& right = Part(SkinPart::Right);
    const CSkinBitmap& bottom = Part(SkinPart::Bottom);
    // Top and Bottom hold the active and inactive looks stacked, Left and Right side by side.
    metrics.captionHeight = top.Height() / 2;
    metrics.bottomHeight = bottom.Height() / 2;
    metrics.leftWidth = left.Width() / 2;
    metrics.rightWidth = right.Width() / 2;
    auto key = [&](const char* name) { return ReadInt(kPersonality, name, 0, iniPath); };
    cuts = {CutEdge(top.Width(), key("TopTopHeight"), key("TopBotHeight")),
            CutEdge(left.Height(), key("LeftTopHeight"), key("LeftBotHeight")),
            CutEdge(right.Height(), key("RightTopHeight"), key("RightBotHeight")),
            CutEdge(bottom.Width(), key("BottomTopHeight"), key("BottomBotHeight"))};
    return true;
}

bool CSkinTheme::LoadButtons(const std::string& iniPath, const std::string& folder) {
    const int count = ReadInt(kPersonality, "ButtonCount", 0, iniPath);
    // A count of 0 or less would divide by zero; such images are taken as one state wide.
    buttonImgCount = std::max(1, ReadInt(kPersonality, "ButtonImgCount", 3, iniPath));
    for (int n = 0; n < count; ++n) {
        const std::string section = "Button" + std::to_string(n);
        const char* s = section.c_str();
        const std::string name = ReadString(s, "ButtonImage", iniPath);
        const int action = ReadInt(s, "Action", 0, iniPath);
        const int xCoord = SkinCoordinate(ReadInt(s, "XCoord", 0, iniPath));
        const int yCoord = SkinCoordinate(ReadInt(s, "YCoord", 0, iniPath));
        SkinPart part = SkinPart::Close;
        ButtonPlace* place = nullptr;
        if (action == 0) {
            part = SkinPart::Close, place = &metrics.close;
        } else if (action == 1 && Part(SkinPart::Maximize).IsEmpty()) {
            part = SkinPart::Maximize, place = &metrics.maximize;
        } else if (action == 1) {
            // The restore image is drawn in the maximize button's place; its own is not used.
            part = SkinPart::Restore;
        } else if (action == 2) {
            part = SkinPart::Minimize, place = &metrics.minimize;
        } else {
            continue;
        }
        CSkinBitmap& image = Slot(part);
        if (name.empty() || !image.Load(folder + "/" + win::FileNamePart(name)))
            return false;
        if (place != nullptr)
            *place =
                ButtonPlace{xCoord, yCoord, QSize(image.Width() / buttonImgCount, image.Height())};
    }
    return true;
}

void CSkinTheme::ReadColours(const std::string& iniPath) {
    textShift = SkinCoordinate(ReadInt(kPersonality, "TextShift", 0, iniPath));
    textShiftVert = SkinCoordinate(ReadInt(kPersonality, "TextShiftVert", 0, iniPath));
    titleText = ReadIniColor(kColours, "TitleText", iniPath, kCaptionTextDefault);
    inactiveTitleText = ReadIniColor(kColours, "InactiveTitleText", iniPath, kCaptionTextDefault);
    usesTran = ReadInt(kPersonality, "UsesTran", 0, iniPath);
    if (usesTran != 0)
        transColor = ReadIniColor(kColours, "TransColor", iniPath, kDefaultTransColor);
    barColor = ReadIniColor(kColours, "BarColor", iniPath, kDefaultBarColor);
    menuColor = ReadIniColor(kColours, "MenuColor", iniPath, kDefaultBarColor);
    buttonFace = ReadIniColor(kColours, "ButtonFace", iniPath, SysColor(QPalette::Button));
    buttonText = ReadIniColor(kColours, "ButtonText", iniPath, SysColor(QPalette::ButtonText));
    buttonHilight = ReadIniColor(kColours, "ButtonHilight", iniPath, SysColor(QPalette::Button));
    buttonFocus = ReadIniColor(kColours, "ButtonFocus", iniPath, SysColor(QPalette::Button));
}

QSize CSkinTheme::MinimumTrackSize() const {
    const CSkinBitmap& left = Part(SkinPart::Left);
    return QSize(left.Width() + Part(SkinPart::Right).Width() + Part(SkinPart::Top).Width(),
                 left.Height() + kMinTrackExtraHeight);
}
