#include "skin/SkinWnd.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "platform/Paths.h"
#include "platform/Profile.h"
#include "support/IniValues.h"
#include "support/LanguageTable.h"

namespace {

constexpr const char* kPersonality = "Personality";
constexpr const char* kColours = "Colours";
constexpr const char* kSystemMenuName = "tvqSystemMenu";

// The window menu's items, with their words in the language table.
struct SystemMenuItem {
    unsigned id;
    int text;  // user-interface text
};
constexpr SystemMenuItem kSystemMenuItems[] = {
    {SC_RESTORE, CLanguageTable::kUIRestore},   {SC_MOVE, CLanguageTable::kUIMove},
    {SC_SIZE, CLanguageTable::kUISize},         {SC_MINIMIZE, CLanguageTable::kUIMinimize},
    {SC_MAXIMIZE, CLanguageTable::kUIMaximize}, {SC_CLOSE, CLanguageTable::kUIClose}};

// The caption font is the fixed-size "System" font, which has one size only; its stand-in
// is a bold sans of about that size.
constexpr int kTitlePointSize = 9;
constexpr COLORREF kCaptionTextDefault = 0xFFFFFF;  // COLOR_CAPTIONTEXT

COLORREF FromQColor(const QColor& c) {
    return MakeColorRef(c.red(), c.green(), c.blue());
}

COLORREF SysColor(QPalette::ColorRole role) {
    return FromQColor(QApplication::palette().color(role));
}

bool PtInRect(int left, int top, int right, int bottom, int x, int y) {
    return x >= left && x < right && y >= top && y < bottom;
}

bool PtInRect(const QRect& r, int x, int y) {
    return !r.isEmpty() && r.contains(x, y);
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut + 1);
}

std::string ReadString(const char* section, const char* key, const std::string& ini) {
    return win::GetProfileString(section, key, "", ini, 255);
}

// Skin coordinates (button places, title offsets) are held to this distance from the window's
// edges, far beyond any screen and far inside the int range the rectangles are computed in.
constexpr int kMaxSkinCoordinate = 1 << 16;

int SkinCoordinate(int value) {
    return std::clamp(value, -kMaxSkinCoordinate, kMaxSkinCoordinate);
}

// Splits an edge of the given length at its head; the tail starts at length - tailKey,
// raised to head + 1 so the body is never empty. The skin's numbers are held inside the
// bitmap: a huge one would otherwise overflow and tile the body for ever.
void CutEdge(int length, int headKey, int tailKey, int* head, int* tail) {
    const int last = std::max(0, length - 1);
    *head = std::clamp(headKey, 0, last);
    *tail = length - std::clamp(tailKey, 0, length);
    if (*tail <= *head)
        *tail = *head + 1;
}

Qt::Edges EdgesOf(int code) {
    switch (code) {
        case HTLEFT:
            return Qt::LeftEdge;
        case HTRIGHT:
            return Qt::RightEdge;
        case HTTOP:
            return Qt::TopEdge;
        case HTBOTTOM:
            return Qt::BottomEdge;
        case HTTOPLEFT:
            return Qt::TopEdge | Qt::LeftEdge;
        case HTTOPRIGHT:
            return Qt::TopEdge | Qt::RightEdge;
        case HTBOTTOMLEFT:
            return Qt::BottomEdge | Qt::LeftEdge;
        case HTBOTTOMRIGHT:
            return Qt::BottomEdge | Qt::RightEdge;
        default:
            return {};
    }
}

// A shown window stays shown: setWindowFlags would hide it for a moment, and a dialog that is
// hidden ends its modal loop (the player would quit on a skin switch). Its window-system
// window takes the new flags in place.
void SetWindowFlagsInPlace(QWidget* window, Qt::WindowFlags flags) {
    QWindow* handle = window->windowHandle();
    if (!window->isVisible() || handle == nullptr) {
        window->setWindowFlags(flags);
        return;
    }
    window->overrideWindowFlags(flags);
    handle->setFlags(flags);
}

bool IsSizingCode(int code) {
    return code >= HTLEFT && code <= HTBOTTOMRIGHT;
}

Qt::CursorShape CursorOf(int code) {
    switch (code) {
        case HTLEFT:
        case HTRIGHT:
            return Qt::SizeHorCursor;
        case HTTOP:
        case HTBOTTOM:
            return Qt::SizeVerCursor;
        case HTTOPLEFT:
        case HTBOTTOMRIGHT:
            return Qt::SizeFDiagCursor;
        case HTTOPRIGHT:
        case HTBOTTOMLEFT:
            return Qt::SizeBDiagCursor;
        default:
            return Qt::ArrowCursor;
    }
}

}  // namespace

CSkinWnd::CSkinWnd() = default;

CSkinWnd::~CSkinWnd() = default;

void CSkinWnd::FreeBitmaps() {
    for (CSkinBitmap* b : {&top, &left, &right, &bottom, &background, &minimizeImage,
                           &maximizeImage, &closeImage, &restoreImage})
        b->DeleteObject();
    minimizeRect = maximizeRect = closeRect = restoreRect = win::RECT{};
}

int CSkinWnd::LoadSkin(const std::string& iniPath, const std::string& backgroundPath) {
    FreeBitmaps();
    loaded = 0;
    barColor = menuColor = kDefaultBarColor;
    const std::string folder = FolderOf(iniPath);
    if (!backgroundPath.empty()) {
        background.Load(backgroundPath);
    } else {
        const std::string name = ReadString(kPersonality, "DialogBmp", iniPath);
        if (!name.empty())
            background.Load(folder + "/" + win::FileNamePart(name));
    }
    const bool ok = LoadFrameBitmaps(iniPath, folder) && LoadButtonsFromIni(iniPath, folder);
    if (ok) {
        ReadColours(iniPath);
        loaded = 1;
    }
    UpdateFrame();
    return loaded;
}

bool CSkinWnd::LoadFrameBitmaps(const std::string& iniPath, const std::string& folder) {
    const struct {
        const char* key;
        CSkinBitmap* bitmap;
    } edges[] = {{"Top", &top}, {"Left", &left}, {"Right", &right}, {"Bottom", &bottom}};
    for (const auto& edge : edges) {
        const std::string name = ReadString(kPersonality, edge.key, iniPath);
        if (name.empty() || !edge.bitmap->Load(folder + "/" + win::FileNamePart(name)))
            return false;
    }
    captionHeight = top.Height() / 2;
    bottomHeight = bottom.Height() / 2;
    leftWidth = left.Width() / 2;
    rightWidth = right.Width() / 2;
    auto key = [&](const char* name) {
        return win::GetPrivateProfileInt(kPersonality, name, 0, iniPath);
    };
    CutEdge(top.Width(), key("TopTopHeight"), key("TopBotHeight"), &topHead, &topTail);
    CutEdge(left.Height(), key("LeftTopHeight"), key("LeftBotHeight"), &leftHead, &leftTail);
    CutEdge(right.Height(), key("RightTopHeight"), key("RightBotHeight"), &rightHead, &rightTail);
    CutEdge(bottom.Width(), key("BottomTopHeight"), key("BottomBotHeight"), &bottomHead,
            &bottomTail);
    return true;
}

bool CSkinWnd::LoadButtonsFromIni(const std::string& iniPath, const std::string& folder) {
    const int count = win::GetPrivateProfileInt(kPersonality, "ButtonCount", 0, iniPath);
    // A count of 0 or less would divide by zero; such images are taken as one state wide.
    buttonImgCount =
        std::max(1, win::GetPrivateProfileInt(kPersonality, "ButtonImgCount", 3, iniPath));
    for (int n = 0; n < count; ++n) {
        const std::string section = "Button" + std::to_string(n);
        const std::string name = ReadString(section.c_str(), "ButtonImage", iniPath);
        const int action = win::GetPrivateProfileInt(section.c_str(), "Action", 0, iniPath);
        const int xCoord =
            SkinCoordinate(win::GetPrivateProfileInt(section.c_str(), "XCoord", 0, iniPath));
        const int yCoord =
            SkinCoordinate(win::GetPrivateProfileInt(section.c_str(), "YCoord", 0, iniPath));
        CSkinBitmap* image = nullptr;
        win::RECT* rect = nullptr;
        if (action == 0) {
            image = &closeImage, rect = &closeRect;
        } else if (action == 1 && maximizeImage.IsEmpty()) {
            image = &maximizeImage, rect = &maximizeRect;
        } else if (action == 1) {
            image = &restoreImage, rect = &restoreRect;
        } else if (action == 2) {
            image = &minimizeImage, rect = &minimizeRect;
        } else {
            continue;
        }
        if (name.empty() || !image->Load(folder + "/" + win::FileNamePart(name)))
            return false;
        const int w = image->Width() / buttonImgCount;
        const int h = image->Height();
        *rect = win::RECT{xCoord - w, yCoord, xCoord, yCoord + h};
    }
    return true;
}

void CSkinWnd::ReadColours(const std::string& iniPath) {
    textShift = SkinCoordinate(win::GetPrivateProfileInt(kPersonality, "TextShift", 0, iniPath));
    textShiftVert =
        SkinCoordinate(win::GetPrivateProfileInt(kPersonality, "TextShiftVert", 0, iniPath));
    titleText = ReadIniColor(kColours, "TitleText", iniPath, kCaptionTextDefault);
    inactiveTitleText = ReadIniColor(kColours, "InactiveTitleText", iniPath, kCaptionTextDefault);
    usesTran = win::GetPrivateProfileInt(kPersonality, "UsesTran", 0, iniPath);
    if (usesTran != 0)
        transColor = ReadIniColor(kColours, "TransColor", iniPath, kDefaultTransColor);
    barColor = ReadIniColor(kColours, "BarColor", iniPath, kDefaultBarColor);
    menuColor = ReadIniColor(kColours, "MenuColor", iniPath, kDefaultBarColor);
    buttonFace = ReadIniColor(kColours, "ButtonFace", iniPath, SysColor(QPalette::Button));
    buttonText = ReadIniColor(kColours, "ButtonText", iniPath, SysColor(QPalette::ButtonText));
    buttonHilight = ReadIniColor(kColours, "ButtonHilight", iniPath, SysColor(QPalette::Button));
    buttonFocus = ReadIniColor(kColours, "ButtonFocus", iniPath, SysColor(QPalette::Button));
}

int CSkinWnd::Attach(QWidget* window, bool fit, QWidget* client) {
    if (window == nullptr || loaded == 0)
        return 0;
    CSubclassWnd::Attach(nullptr);
    CSubclassWnd::Attach(window);
    m_client = client;
    const Qt::WindowFlags flags = window->windowFlags();
    hadThickFrame = window->property(kThickFrameProperty).toBool() ? 1 : 0;
    hadMinimizeBox = (flags & Qt::WindowMinimizeButtonHint) ? 1 : 0;
    hadMaximizeBox = (flags & Qt::WindowMaximizeButtonHint) ? 1 : 0;
    m_flagsBeforeAttach = flags;
    m_minimumBeforeAttach = window->minimumSize();
    m_resizable = window->minimumSize() != window->maximumSize();
    m_frameTakenOver = false;
    window->setMouseTracking(true);
    // The sizing cursors are set on the window; the client keeps the arrow, since moving
    // from a border into it sends the window no further mouse event.
    if (client != nullptr && hadThickFrame)
        client->setCursor(Qt::ArrowCursor);
    UpdateFrame();
    if (fit)
        FitToBackground();
    return 1;
}

void CSkinWnd::TakeOverWindowFrame() {
    QWidget* window = Window();
    if (m_frameTakenOver)
        return;
    m_frameTakenOver = true;
    // The frame draws everything itself: the window system's decoration and buttons go.
    SetWindowFlagsInPlace(
        window, (m_flagsBeforeAttach & ~(Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint)) |
                    Qt::FramelessWindowHint);
}

void CSkinWnd::GiveBackWindowFrame() {
    QWidget* window = Window();
    if (!m_frameTakenOver)
        return;
    m_frameTakenOver = false;
    // Without a frame of our own the window must not be left without any: the window
    // system's caption, borders and buttons come back.
    SetWindowFlagsInPlace(window, m_flagsBeforeAttach);
    if (m_resizable)
        window->setMinimumSize(m_minimumBeforeAttach);
}

void CSkinWnd::FitToBackground() {
    QWidget* window = Window();
    if (window == nullptr || background.IsEmpty() || top.IsEmpty() || left.IsEmpty() ||
        right.IsEmpty() || bottom.IsEmpty())
        return;
    const QSize size(leftWidth + rightWidth + background.Width(),
                     captionHeight + bottomHeight + background.Height());
    if (window->minimumSize() == window->maximumSize())
        window->setFixedSize(size);
    window->resize(size);
    ApplyMargins();  // a hidden window gets its resize event only when shown
}

QRect CSkinWnd::ClientRect(QSize s) const {
    return QRect(leftWidth, captionHeight, s.width() - leftWidth - rightWidth,
                 s.height() - captionHeight - bottomHeight);
}

QSize CSkinWnd::MinimumTrackSize() const {
    return QSize(left.Width() + right.Width() + top.Width(), left.Height() + kMinTrackExtraHeight);
}

bool CSkinWnd::IsFrameShown() const {
    const QWidget* window = Window();
    return loaded != 0 && window != nullptr && !window->isFullScreen();
}

// Brings the window in line with the loaded state: window-system frame, margins, client
// place, outline, minimum size.
void CSkinWnd::UpdateFrame() {
    QWidget* window = Window();
    if (window == nullptr)
        return;
    if (loaded == 0) {
        // Without a frame the window keeps its plain look: no margins, no outline.
        GiveBackWindowFrame();
        window->setContentsMargins(0, 0, 0, 0);
        if (m_client != nullptr && window->layout() == nullptr)
            m_client->setGeometry(window->rect());
        window->clearMask();
        window->update();
        return;
    }
    TakeOverWindowFrame();
    ApplyMargins();
    ApplyRegion();
    ApplyMinimumSize();
    window->update();
}

void CSkinWnd::ApplyMargins() {
    QWidget* window = Window();
    // Full screen puts the frame off the screen: the client takes the whole window.
    const bool shown = IsFrameShown();
    if (shown)
        window->setContentsMargins(leftWidth, captionHeight, rightWidth, bottomHeight);
    else
        window->setContentsMargins(0, 0, 0, 0);
    if (m_client != nullptr && m_client->parentWidget() == window &&
        (window->layout() == nullptr || window->layout()->indexOf(m_client) < 0))
        m_client->setGeometry(shown ? ClientRect(window->size()) : window->rect());
}

void CSkinWnd::ApplyMinimumSize() {
    // The window system sizes the window too (its own sizing, a maximize, a resize asked
    // for by a program): the minimum is its size hint, not a check of our own drag only. A
    // window of fixed size stays as its dialog made it.
    if (m_resizable)
        Window()->setMinimumSize(m_minimumBeforeAttach.expandedTo(MinimumTrackSize()));
}

void CSkinWnd::ApplyRegion() {
    QWidget* window = Window();
    if (usesTran != 0 && IsFrameShown())
        window->setMask(BuildWindowRegion(window->size()));
    else
        window->clearMask();
}

// ---- messages --------------------------------------------------------------------------

bool CSkinWnd::OnMessage(QEvent* event) {
    QWidget* window = Window();
    if (window == nullptr)
        return false;
    if (loaded == 0)
        return CSubclassWnd::OnMessage(event);
    switch (event->type()) {
        case QEvent::Paint: {
            if (!IsFrameShown())
                return CallDefault();
            if (eraseBackground != 0 && !background.IsEmpty()) {
                QPainter painter(window);
                PaintBackground(painter, ClientRect(window->size()));
            }
            CallDefault();
            QPainter painter(window);
            PaintFrame(painter, window->size());
            return true;
        }
        case QEvent::Resize:
            CallDefault();
            ApplyMargins();
            ApplyRegion();
            window->update();
            return true;
        case QEvent::WindowActivate:
        case QEvent::WindowDeactivate:
            active = event->type() == QEvent::WindowActivate ? 1 : 0;
            CallDefault();
            window->update();
            return true;
        case QEvent::WindowTitleChange:
            CallDefault();
            title = window->windowTitle().toStdString();
            window->update();
            return true;
        case QEvent::Show:
            ApplyMargins();
            return CallDefault();
        case QEvent::WindowStateChange:
            if (windowState == 2 && !(window->windowState() & Qt::WindowMinimized)) {
                windowState = stateBeforeMinimize;
                window->update();
            }
            CallDefault();
            // Into or out of full screen: the frame leaves the screen or comes back.
            ApplyMargins();
            ApplyRegion();
            window->update();
            return true;
        case QEvent::MouseMove:
            return OnMouseMove(static_cast<QMouseEvent*>(event));
        case QEvent::MouseButtonPress:
            return OnMousePress(static_cast<QMouseEvent*>(event));
        case QEvent::MouseButtonRelease:
            return OnMouseRelease(static_cast<QMouseEvent*>(event));
        case QEvent::MouseButtonDblClick:
            return OnDoubleClick(static_cast<QMouseEvent*>(event));
        default:
            return CSubclassWnd::OnMessage(event);
    }
}

bool CSkinWnd::OnMouseMove(QMouseEvent* event) {
    QWidget* window = Window();
    if (m_dragCode != 0 && (event->buttons() & Qt::LeftButton)) {
        ContinueManualDrag(event->globalPosition().toPoint());
        return true;
    }
    m_dragCode = 0;
    const QPoint pos = event->position().toPoint();
    const int code = HitTest(pos.x(), pos.y());
    if (IsSizingCode(code))
        window->setCursor(CursorOf(code));
    else
        window->unsetCursor();
    hover = code;
    pressed = 0;
    if (code != hoverDrawn)
        window->update();
    hoverDrawn = code;
    return code == HTCLIENT ? CSubclassWnd::OnMessage(event) : true;
}

bool CSkinWnd::OnMousePress(QMouseEvent* event) {
    QWidget* window = Window();
    const QPoint pos = event->position().toPoint();
    const int code = HitTest(pos.x(), pos.y());
    if (code == HTCLIENT)
        return CSubclassWnd::OnMessage(event);
    if (event->button() == Qt::RightButton) {
        if (code == HTCAPTION)
            ShowSystemMenu(event->globalPosition().toPoint());
        return true;
    }
    if (event->button() != Qt::LeftButton)
        return true;
    pressed = hover = code;
    window->update();
    if (IsSizingCode(code) || (code == HTCAPTION && windowState != 1))
        StartMoveOrSize(code, event);
    else if (code == HTSYSMENU)
        ShowSystemMenu(event->globalPosition().toPoint());
    return true;
}

bool CSkinWnd::OnMouseRelease(QMouseEvent* event) {
    QWidget* window = Window();
    m_dragCode = 0;
    const QPoint pos = event->position().toPoint();
    const int code = HitTest(pos.x(), pos.y());
    if (code == HTCLIENT)
        return CSubclassWnd::OnMessage(event);
    if (event->button() != Qt::LeftButton)
        return true;
    bool stateChanged = false;
    if (code == HTCLOSE) {
        window->close();
    } else if (code == HTMINBUTTON) {
        Minimize();
        stateChanged = true;
    } else if (code == HTMAXBUTTON) {
        if (windowState != 1)
            Maximize();
        else
            Restore();
        stateChanged = true;
    }
    if (stateChanged) {
        hover = pressed = 0;
        window->update();
    }
    return true;
}

bool CSkinWnd::OnDoubleClick(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int code = HitTest(pos.x(), pos.y());
    if (code == HTCLIENT)
        return CSubclassWnd::OnMessage(event);
    if (code == HTCAPTION && hadThickFrame != 0 && event->button() == Qt::LeftButton) {
        if (windowState != 1)
            Maximize();
        else
            Restore();
        hover = pressed = 0;
        Window()->update();
    }
    return true;
}

void CSkinWnd::StartMoveOrSize(int code, QMouseEvent* event) {
    QWidget* window = Window();
    QWindow* handle = window->windowHandle();
    bool started = false;
    if (handle != nullptr)
        started = code == HTCAPTION ? handle->startSystemMove()
                                    : handle->startSystemResize(EdgesOf(code));
    if (started)
        return;
    // The window system cannot move or size for us: follow the mouse ourselves.
    m_dragCode = code;
    m_dragStartGlobal = event->globalPosition().toPoint();
    m_dragStartGeometry = window->geometry();
}

void CSkinWnd::ContinueManualDrag(QPoint globalPos) {
    QWidget* window = Window();
    const QPoint delta = globalPos - m_dragStartGlobal;
    QRect r = m_dragStartGeometry;
    if (m_dragCode == HTCAPTION) {
        window->move(r.topLeft() + delta);
        return;
    }
    const Qt::Edges edges = EdgesOf(m_dragCode);
    const QSize minimum = MinimumTrackSize();
    if (edges & Qt::LeftEdge)
        r.setLeft(std::min(r.left() + delta.x(), r.right() + 1 - minimum.width()));
    if (edges & Qt::RightEdge)
        r.setRight(std::max(r.right() + delta.x(), r.left() + minimum.width() - 1));
    if (edges & Qt::TopEdge)
        r.setTop(std::min(r.top() + delta.y(), r.bottom() + 1 - minimum.height()));
    if (edges & Qt::BottomEdge)
        r.setBottom(std::max(r.bottom() + delta.y(), r.top() + minimum.height() - 1));
    window->setGeometry(r);
}

// ---- hit testing -----------------------------------------------------------------------

QRect CSkinWnd::ButtonRectFor(int which, int windowWidth) const {
    const win::RECT* r = which == 0 ? &closeRect : which == 1 ? &maximizeRect : &minimizeRect;
    const CSkinBitmap* image = which == 0   ? &closeImage
                               : which == 1 ? &maximizeImage
                                            : &minimizeImage;
    if (image->IsEmpty())
        return {};
    const int w = r->right - r->left;
    const int h = r->bottom - r->top;
    return QRect(windowWidth - r->right, r->top, w, h);
}

QRect CSkinWnd::GetButtonRect(int which) const {
    return ButtonRectFor(which, Window() != nullptr ? Window()->width() : 0);
}

int CSkinWnd::HitTest(int x, int y) const {
    // The frame of a full-screen window is off the screen, its buttons too.
    if (Window() != nullptr && Window()->isFullScreen())
        return HTCLIENT;
    const int W = Window() != nullptr ? Window()->width() : 0;
    const int H = Window() != nullptr ? Window()->height() : 0;
    const QRect closeR = ButtonRectFor(0, W), maxR = ButtonRectFor(1, W),
                minR = ButtonRectFor(2, W);
    if (PtInRect(closeR, x, y))
        return HTCLOSE;
    if (PtInRect(minR, x, y) && hadMinimizeBox && hadMaximizeBox)
        return HTMINBUTTON;
    if (PtInRect(maxR, x, y) && hadMinimizeBox && !hadMaximizeBox)
        return HTMINBUTTON;
    if (PtInRect(maxR, x, y) && hadMaximizeBox)
        return HTMAXBUTTON;
    if (PtInRect(leftWidth, kCaptionBandTop, leftWidth + kSmallIconSize,
                 kCaptionBandTop + kSmallIconSize, x, y))
        return HTSYSMENU;
    if (hadThickFrame && windowState != 1) {
        const struct {
            int l, t, r, b, code;
        } borders[] = {
            {0, 0, leftWidth, captionHeight, HTTOPLEFT},
            {W - leftWidth, 0, W, captionHeight, HTTOPRIGHT},
            {0, H - bottomHeight, leftWidth, H, HTBOTTOMLEFT},
            {W - rightWidth, H - bottomHeight, W, H, HTBOTTOMRIGHT},
            {0, captionHeight, leftWidth, H - bottomHeight, HTLEFT},
            {W - rightWidth, captionHeight, W, H - bottomHeight, HTRIGHT},
            {leftWidth, H - bottomHeight, W - rightWidth, H, HTBOTTOM},
            {leftWidth, 0, W - rightWidth, bottomHeight, HTTOP},
        };
        for (const auto& b : borders)
            if (PtInRect(b.l, b.t, b.r, b.b, x, y))
                return b.code;
    }
    if (PtInRect(leftWidth, kCaptionBandTop, W - rightWidth, captionHeight, x, y))
        return HTCAPTION;
    return HTCLIENT;
}

// ---- painting --------------------------------------------------------------------------

void CSkinWnd::DrawTopEdge(QPainter& p, int x, int y, int length, bool inactive) const {
    const int h = captionHeight;
    const int srcY = inactive ? h : 0;
    const int width = top.Width();
    const int head = std::min(topHead, width);
    if (head > 0) {
        const QRect piece(0, srcY, head, h);
        top.Draw(p, x, y, &piece);
    }
    const int body = topTail - topHead;
    for (int pos = x + topHead; pos < x + length; pos += body) {
        const QRect piece(topHead, srcY, std::min(body, x + length - pos), h);
        top.Draw(p, pos, y, &piece);
    }
    // The last column of the bitmap is not part of the tail.
    const int tailWidth = width - 1 - topTail;
    if (tailWidth > 0) {
        const QRect tail(topTail, srcY, tailWidth, h);
        top.Draw(p, x + length + 1 - (width - topTail), y, &tail);
    }
}

void CSkinWnd::DrawBottomEdge(QPainter& p, int x, int y, int length, bool inactive) const {
    const int h = bottomHeight;
    const int srcY = inactive ? h : 0;
    const int width = bottom.Width();
    const int head = std::min(bottomHead, width);
    if (head > 0) {
        const QRect piece(0, srcY, head, h);
        bottom.Draw(p, x, y, &piece);
    }
    const int body = bottomTail - bottomHead;
    for (int pos = x + bottomHead; pos < x + length; pos += body) {
        const QRect piece(bottomHead, srcY, std::min(body, x + length - pos), h);
        bottom.Draw(p, pos, y, &piece);
    }
    const int tailWidth = width - 1 - bottomTail;
    if (tailWidth > 0) {
        const QRect tail(bottomTail, srcY, tailWidth, h);
        bottom.Draw(p, x + length - (width - bottomTail), y, &tail);
    }
}

namespace {

// A vertical edge: head rows, body rows repeated, tail rows ending at y + length.
void DrawVerticalEdge(const CSkinBitmap& bitmap, int halfWidth, int headRows, int tailRow,
                      QPainter& p, int x, int y, int length, bool inactive) {
    const int srcX = inactive ? halfWidth : 0;
    const int height = bitmap.Height();
    const int head = std::min(headRows, height);
    if (head > 0) {
        const QRect piece(srcX, 0, halfWidth, head);
        bitmap.Draw(p, x, y, &piece);
    }
    const int body = tailRow - headRows;
    for (int pos = y + headRows; pos < y + length; pos += body) {
        const QRect piece(srcX, headRows, halfWidth, std::min(body, y + length - pos));
        bitmap.Draw(p, x, pos, &piece);
    }
    const int tailHeight = height - tailRow;
    if (tailHeight > 0) {
        const QRect tail(srcX, tailRow, halfWidth, tailHeight);
        bitmap.Draw(p, x, y + length - tailHeight, &tail);
    }
}

}  // namespace

void CSkinWnd::DrawLeftEdge(QPainter& p, int x, int y, int length, bool inactive) const {
    DrawVerticalEdge(left, leftWidth, leftHead, leftTail, p, x, y, length, inactive);
}

void CSkinWnd::DrawRightEdge(QPainter& p, int x, int y, int length, bool inactive) const {
    DrawVerticalEdge(right, rightWidth, rightHead, rightTail, p, x, y, length, inactive);
}

void CSkinWnd::DrawCaptionButton(QPainter& p, int which, int state, int windowWidth) const {
    const CSkinBitmap* image = nullptr;
    QRect rect;
    if (which == 0) {
        if (closeImage.IsEmpty())
            return;
        image = &closeImage;
        rect = ButtonRectFor(0, windowWidth);
    } else if (which == 1) {
        if (!hadMaximizeBox || maximizeImage.IsEmpty())
            return;
        image = (windowState == 1 && !restoreImage.IsEmpty()) ? &restoreImage : &maximizeImage;
        rect = ButtonRectFor(1, windowWidth);
    } else {
        if (!hadMinimizeBox || minimizeImage.IsEmpty())
            return;
        image = &minimizeImage;
        // Without a maximize box the minimize button takes its place.
        const win::RECT& r = hadMaximizeBox ? minimizeRect : maximizeRect;
        rect = QRect(windowWidth - r.right, r.top, r.right - r.left, r.bottom - r.top);
    }
    const int w = image->Width() / buttonImgCount;
    const QRect source(w * state, 0, w, image->Height());
    image->DrawTransparent(p, rect.left(), rect.top(), &source, transColor, usesTran != 0);
}

QImage CSkinWnd::ComposeCaptionStrip(int width, bool inactive) const {
    if (width <= 0 || captionHeight <= 0)
        return {};
    QImage strip(width, captionHeight, QImage::Format_RGB32);
    strip.fill(Qt::black);
    QPainter p(&strip);
    DrawTopEdge(p, leftWidth, 0, width - leftWidth - rightWidth + 1, inactive);
    DrawLeftEdge(p, 0, 0, left.Height(), inactive);
    DrawRightEdge(p, width - rightWidth, 0, right.Height(), inactive);
    return strip;
}

void CSkinWnd::PaintFrame(QPainter& painter, QSize size) {
    const int W = size.width(), H = size.height();
    const bool inactive = active == 0;
    painter.save();
    painter.setClipRect(QRect(0, captionHeight, W, H - captionHeight));
    DrawLeftEdge(painter, 0, 0, H, inactive);
    DrawRightEdge(painter, W - rightWidth, 0, H, inactive);
    DrawBottomEdge(painter, leftWidth, H - bottomHeight, W - leftWidth - rightWidth, inactive);
    painter.restore();

    QImage strip = ComposeCaptionStrip(W, inactive);
    if (strip.isNull())
        return;
    // Key-colour pixels of the caption bar itself are left unpainted (buttons and title
    // drawn over them later do not change the outline).
    const QRegion opaque = usesTran != 0 ? CSkinBitmap::RegionOfImage(strip, transColor)
                                         : QRegion(0, 0, W, captionHeight);
    {
        QPainter mem(&strip);
        const int codes[3] = {HTCLOSE, HTMINBUTTON, HTMAXBUTTON};
        const int which[3] = {0, 2, 1};
        for (int i = 0; i < 3; ++i) {
            const int state = pressed == codes[i] ? 1 : hover == codes[i] ? 2 : 0;
            DrawCaptionButton(mem, which[i], state, W);
        }
        DrawIconAndTitle(mem, W);
    }
    painter.save();
    painter.setClipRegion(opaque);
    painter.drawImage(0, 0, strip);
    painter.restore();
}

void CSkinWnd::DrawIconAndTitle(QPainter& p, int windowWidth) {
    QWidget* window = Window();
    if (window == nullptr)
        return;
    const QIcon icon = window->windowIcon();
    if (!icon.isNull())
        icon.paint(&p, QRect(leftWidth, kCaptionBandTop, kSmallIconSize, kSmallIconSize));
    if (title.empty())
        title = window->windowTitle().toStdString();
    p.setPen(CSkinBitmap::ToRgb(active != 0 ? titleText : inactiveTitleText));
    QFont font = window->font();
    font.setPointSize(kTitlePointSize);
    font.setBold(true);
    p.setFont(font);
    const QRect textRect(textShift, textShiftVert,
                         windowWidth - (top.Width() - topTail) - textShift,
                         captionHeight - textShiftVert);
    if (textRect.width() <= 0 || textRect.height() <= 0)
        return;
    const QString text =
        p.fontMetrics().elidedText(QString::fromStdString(title), Qt::ElideRight, textRect.width());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void CSkinWnd::DrawSplitBackground(QPainter& p, const QImage& picture, QPoint split,
                                   const QRect& target) {
    const int bw = picture.width(), bh = picture.height();
    if (bw <= 0 || bh <= 0 || target.isEmpty())
        return;
    // Along one axis: the bitmap up to and with the split line, the split line stretched over
    // the extra room, and the rest shifted by that room.
    struct Span {
        int from, length, to, toLength;
    };
    const auto spans = [](int size, int at, int extra, Span* out) {
        const int s = std::clamp(at, 0, size - 1);
        out[0] = {0, s + 1, 0, s + 1};
        out[1] = {s, 1, s + 1, extra};
        out[2] = {s + 1, size - s - 1, s + 1 + extra, size - s - 1};
    };
    Span xs[3], ys[3];
    spans(bw, split.x(), std::max(0, target.width() - bw), xs);
    spans(bh, split.y(), std::max(0, target.height() - bh), ys);
    p.save();
    p.setClipRect(target);
    for (const Span& y : ys)
        for (const Span& x : xs) {
            if (x.length <= 0 || x.toLength <= 0 || y.length <= 0 || y.toLength <= 0)
                continue;
            p.drawImage(QRect(target.left() + x.to, target.top() + y.to, x.toLength, y.toLength),
                        picture, QRect(x.from, y.from, x.length, y.length));
        }
    p.restore();
}

void CSkinWnd::PaintBackground(QPainter& p, const QRect& client) const {
    const int bw = background.Width(), bh = background.Height();
    if (bw <= 0 || bh <= 0 || client.isEmpty())
        return;
    if (backgroundSplit.x() >= 0 && backgroundSplit.y() >= 0 &&
        (client.width() > bw || client.height() > bh)) {
        DrawSplitBackground(p, background.Image(), backgroundSplit, client);
        return;
    }
    p.save();
    p.setClipRect(client);
    for (int row = 0; row < client.height() / bh + 1; ++row)
        for (int column = 0; column < client.width() / bw + 1; ++column)
            background.Draw(p, client.left() + column * bw, client.top() + row * bh);
    p.restore();
}

QRegion CSkinWnd::BuildWindowRegion(QSize size) const {
    const int W = size.width(), H = size.height();
    const QRegion below(0, captionHeight, W, std::max(0, H - captionHeight));
    const QImage strip = ComposeCaptionStrip(W, false);
    return below.xored(CSkinBitmap::RegionOfImage(strip, transColor));
}

// ---- window states and the system menu -------------------------------------------------

void CSkinWnd::Maximize() {
    QWidget* window = Window();
    if (window == nullptr)
        return;
    QScreen* screen =
        window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : window->geometry();
    savedRect = window->geometry();
    windowState = 1;
    window->setGeometry(work);
    window->update();
}

void CSkinWnd::Restore() {
    QWidget* window = Window();
    if (window == nullptr || windowState != 1)
        return;
    window->setGeometry(savedRect);
    windowState = 0;
    window->update();
}

void CSkinWnd::Minimize() {
    QWidget* window = Window();
    if (window == nullptr)
        return;
    stateBeforeMinimize = windowState;
    windowState = 2;
    window->showMinimized();
}

void CSkinWnd::RestoreFromSysCommand() {
    QWidget* window = Window();
    if (windowState == 1) {
        Restore();
    } else if (windowState == 2) {
        window->showNormal();
        windowState = stateBeforeMinimize;
        window->update();
    } else {
        window->showNormal();
    }
}

QMenu* CSkinWnd::GetSystemMenu(QWidget* window) {
    if (window == nullptr)
        return nullptr;
    if (auto* menu = window->findChild<QMenu*>(kSystemMenuName, Qt::FindDirectChildrenOnly))
        return menu;
    auto* menu = new QMenu(window);
    menu->setObjectName(kSystemMenuName);
    const CLanguageTable& texts = LanguageTable();
    for (const SystemMenuItem& item : kSystemMenuItems) {
        if (item.id == SC_CLOSE)
            menu->addSeparator();
        // Like the about item, an item whose word the language file leaves empty is left out.
        const std::string& text = texts.UIInfo(item.text);
        if (!text.empty())
            menu->addAction(QString::fromStdString(text))->setData(item.id);
    }
    return menu;
}

QMenu* CSkinWnd::PrepareSystemMenu() const {
    QMenu* menu = GetSystemMenu(Window());
    if (menu == nullptr)
        return nullptr;
    const QWidget* window = Window();
    const bool maximized = windowState == 1 || window->isMaximized();
    const bool minimized = windowState == 2 || window->isMinimized();
    for (QAction* action : menu->actions()) {
        switch (action->data().toUInt()) {
            case SC_RESTORE:
                action->setEnabled(maximized || minimized);
                break;
            case SC_MOVE:
                action->setEnabled(!maximized);
                break;
            case SC_SIZE:
                action->setEnabled(hadThickFrame != 0 && !maximized && !minimized);
                break;
            case SC_MINIMIZE:
                action->setEnabled(hadMinimizeBox != 0 && !minimized);
                break;
            case SC_MAXIMIZE:
                action->setEnabled(hadMaximizeBox != 0 && !maximized);
                break;
            default:
                break;
        }
    }
    return menu;
}

void CSkinWnd::ShowSystemMenu(QPoint globalPos) {
    QMenu* menu = PrepareSystemMenu();
    if (menu == nullptr)
        return;
    QAction* chosen = menu->exec(globalPos);
    if (chosen != nullptr && Window() != nullptr)
        OnSystemMenuCommand(chosen->data().toUInt());
}

void CSkinWnd::OnSystemMenuCommand(unsigned id) {
    QWidget* window = Window();
    if (window == nullptr)
        return;
    switch (id) {
        case SC_MAXIMIZE:
            Maximize();
            break;
        case SC_MINIMIZE:
            Minimize();
            break;
        case SC_RESTORE:
            RestoreFromSysCommand();
            break;
        case SC_CLOSE:
            window->close();
            break;
        case SC_MOVE:
            if (window->windowHandle() != nullptr)
                window->windowHandle()->startSystemMove();
            break;
        case SC_SIZE:
            if (window->windowHandle() != nullptr)
                window->windowHandle()->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
            break;
        default:
            if (m_sysCommandHandler)
                m_sysCommandHandler(id);
            break;
    }
}
