#include "skin/SkinButton.h"

#include <QPainter>
#include <QPalette>

namespace {

// The caption font of the buttons; fontconfig maps the name to the system's CJK serif.
const char* const kButtonFontFamilies[] = {"SimSun", "\xE5\xAE\x8B\xE4\xBD\x93"};

}  // namespace

CSkinButton::CSkinButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont captionFont = font();
    captionFont.setFamilies(
        {QString::fromUtf8(kButtonFontFamilies[0]), QString::fromUtf8(kButtonFontFamilies[1])});
    setFont(captionFont);
    m_textColor = palette().color(QPalette::ButtonText);
}

CSkinButton::~CSkinButton() = default;

bool CSkinButton::SetBitmaps(const std::string& normalPath, const std::string& pressedPath,
                             const std::string& disabledPath, const std::string& backgroundPath) {
    loaded = false;
    CSkinBitmap normal, background, pressedPicture, disabled;
    if (!normal.Load(normalPath) || !background.Load(backgroundPath) ||
        !pressedPicture.Load(pressedPath) || !disabled.Load(disabledPath)) {
        update();
        return false;
    }
    m_focused.SetImage(normal.Image());
    m_normal = std::move(normal);
    m_background = std::move(background);
    m_pressed = std::move(pressedPicture);
    m_disabled = std::move(disabled);
    // Each state picture sizes the button in turn; the focused one (the normal picture) is
    // built last and decides.
    resize(m_focused.Size());
    loaded = true;
    update();
    return true;
}

void CSkinButton::SetTooltipText(const char* text, bool activate) {
    if (text == nullptr)
        return;
    setToolTip(activate ? QString::fromUtf8(text) : QString());
}

void CSkinButton::SetDrawMode(int mode) {
    drawMode = mode;
    update();
}

void CSkinButton::SetUseBackgroundImage(bool use) {
    useBackgroundImage = use;
    update();
}

void CSkinButton::SetTextColor(QColor color) {
    m_textColor = color;
    update();
}

QSize CSkinButton::sizeHint() const {
    if (loaded)
        return m_normal.Size();
    return QAbstractButton::sizeHint().isValid() ? QAbstractButton::sizeHint() : QSize(40, 24);
}

const CSkinBitmap* CSkinButton::PickImage(const CSkinBitmap** overlay, bool* textShift) const {
    *overlay = nullptr;
    *textShift = false;
    switch (drawMode) {
        case 1:
            return &m_normal;
        case 2:
            return &m_pressed;
        case 0:
            break;
        default:
            return nullptr;
    }
    if (useBackgroundImage)
        return &m_background;
    if (hasFocus()) {
        if (isDown()) {
            *overlay = &m_pressed;
            *textShift = true;
        }
        return &m_focused;
    }
    if (!isEnabled())
        return &m_disabled;
    return &m_normal;
}

void CSkinButton::DrawKeyed(QPainter& painter, const CSkinBitmap& image) {
    image.DrawTransparent(painter, 0, 0, nullptr, kKeyColor, true);
}

void CSkinButton::paintEvent(QPaintEvent*) {
    QImage canvas(size(), QImage::Format_RGB32);
    if (canvas.isNull())
        return;
    canvas.fill(palette().color(QPalette::Button));
    {
        QPainter mem(&canvas);
        const CSkinBitmap* overlay = nullptr;
        bool textShift = false;
        const CSkinBitmap* image = PickImage(&overlay, &textShift);
        if (loaded && image != nullptr)
            DrawKeyed(mem, *image);
        if (loaded && overlay != nullptr)
            DrawKeyed(mem, *overlay);
        const QString caption = text();
        if (!caption.isEmpty()) {
            mem.setFont(font());
            mem.setPen(isEnabled() ? m_textColor
                                   : palette().color(QPalette::Disabled, QPalette::WindowText));
            QRect textRect = rect();
            if (textShift)
                textRect.translate(kPressedTextShift, 0);
            mem.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, caption);
        }
    }
    QPainter painter(this);
    painter.drawImage(0, 0, canvas);
}
