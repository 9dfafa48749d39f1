#pragma once
// The skinned frame's geometry as pure functions of its numbers: how an edge bitmap is cut and
// laid along its edge, where the client area and the caption buttons are, which part of the
// frame a point hits, and how a sizing drag moves the window's edges. Nothing here needs a
// widget or a picture.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>
#include <vector>

// Hit-test codes of the frame (the values of the Windows non-client codes).
enum SkinHitCode : int {
    HTNOWHERE = 0,
    HTCLIENT = 1,
    HTCAPTION = 2,
    HTSYSMENU = 3,
    HTMINBUTTON = 8,
    HTMAXBUTTON = 9,
    HTLEFT = 10,
    HTRIGHT = 11,
    HTTOP = 12,
    HTTOPLEFT = 13,
    HTTOPRIGHT = 14,
    HTBOTTOM = 15,
    HTBOTTOMLEFT = 16,
    HTBOTTOMRIGHT = 17,
    HTCLOSE = 20,
};

// The window state as the frame itself set it; what the window system does on its own (a
// maximize by the window manager) leaves it alone.
enum class SkinWindowState { Normal, Maximized, Minimized };

// An edge bitmap cut along its length into a fixed head (0 ... head-1), a body repeated over
// the edge (head ... tail-1, never empty) and a fixed tail (tail ... end).
struct EdgeCut {
    int head = 0;
    int tail = 0;
};
// The cut of a bitmap bitmapLength long for the skin's head and tail numbers, held inside
// the bitmap whatever the numbers (a huge one would otherwise tile the body for ever).
EdgeCut CutEdge(int bitmapLength, int headKey, int tailKey);

// One copy of a stretch of the bitmap: from ... from+length-1 along the bitmap, drawn at
// offset at from the edge's start.
struct EdgePiece {
    int from;
    int length;
    int at;
    bool operator==(const EdgePiece&) const = default;
};
// How the tail of an edge is placed: the caption bar and the bottom border leave out the
// bitmap's last column; the bottom border's tail ends one short of the edge's end.
struct EdgeTail {
    bool dropLastColumn = false;
    int endGap = 0;
};
// The pieces, in drawing order, that lay a bitmap cut so over an edge length long: the head,
// the body again and again (the last copy cut at the end), then the tail over whatever lies
// under it.
std::vector<EdgePiece> LayEdge(int bitmapLength, EdgeCut cut, int length, EdgeTail tail);

// A caption button as the skin places it: its left edge fromRight pixels left of the window's
// right edge, its top top pixels below the window's top, one state image in size. An empty
// size is never hit (no image, or an image narrower than its state count).
struct ButtonPlace {
    int fromRight = 0;
    int top = 0;
    QSize size;
};
QRect PlaceButton(const ButtonPlace& place, int windowWidth);

// The window styles the frame takes over at Attach.
struct FrameStyle {
    bool thickFrame = false;
    bool minimizeBox = false;
    bool maximizeBox = false;
};

struct FrameMetrics {
    int captionHeight = 0;
    int leftWidth = 0;
    int rightWidth = 0;
    int bottomHeight = 0;
    ButtonPlace close, maximize, minimize;
};

// Size of the window icon drawn in the caption (SM_CXSMICON x SM_CYSMICON).
constexpr int kSmallIconSize = 16;
// Top of the window icon and of the caption's hit band, pixels from the window's top.
constexpr int kCaptionBandTop = 5;

QRect FrameClientRect(const FrameMetrics& metrics, QSize window);
// Where the minimize button is drawn and hit: in the maximize button's place when the window
// has no maximize box.
QRect MinimizeButtonRect(const FrameMetrics& metrics, FrameStyle style, int windowWidth);
QRect SystemIconRect(const FrameMetrics& metrics);
// The hit-test code of a point in window coordinates of a window of the given size.
int FrameHitTest(const FrameMetrics& metrics, FrameStyle style, SkinWindowState state, QSize window,
                 QPoint point);

bool IsSizingCode(int code);
// The window edges a sizing code moves; none for any other code.
Qt::Edges EdgesOf(int code);
// The window's geometry after a drag by delta from start: the caption moves it, a sizing
// code moves its edges, never making it smaller than minimum.
QRect DraggedGeometry(int code, const QRect& start, QPoint delta, QSize minimum);
