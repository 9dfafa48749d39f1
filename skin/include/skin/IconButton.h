#pragma once
// A flat push button with a hover border, an optional icon and a tooltip: the closing button
// of the secondary dialogs.
#include <QAbstractButton>
#include <QIcon>
#include <QImage>

class CIconButton : public QAbstractButton {
    Q_OBJECT

public:
    enum Alignment { IconLeft = 0, IconAbove = 1, IconRight = 2 };
    // Pixels between the icon and the edge it leans on.
    static constexpr int kIconMargin = 3;
    static constexpr int kFocusInset = 3;

    explicit CIconButton(QWidget* parent = nullptr);
    ~CIconButton() override;

    // A null icon removes it (the text then takes the whole button).
    void SetIcon(const QIcon& icon, QSize size = QSize(32, 32));
    void SetTooltipText(const char* text, bool activate = true);
    void SetAlign(int alignment, bool redraw = true);
    void SetFlat(bool flat);
    void SetTransparent(bool transparent);
    bool IsHovered() const { return hover; }
    bool IsFlat() const { return flat; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void CaptureParentBackground();
    void DrawBorder(QPainter& p, QRect rect, bool pressedLook) const;
    void DrawIconAndText(QPainter& p, QRect rect, bool pressedLook) const;

    QIcon m_icon;
    QSize m_iconSize;
    int alignment = IconLeft;
    bool flat = true;
    bool hover = false;
    bool transparent = false;
    QImage m_parentBackground;  // captured on the first paint when transparent
};
