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
// Threads: user-interface thread only.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <functional>
#include <string>

#include "platform/WinTypes.h"
#include "skin/SkinBitmap.h"
#include "skin/SubclassWnd.h"

class QMenu;
class QMouseEvent;
class QPainter;

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
    static constexpr const char* kThickFrameProperty = "thickFrame";
    // Size of the window icon drawn in the caption (SM_CXSMICON x SM_CYSMICON).
    static constexpr int kSmallIconSize = 16;
    // Top of the window icon and of the caption's hit band, pixels from the window's top.
    static constexpr int kCaptionBandTop = 5;
    // Extra minimum height below the side borders' bitmap height.
    static constexpr int kMinTrackExtraHeight = 20;
    // Default of the colours the skin may leave out.
    static constexpr COLORREF kDefaultBarColor = 0xCFCFCF;
    static constexpr COLORREF kDefaultTransColor = 0xFF00FF;

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
                                    const QRect& target);

    bool OnMessage(QEvent* event) override;

    // The hit-test code of a point in window coordinates.
    int HitTest(int x, int y) const;
    // A caption button's rectangle in window coordinates: which 0 close, 1 maximize/restore,
    // 2 minimize. Empty when that button's image is not loaded.
    QRect GetButtonRect(int which) const;
    // The window outline with UsesTran: the caption band's non-key pixels plus everything
    // below it, for a window of size.
    QRegion BuildWindowRegion(QSize size) const;
    // The caption strip (W x captionHeight) as PaintFrame composes it, before buttons, icon
    // and title, in the active or inactive state.
    QImage ComposeCaptionStrip(int width, bool inactive) const;
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
    int GetWindowState() const { return windowState; }
    int CaptionHeight() const { return captionHeight; }
    int LeftWidth() const { return leftWidth; }
    int RightWidth() const { return rightWidth; }
    int BottomHeight() const { return bottomHeight; }
    int UsesTran() const { return usesTran; }
    COLORREF TransColor() const { return transColor; }
    COLORREF TitleTextColor() const { return titleText; }
    const CSkinBitmap& Background() const { return background; }
    QRect ClientRect(QSize windowSize) const;
    int Hover() const { return hover; }
    int Pressed() const { return pressed; }
    const std::string& Title() const { return title; }
    int TopHead() const { return topHead; }
    int TopTail() const { return topTail; }
    QSize MinimumTrackSize() const;
    // Whether the frame is drawn: loaded, attached and the window not full screen.
    bool IsFrameShown() const;

private:
    void FreeBitmaps();
    bool LoadFrameBitmaps(const std::string& iniPath, const std::string& folder);
    bool LoadButtonsFromIni(const std::string& iniPath, const std::string& folder);
    void ReadColours(const std::string& iniPath);
    void ApplyMargins();
    void ApplyRegion();
    void ApplyMinimumSize();
    void UpdateFrame();
    // The window-system frame off (frameless, without its system menu and boxes) or back on.
    void TakeOverWindowFrame();
    void GiveBackWindowFrame();

    void DrawTopEdge(QPainter& p, int x, int y, int length, bool inactive) const;
    void DrawLeftEdge(QPainter& p, int x, int y, int length, bool inactive) const;
    void DrawRightEdge(QPainter& p, int x, int y, int length, bool inactive) const;
    void DrawBottomEdge(QPainter& p, int x, int y, int length, bool inactive) const;
    void DrawCaptionButton(QPainter& p, int which, int state, int windowWidth) const;
    QRect ButtonRectFor(int which, int windowWidth) const;
    void DrawIconAndTitle(QPainter& p, int windowWidth);
    void PaintBackground(QPainter& p, const QRect& client) const;

    bool OnMouseMove(QMouseEvent* event);
    bool OnMousePress(QMouseEvent* event);
    bool OnMouseRelease(QMouseEvent* event);
    bool OnDoubleClick(QMouseEvent* event);
    void StartMoveOrSize(int code, QMouseEvent* event);
    void ContinueManualDrag(QPoint globalPos);
    void RestoreFromSysCommand();

    QWidget* Window() const { return GetHookedWindow(); }

    std::string title;
    CSkinBitmap top, left, right, bottom;
    CSkinBitmap background;
    int hoverDrawn = 0, hover = 0, pressed = 0;
    int topHead = 0, topTail = 0;
    int leftHead = 0, leftTail = 0;
    int rightHead = 0, rightTail = 0;
    int bottomHead = 0, bottomTail = 0;
    CSkinBitmap minimizeImage, maximizeImage, closeImage, restoreImage;
    // As read: (XCoord - w, YCoord, XCoord, YCoord + h), w x h the size of one state image.
    win::RECT minimizeRect, maximizeRect, closeRect, restoreRect;
    int buttonImgCount = 3;
    QRect savedRect;
    int windowState = 0;  // 0 normal, 1 maximized by the frame, 2 minimized by the frame
    int stateBeforeMinimize = 0;
    int hadThickFrame = 0, hadMinimizeBox = 0, hadMaximizeBox = 0;
    int captionHeight = 0, leftWidth = 0, rightWidth = 0, bottomHeight = 0;
    int textShift = 0, textShiftVert = 0;
    COLORREF titleText = 0, inactiveTitleText = 0, transColor = kDefaultTransColor;
    // Read and kept for skins that describe them; nothing draws with them.
    COLORREF barColor = kDefaultBarColor, menuColor = kDefaultBarColor, buttonFace = 0,
             buttonText = 0, buttonHilight = 0, buttonFocus = 0;
    int usesTran = 0;
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
    std::function<void(unsigned)> m_sysCommandHandler;
    // Moving or sizing by hand when the window system cannot do it.
    int m_dragCode = 0;
    QPoint m_dragStartGlobal;
    QRect m_dragStartGeometry;
};
