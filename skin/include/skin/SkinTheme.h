#pragma once
// The frame description of a theme.ini: the sections [Personality], [Button<n>] and
// [Colours], with the frame's pictures loaded once per skin change. The caption buttons are
// keyed at load when the skin uses transparency, so painting only draws.
//
// A later Load on the same object replaces the pictures and numbers in place; what a failed
// load leaves is not drawn (the frame then shows nothing of it).
#include <array>
#include <string>

#include "platform/WinTypes.h"
#include "skin/FrameGeometry.h"
#include "skin/SkinBitmap.h"

// The theme's pictures.
enum class SkinPart { Top, Left, Right, Bottom, Background, Minimize, Maximize, Close, Restore };

class CSkinTheme {
public:
    static constexpr int kPartCount = 9;
    // Default of the colours the skin may leave out.
    static constexpr COLORREF kDefaultBarColor = 0xCFCFCF;
    static constexpr COLORREF kDefaultTransColor = 0xFF00FF;
    static constexpr COLORREF kCaptionTextDefault = 0xFFFFFF;  // COLOR_CAPTIONTEXT
    // Extra minimum height below the side borders' bitmap height.
    static constexpr int kMinTrackExtraHeight = 20;

    // Reads the frame of iniPath, its pictures taken from the folder of iniPath.
    // backgroundPath empty: the client background comes from [Personality] DialogBmp. True
    // when every edge and every caption button the skin names loaded.
    bool Load(const std::string& iniPath, const std::string& backgroundPath);

    const CSkinBitmap& Part(SkinPart part) const { return parts[static_cast<size_t>(part)]; }
    // The cut of an edge picture (SkinPart::Top ... SkinPart::Bottom) along its length.
    EdgeCut Cut(SkinPart edge) const { return cuts[static_cast<size_t>(edge)]; }
    const FrameMetrics& Metrics() const { return metrics; }
    int ButtonImageCount() const { return buttonImgCount; }
    QPoint TextShift() const { return QPoint(textShift, textShiftVert); }
    COLORREF TitleText(bool active) const { return active ? titleText : inactiveTitleText; }
    COLORREF TransColor() const { return transColor; }
    bool UsesTran() const { return usesTran != 0; }
    // Left + right + caption bitmap widths by the side bitmaps' height and a little more.
    QSize MinimumTrackSize() const;

private:
    CSkinBitmap& Slot(SkinPart part) { return parts[static_cast<size_t>(part)]; }
    bool LoadEdges(const std::string& iniPath, const std::string& folder);
    bool LoadButtons(const std::string& iniPath, const std::string& folder);
    void ReadColours(const std::string& iniPath);

    std::array<CSkinBitmap, kPartCount> parts;
    std::array<EdgeCut, 4> cuts;  // Top, Left, Right, Bottom
    FrameMetrics metrics;
    int buttonImgCount = 3;
    int textShift = 0, textShiftVert = 0;
    COLORREF titleText = 0, inactiveTitleText = 0, transColor = kDefaultTransColor;
    // Read and kept for skins that describe them; nothing draws with them.
    COLORREF barColor = kDefaultBarColor, menuColor = kDefaultBarColor, buttonFace = 0,
             buttonText = 0, buttonHilight = 0, buttonFocus = 0;
    int usesTran = 0;
};
