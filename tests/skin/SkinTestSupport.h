#pragma once
// Shared pieces of the skin tests: a temporary skin folder with small generated pictures and a
// theme.ini, and pixel helpers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>
#include <fstream>
#include <string>

// Colours of the generated frame pictures.
inline const QColor kActiveCaption(0, 0, 200);
inline const QColor kInactiveCaption(120, 120, 120);
inline const QColor kBorderActive(0, 150, 0);
inline const QColor kBorderInactive(90, 90, 90);
inline const QColor kMagenta(255, 0, 255);
inline const QColor kBackgroundColour(200, 180, 40);
inline const QColor kButtonStates[3] = {QColor(250, 0, 0), QColor(0, 250, 250),
                                        QColor(250, 250, 0)};

inline QImage Filled(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

inline void SaveBmp(const QImage& image, const std::string& path) {
    image.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(path), "BMP");
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A skin folder: frame pictures (caption 20, borders 4), caption buttons of 16 x 14 with three
// states, a 100 x 80 background, and the theme.ini built from the parts below.
struct TestSkin {
    static constexpr int kCaption = 20;
    static constexpr int kBorder = 4;
    static constexpr int kButtonW = 16;
    static constexpr int kButtonH = 14;
    static constexpr int kBackgroundW = 100;
    static constexpr int kBackgroundH = 80;
    std::string folder;       // ends with '/'
    std::string personality;  // extra [Personality] lines
    std::string buttons;      // [ButtonN] sections
    std::string extra;        // further sections ([Colours], [PLAYPOSITION])
    int buttonCount = 3;
    explicit TestSkin(const std::string& dir) : folder(dir + "/") {
        // Each edge: the active look in the upper (left) half, the inactive one in the other.
        const auto twoLooks = [](QSize half, bool stacked, QColor active, QColor inactive) {
            QImage image = Filled(stacked ? half.width() : 2 * half.width(),
                                  stacked ? 2 * half.height() : half.height(), active);
            QPainter(&image).fillRect(stacked ? QRect(QPoint(0, half.height()), half)
                                              : QRect(QPoint(half.width(), 0), half),
                                      inactive);
            return image;
        };
        SaveBmp(twoLooks({60, kCaption}, true, kActiveCaption, kInactiveCaption),
                folder + "top.bmp");
        SaveBmp(twoLooks({60, kBorder}, true, kBorderActive, kBorderInactive),
                folder + "bottom.bmp");
        // The side borders' outer top corners are key coloured, 3 x 3.
        QImage left = twoLooks({kBorder, 40}, false, kBorderActive, kBorderInactive);
        QImage right = left;
        for (int look = 0; look < 2; ++look) {
            QPainter(&left).fillRect(look * kBorder, 0, 3, 3, kMagenta);
            QPainter(&right).fillRect(look * kBorder + kBorder - 3, 0, 3, 3, kMagenta);
        }
        SaveBmp(left, folder + "left.bmp");
        SaveBmp(right, folder + "right.bmp");
        QImage button(3 * kButtonW, kButtonH, QImage::Format_RGB32);
        for (int s = 0; s < 3; ++s)
            QPainter(&button).fillRect(s * kButtonW, 0, kButtonW, kButtonH, kButtonStates[s]);
        for (const char* name : {"close.bmp", "max.bmp", "min.bmp"}) SaveBmp(button, folder + name);
        SaveBmp(Filled(kBackgroundW, kBackgroundH, kBackgroundColour), folder + "back.bmp");
        buttons =
            "[Button0]\nButtonImage=close.bmp\nAction=0\nXCoord=20\nYCoord=3\n"
            "[Button1]\nButtonImage=max.bmp\nAction=1\nXCoord=40\nYCoord=3\n"
            "[Button2]\nButtonImage=min.bmp\nAction=2\nXCoord=60\nYCoord=3\n";
    }

    std::string Ini() const { return folder + "theme.ini"; }
    // Writes theme.ini; the frame bitmap values carry Windows folders, which are ignored.
    void Write() const {
        WriteText(Ini(),
                  "[Personality]\nTop=C:\\skins\\old\\top.bmp\nLeft=left.bmp\nRight=right.bmp\n"
                  "Bottom=bottom.bmp\nDialogBmp=back.bmp\nLeftTopHeight=3\nRightTopHeight=3\n"
                  "ButtonCount=" +
                      std::to_string(buttonCount) + "\n" + personality + buttons + extra);
    }
};

// Sends a mouse event to widget at local point p.
inline void SendMouse(QWidget* widget, QEvent::Type type, QPoint p, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(p), QPointF(widget->mapToGlobal(p)), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

inline bool SameRgb(QColor a, QColor b) {
    return a.rgb() == b.rgb();
}
