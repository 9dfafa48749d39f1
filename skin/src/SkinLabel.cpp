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
    QImage canvas(size(), QImage::Format_RGB32);
    if (canvas.isNull())
        return;
    // Without a background picture the label shows what an empty memory picture holds.
    canvas.fill(Qt::black);
    {
        QPainter mem(&canvas);
        if (!m_background.IsEmpty()) {
            // The piece of the dialog background under the label, in the parent's coordinates.
            const QRect source(pos(), size());
            m_background.Draw(mem, 0, 0, &source);
        }
        const std::string shown = DisplayedText();
        if (!shown.empty()) {
            mem.setPen(CSkinBitmap::ToRgb(textColor));
            mem.setFont(parentWidget() != nullptr ? parentWidget()->font() : font());
            mem.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         QString::fromStdString(shown));
        }
    }
    QPainter painter(this);
    painter.drawImage(0, 0, canvas);
}
