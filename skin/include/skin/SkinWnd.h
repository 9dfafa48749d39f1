#pragma once
// The skinned window frame: replaces a top-level window's whole frame (caption bar, borders,
// caption buttons, window icon, title) with bitmaps described in theme.ini, and can cut the
// window's outline to the opaque pixels of its caption.
//
// On Qt the window becomes frameless; its contents margins are the frame thicknesses, so the
// client widget (the dialog's controls) sits inside the frame and keeps its own
// coordinates. The frame paints itself on the window, hit-tests the mouse itself and hands
// moving and sizing to the window system (startSystemMove/startSystemResize, with a manual
// fallback where the window system offers neither).
//
// Window styles: the minimize and maximize boxes are the window's Qt::WindowMinimizeButtonHint
// and Qt::WindowMaximizeButtonHint; Qt has no sizing-border style, so a window that wants one
// sets the dynamic property kThickFrameProperty to true before Attach. While no frame is
// loaded (a skin that failed to load after Attach) the window has its window-system frame
// and flags back; a later successful load takes them over again.
//
// Full screen: while the window is full screen its frame is off the screen: no margins (the
// client covers the whole window), no outline, nothing of the frame painted or hit.
//
// The minimum tracking size holds for every resize of a resizable window, the window
// system's included, not only for the frame's own sizing by hand.
//
// The theme's values and pictures are CSkinTheme's, the frame's geometry and hit tests are
// the pure functions of FrameGeometry.h and its painting is CFramePainter's; this class is the
// behaviour: hooking the window, its messages, window states, system menu and dragging.
//
// Threads: user-interface thread only.
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <functional>
#include <string>

#include "skin/FrameGeometry.h"
#include "skin/FramePainter.h"
#include "skin/SkinBitmap.h"
#include "skin/SkinTheme.h"
#include "skin/SubclassWnd.h"

class QMenu;
class QMouseEvent;
class QPainter;

// System-menu command identifiers.
enum SkinSysCommand : unsigned {
    SC_SIZE = 0xF000,
    SC_MOVE = 0xF010,
    SC_MINIMIZE = 0xF020,
    SC_MAXIMIZE = 0xF030,
    SC_CLOSE = 0xF060,
    SC_RESTORE = 0xF120,
};

class CSkinWnd : public CSubclassWnd {
public:
    using WindowState = SkinWindowState;
    static constexpr const char* kThickFrameProperty = "thickFrame";

    CSkinWnd();
    ~CSkinWnd() override;

    // Reads [Personality], [Button<n>] and [Colours] of iniPath and loads the frame bitmaps
    // (file names taken from the folder of iniPath). backgroundPath empty: the client
    // background comes from [Personality] DialogBmp. TRUE (1) when the frame loaded.
    int LoadSkin(const std::string& iniPath, const std::string& backgroundPath = {});
    // Hooks the window and takes over its frame; fit also calls FitToBackground. The client
    // widget, when given and not managed by a layout, is kept on the client area. FALSE (0)
    // when window is null or no skin is loaded.
    int Attach(QWidget* window, bool fit, QWidget* client = nullptr);
    // Null detaches (always succeeds); a window is hooked as by Attach (window, false).
    int Attach(QWidget* window) override {
        return window == nullptr ? CSubclassWnd::Attach(nullptr) : Attach(window, false, nullptr);
    }
    // Resizes the window so that its client area is exactly the background bitmap.
    void FitToBackground();
    // A client area larger than the background bitmap is tiled with it, unless a split point
    // (in bitmap coordinates) is set: then each of the bitmap's four parts around the point
    // keeps its corner and the row and column through the point are stretched over the extra
    // room, so a window that grows keeps its panels and borders whole. (-1, -1): tiled.
    void SetBackgroundSplit(QPoint split) { backgroundSplit = split; }
    QPoint BackgroundSplit() const { return backgroundSplit; }
    // Draws picture split at split over target; at the picture's size a plain copy.
    static void DrawSplitBackground(QPainter& painter, const QImage& picture, QPoint split,
                                    const QRect& target) {
        CFramePainter::DrawSplitBackground(painter, picture, split, target);
    }

    bool OnMessage(QEvent* event) override;

    // The hit-test code of a point in window coordinates.
    int HitTest(int x, int y) const;
    // A caption button's rectangle in window coordinates: which 0 close, 1 maximize/restore,
    // 2 minimize. Empty when that button's image is not loaded.
    QRect GetButtonRect(int which) const;
    // The window outline with UsesTran: the caption band's non-key pixels plus everything
    // below it, for a window of size.
    QRegion BuildWindowRegion(QSize size) const;
    // Paints the whole frame of a window of size into painter (window coordinates).
    void PaintFrame(QPainter& painter, QSize size);

    void Maximize();
    void Minimize();
    void Restore();
    void ShowSystemMenu(QPoint globalPos);
    void OnSystemMenuCommand(unsigned id);
    // The window's system menu (created on first use, a child of the window), its words from
    // the language table. Its actions carry their command identifiers as data; a dialog may
    // append its own items, whose choice reaches the system-command handler.
    static QMenu* GetSystemMenu(QWidget* window);
    // The hooked window's system menu with each item enabled as the window's state allows
    // (Restore only when maximized or minimized, Size only with a sizing border, ...), as it
    // is about to be shown.
    QMenu* PrepareSystemMenu() const;
    // Called with system-menu identifiers the frame does not handle itself.
    void SetSystemCommandHandler(std::function<void(unsigned id)> handler) {
        m_sysCommandHandler = std::move(handler);
    }

    // Read access for the dialogs and the tests.
    int IsLoaded() const { return loaded; }
    WindowState GetWindowState() const { return windowState; }
    const CSkinTheme& Theme() const { return m_theme; }
    int CaptionHeight() const { return Metrics().captionHeight; }
    int LeftWidth() const { return Metrics().leftWidth; }
    int RightWidth() const { return Metrics().rightWidth; }
    int BottomHeight() const { return Metrics().bottomHeight; }
    int UsesTran() const { return m_theme.UsesTran() ? 1 : 0; }
    COLORREF TransColor() const { return m_theme.TransColor(); }
    const CSkinBitmap& Background() const { return m_theme.Part(SkinPart::Background); }
    QRect ClientRect(QSize windowSize) const { return FrameClientRect(Metrics(), windowSize); }
    int Hover() const { return hover; }
    int Pressed() const { return pressed; }
    const std::string& Title() const { return title; }
    int TopHead() const { return m_theme.Cut(SkinPart::Top).head; }
    int TopTail() const { return m_theme.Cut(SkinPart::Top).tail; }
    QSize MinimumTrackSize() const { return m_theme.MinimumTrackSize(); }
    // Whether the frame is drawn: loaded, attached and the window not full screen.
    bool IsFrameShown() const;

private:
    const FrameMetrics& Metrics() const { return m_theme.Metrics(); }
    FrameStyle Style() const {
        return {hadThickFrame != 0, hadMinimizeBox != 0, hadMaximizeBox != 0};
    }
    void ApplyMargins();
    // The window's outline, worked out again only when its size, the skin or whether the
    // frame is shown changed.
    void ApplyRegion();
    void ApplyMinimumSize();
    void UpdateFrame();
    // The window-system frame off (frameless, without its system menu and boxes) or back on.
    void TakeOverWindowFrame();
    void GiveBackWindowFrame();
    FrameLook Look();

    bool OnPaint(QWidget* window);
    bool OnMouseMove(QMouseEvent* event);
    bool OnMousePress(QMouseEvent* event);
    bool OnMouseRelease(QMouseEvent* event);
    bool OnDoubleClick(QMouseEvent* event);
    void MaximizeOrRestore();
    void StartMoveOrSize(int code, QMouseEvent* event);
    void ContinueManualDrag(QPoint globalPos);
    void RestoreFromSysCommand();

    QWidget* Window() const { return GetHookedWindow(); }

    CSkinTheme m_theme;
    // Caches the caption composed from m_theme; painting through a const frame fills it too.
    mutable CFramePainter m_painter{m_theme};
    std::string title;
    int hoverDrawn = 0, hover = 0, pressed = 0;
    QRect savedRect;
    WindowState windowState = WindowState::Normal;
    WindowState stateBeforeMinimize = WindowState::Normal;
    int hadThickFrame = 0, hadMinimizeBox = 0, hadMaximizeBox = 0;
    int loaded = 0;
    int active = 0;
    int eraseBackground = 1;
    QPoint backgroundSplit{-1, -1};

    QWidget* m_client = nullptr;  // kept on the client area when not in a layout
    // What the window had before the frame took it over, given back while no skin is loaded.
    Qt::WindowFlags m_flagsBeforeAttach;
    QSize m_minimumBeforeAttach;
    bool m_resizable = false;  // its minimum and maximum sizes differed at Attach
    bool m_frameTakenOver = false;
    // The outline last given to the window: for which size, and whether one was set at all.
    QSize m_regionSize;
    bool m_regionSet = false;
    bool m_regionStale = true;
    std::function<void(unsigned)> m_sysCommandHandler;
    // Moving or sizing by hand when the window system cannot do it.
    int m_dragCode = 0;
    QPoint m_dragStartGlobal;
    QRect m_dragStartGeometry;
};
