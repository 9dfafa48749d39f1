#pragma once
// The small picture above the seek slider of the second under the mouse, with that second's
// time beneath it. It follows the mouse at once; its picture comes from the worker
// (CSeekPreview) a few milliseconds later and, while the mouse sweeps on, may be of a second
// passed over on the way: the time shown is always the picture's own.
//
// It never takes the mouse or the focus, so the slider under and beside it keeps every event.
//
// Threads: user-interface thread; the worker's pictures are handed over as queued calls, and
// those of a file no longer previewed are dropped.
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>

#include "app/SeekPreview.h"

class CSeekPreviewPopup : public QWidget {
    Q_OBJECT

public:
    // The room the picture may take; a 16:9 movie gets 160 x 90.
    static constexpr int kBoxWidth = 160;
    static constexpr int kBoxHeight = 120;
    static constexpr int kBorder = 1;          // px around the picture and the time
    static constexpr int kGapAboveSlider = 2;  // px between the popup and the slider's top

    // parent: the widget whose coordinates HoverAt's anchor is in (the dialog's client).
    explicit CSeekPreviewPopup(QWidget* parent, QSize box = QSize(kBoxWidth, kBoxHeight));
    ~CSeekPreviewPopup() override;

    // Previews `path` from now on (the file is opened on the first hover).
    void SetFile(const std::string& path);
    // No file to preview: the worker ends and the popup hides.
    void CloseFile();
    bool HasFile() const { return m_worker.IsOpen(); }

    // The mouse is over `second`; anchor: the mouse's x and the slider's top, in the parent's
    // coordinates. The popup stands above the anchor, centred on it, inside the parent.
    void HoverAt(int32_t second, QPoint anchor);
    // The mouse left the slider (or the slider cannot be seen): hidden until the next hover.
    void EndHover();

    // The second whose picture is shown (-1 before any), and the picture itself.
    int32_t PictureSecond() const { return m_picture.second; }
    const QImage& Picture() const { return m_picture.image; }

signals:
    // A picture arrived for the hovered file (null when its second has none).
    void PictureArrived(int second, bool hasPicture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnPicture(const CSeekPreview::Picture& picture);
    void ForgetPicture();
    void Place();
    int TextBandHeight() const;

    // User-interface thread only.
    int32_t m_wanted = -1;     // the second under the mouse
    int32_t m_requested = -1;  // the second last asked of the worker
    bool m_hovering = false;
    QPoint m_anchor;
    CSeekPreview::Picture m_picture;
    QString m_timeText;
    // Last, so that it ends first: no picture is handed over while the rest is torn down.
    CSeekPreview m_worker;
};
