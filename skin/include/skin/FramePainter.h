#pragma once
// Paints a skinned frame from its theme: the borders, the caption band (its edges, the caption
// buttons, the window icon and the title) and the client background. The caption band's
// edges and the part of them that is painted are composed once per window width and active
// state and kept until the width or the skin changes, so a paint only draws.
//
// Threads: user-interface thread only.
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QString>

#include "skin/FrameGeometry.h"
#include "skin/SkinTheme.h"

// What of the window the frame shows besides its theme.
struct FrameLook {
    bool active = false;
    int hover = 0;    // hit code under the mouse
    int pressed = 0;  // hit code of the caption button held down
    SkinWindowState state = SkinWindowState::Normal;
    FrameStyle style;
    QIcon icon;
    QString title;
    QFont font;  // the window's; the title takes its family
};

class CFramePainter {
public:
    // The caption band of a window width wide (width x captionHeight) with its edges only,
    // and the part of it that is painted: with UsesTran its non-key pixels, else all of it.
    struct Caption {
        int width = -1;
        QImage strip;
        QRegion opaque;
    };

    explicit CFramePainter(const CSkinTheme& theme) : m_theme(theme) {}

    // The skin changed: the composed captions are stale.
    void Reset();
    const Caption& CaptionFor(int width, bool inactive);
    // The window outline: the caption band's non-key pixels in the active look, and
    // everything below it.
    QRegion WindowRegion(QSize size);
    // The whole frame of a window of size, in window coordinates.
    void PaintFrame(QPainter& painter, QSize size, const FrameLook& look);
    // The client area: the background picture tiled from its top-left corner, or split at
    // split (see CSkinWnd::SetBackgroundSplit) when split is set and the client is larger.
    void PaintBackground(QPainter& painter, const QRect& client, QPoint split) const;
    static void DrawSplitBackground(QPainter& painter, const QImage& picture, QPoint split,
                                    const QRect& target);

private:
    Caption Compose(int width, bool inactive) const;
    void DrawEdge(QPainter& p, SkinPart part, int height, EdgeTail tail, int x, int y, int length,
                  bool inactive) const;
    void DrawTopEdge(QPainter& p, int x, int y, int length, bool inactive) const;
    void DrawBottomEdge(QPainter& p, int x, int y, int length, bool inactive) const;
    void DrawSideEdge(QPainter& p, SkinPart edge, int x, int y, int length, bool inactive) const;
    void DrawCaptionButtons(QPainter& p, const FrameLook& look, int windowWidth) const;
    void DrawIconAndTitle(QPainter& p, const FrameLook& look, int windowWidth) const;

    const CSkinTheme& m_theme;
    Caption m_captions[2];  // active, inactive
};
