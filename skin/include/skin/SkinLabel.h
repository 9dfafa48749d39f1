#pragma once
// A static text that paints the piece of the dialog's background picture lying under it and
// its text over that, so it looks transparent on the skinned background.
#include <QWidget>
#include <string>

#include "skin/SkinBitmap.h"

class CSkinLabel : public QWidget {
    Q_OBJECT

public:
    static constexpr COLORREF kDefaultTextColor = 0xE64533;

    explicit CSkinLabel(QWidget* parent = nullptr);
    ~CSkinLabel() override;

    // Keeps fileNameOnly; a non-empty path replaces the background picture (a picture that
    // does not load leaves the label painting from an empty background).
    void SetBackground(const std::string& path, bool fileNameOnly);
    void SetText(const std::string& text);
    const std::string& GetText() const { return text; }
    // The text as painted: with fileNameOnly only the part after the last '\'.
    std::string DisplayedText() const;
    void SetTextColor(COLORREF color);
    bool FileNameOnly() const { return fileNameOnly; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string text;
    COLORREF textColor = kDefaultTextColor;
    bool fileNameOnly = true;
    CSkinBitmap m_background;
};
