#include "skin/SkinLabel.h"

#include <QPainter>

CSkinLabel::CSkinLabel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CSkinLabel::~CSkinLabel() = default;

void CSkinLabel::SetBackground(const std::string& path, bool fileNameOnlyFlag) {
    fileNameOnly = fileNameOnlyFlag;
    if (!path.empty()) {
        m_background.DeleteObject();
        m_background.Load(path);
    }
    update();
}

void CSkinLabel::SetText(const std::string& newText) {
    text = newText;
    update();
}

void CSkinLabel::SetTextColor(COLORREF color) {
    textColor = color;
    update();
}

std::string CSkinLabel::DisplayedText() const {
    // Only a backslash ends a folder here: a '/' is an ordinary character of the texts the
    // labels show (a notice with a web address, "25/s").
    if (!fileNameOnly)
        return text;
    const size_t cut = text.rfind('\\');
    return cut == std::string::npos ? text : text.substr(cut + 1);
}

void CSkinLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Without a background picture the label shows what an empty memory picture holds.
    painter.fillRect(rect(), Qt::black);
    if (!m_background.IsEmpty()) {
        // The piece of the dialog background under the label, in the parent's coordinates.
        const QRect source(pos(), size());
        m_background.Draw(painter, 0, 0, &source);
    }
    const std::string shown = DisplayedText();
    if (shown.empty())
        return;
    painter.setPen(CSkinBitmap::ToRgb(textColor));
    painter.setFont(parentWidget() != nullptr ? parentWidget()->font() : font());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromStdString(shown));
}
