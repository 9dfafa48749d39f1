#pragma once
// A push button drawn from skin pictures: normal, pressed, focused (the normal picture again)
// and disabled, magenta pixels showing the button face. It takes the size of its pictures.
// Without pictures it is drawn in a plain look: the face colour and its text.
#include <QAbstractButton>
#include <string>

#include "skin/SkinBitmap.h"

class CSkinButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr COLORREF kKeyColor = 0xFF00FF;
    // Text moves this far right while the pressed picture shows.
    static constexpr int kPressedTextShift = 5;

    explicit CSkinButton(QWidget* parent = nullptr);
    ~CSkinButton() override;

    // Loads normal, background, pressed and disabled pictures in that order; the first one
    // that fails ends the call with false and the button as it was. On success the button
    // is resized to the pictures, keeping its top-left corner.
    bool SetBitmaps(const std::string& normalPath, const std::string& pressedPath,
                    const std::string& disabledPath, const std::string& backgroundPath);
    // The same with the background already loaded and keyed (empty: the call fails). The
    // buttons of one dialog share its background: its pixels are held once, not per button.
    bool SetBitmaps(const std::string& normalPath, const std::string& pressedPath,
                    const std::string& disabledPath, const CSkinBitmap& background);
    // Null text does nothing.
    void SetTooltipText(const char* text, bool activate = true);
    // 0 by state, 1 always normal, 2 always pressed; anything else draws no picture.
    void SetDrawMode(int mode);
    void SetUseBackgroundImage(bool use);
    bool IsLoaded() const { return loaded; }
    void SetTextColor(QColor color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The picture for the current state, or null when none is drawn.
    const CSkinBitmap* PickImage(const CSkinBitmap** overlay, bool* textShift) const;

    // Keyed at load: magenta pixels are transparent.
    CSkinBitmap m_normal, m_pressed, m_focused, m_disabled;
    CSkinBitmap m_background;
    bool loaded = false;
    int drawMode = 0;
    bool useBackgroundImage = false;
    QColor m_textColor;
};
