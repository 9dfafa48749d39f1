#pragma once
// The title strip of the video window: the title rendered once into a strip bitmap and shown
// through a slice that first slides in from the right edge of its area and then moves along
// the text, 5 pixels per timer tick, starting over when the text has passed.
//
// Threads: user-interface thread only.
#include <QFont>
#include <QImage>
#include <QString>
#include <string>

class QFontMetrics;
class QPainter;

class CScrollText {
public:
    static constexpr int kStepPixels = 5;  // per tick of the 150 ms title timer

    CScrollText() = default;

    // Places the strip in (left, top, right, bottom) of the window and sets its text,
    // measured with the metrics of the font it will be drawn with.
    void SetArea(int left, int top, int right, int bottom, const std::string& text,
                 const QFontMetrics& metrics);
    void Step();
    // Renders the text in green on black and copies the visible slice into place.
    void Draw(QPainter& painter, const QFont& font);

    const std::string& Text() const { return text_; }
    int DestinationX() const { return destinationX_; }
    int SourceX() const { return sourceX_; }
    int VisibleWidth() const { return visibleWidth_; }
    int AreaLeft() const { return areaLeft_; }
    int AreaTop() const { return areaTop_; }
    int AreaRight() const { return areaRight_; }
    int AreaBottom() const { return areaBottom_; }
    int BoxRight() const { return boxRight_; }
    int BoxBottom() const { return boxBottom_; }
    bool Scrolling() const { return scrolling_; }

private:
    const QImage& StripImage(const QFont& font);

    std::string text_ = "HELLO";
    int destinationX_ = 0;  // where the visible slice is copied to
    int sourceX_ = 0;       // where the slice starts in the strip bitmap
    int visibleWidth_ = 0;
    int areaLeft_ = 0, areaTop_ = 0, areaRight_ = 0, areaBottom_ = 0;
    int textOriginX_ = 0;  // x at which the text is rendered (area left)
    int boxTop_ = 0, boxRight_ = 0, boxBottom_ = 0;
    bool scrolling_ = true;

    // The rendered strip, remade only when the text, the font or the box change.
    QImage strip_;
    QString stripKey_;
};
