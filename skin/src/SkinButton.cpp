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
    CSkinBitmap background;
    background.LoadKeyed(backgroundPath, kKeyColor);  // left empty, it fails the call below
    return SetBitmaps(normalPath, pressedPath, disabledPath, background);
}

bool CSkinButton::SetBitmaps(const std::string& normalPath, const std::string& pressedPath,
                             const std::string& disabledPath, const CSkinBitmap& background) {
    loaded = false;
    CSkinBitmap normal, pressedPicture, disabled;
    // Keyed once here, so that a paint only draws.
    if (!normal.LoadKeyed(normalPath, kKeyColor) || background.IsEmpty() ||
        !pressedPicture.LoadKeyed(pressedPath, kKeyColor) ||
        !disabled.LoadKeyed(disabledPath, kKeyColor)) {
        update();
        return false;
    }
    m_focused.SetImage(normal.Image());
    m_normal = std::move(normal);
    m_background.SetImage(background.Image());  // shares the pixels
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

void CSkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The key pixels of the pictures show the button face.
    painter.fillRect(rect(), palette().color(QPalette::Button));
    const CSkinBitmap* overlay = nullptr;
    bool textShift = false;
    const CSkinBitmap* image = PickImage(&overlay, &textShift);
    if (loaded && image != nullptr)
        image->Draw(painter, 0, 0);
    if (loaded && overlay != nullptr)
        overlay->Draw(painter, 0, 0);
    const QString caption = text();
    if (caption.isEmpty())
        return;
    painter.setFont(font());
    painter.setPen(isEnabled() ? m_textColor
                               : palette().color(QPalette::Disabled, QPalette::WindowText));
    QRect textRect = rect();
    if (textShift)
        textRect.translate(kPressedTextShift, 0);
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, caption);
}
