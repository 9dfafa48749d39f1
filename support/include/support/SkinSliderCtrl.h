#pragma once
// The seek slider whose whole look comes from the skin: its groove shows the piece of the
// dialog's background picture under the control (so it looks transparent on the skinned
// dialog) and its thumb is the skin's "thumb-p.bmp". Range, position and notifications are
// QSlider's own.
//
// Only the skin pictures are ever drawn: before SetSkin, or with a picture missing, that part
// is left undrawn (black), never the default look.
#include <QImage>
#include <QSlider>
#include <functional>
#include <string>

#include "support/PictureBitmap.h"

class CSkinSliderCtrl : public QSlider {
public:
    static constexpr const char* kThumbFile = "thumb-p.bmp";
    // The thumb picture is drawn this many pixels wider than the thumb rectangle.
    static constexpr int kThumbExtraWidth = 3;

    explicit CSkinSliderCtrl(QWidget* parent = nullptr);
    ~CSkinSliderCtrl() override;

    // skinFolder ends with a separator. Takes the snapshot of backgroundPath under the
    // control's current place in its parent and loads the thumb. Calling it again replaces
    // both pictures.
    void SetSkin(const std::string& skinFolder, const std::string& backgroundPath);
    bool IsSkinned() const { return m_skinned; }
    // Replaces the background snapshot with a picture of what lies under the control, for a
    // dialog that draws its background larger than the picture file (a grown window).
    void SetBackgroundSnapshot(const QImage& snapshot) {
        m_snapshot = snapshot;
        update();
    }

    // The thumb rectangle in client coordinates (TBM_GETTHUMBRECT).
    QRect GetThumbRect() const;
    // The channel rectangle in client coordinates (TBM_GETCHANNELRECT).
    QRect GetChannelRect() const;
    const QImage& BackgroundSnapshot() const { return m_snapshot; }

    // Reports the mouse over the slider, with or without a button held: `moved` with its x in
    // the slider, `left` when it leaves. Setting them makes the slider track the mouse.
    void SetHoverHandlers(std::function<void(int x)> moved, std::function<void()> left);

protected:
    void paintEvent(QPaintEvent* event) override;
    void sliderChange(SliderChange change) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    CPictureBitmap m_thumb;
    QImage m_snapshot;  // the background under the control at SetSkin time
    bool m_skinned = false;
    QRect DrawnThumbRect() const;  // the thumb with the few pixels its bitmap reaches past it
    QRect m_paintedThumb;          // where the last paint drew the thumb
    std::function<void(int x)> m_hoverMoved;
    std::function<void()> m_hoverLeft;
};
