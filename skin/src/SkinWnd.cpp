#include "skin/SkinWnd.h"

#include <QEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace {

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

int CSkinWnd::LoadSkin(const std::string& iniPath, const std::string& backgroundPath) {
    loaded = m_theme.Load(iniPath, backgroundPath) ? 1 : 0;
    m_painter.Reset();
    m_regionStale = true;
    UpdateFrame();
    return loaded;
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
    m_regionStale = true;
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
    const CSkinBitmap& background = Background();
    if (window == nullptr || background.IsEmpty())
        return;
    for (SkinPart edge : {SkinPart::Top, SkinPart::Left, SkinPart::Right, SkinPart::Bottom})
        if (m_theme.Part(edge).IsEmpty())
            return;
    const FrameMetrics& m = Metrics();
    const QSize size(m.leftWidth + m.rightWidth + background.Width(),
                     m.captionHeight + m.bottomHeight + background.Height());
    if (window->minimumSize() == window->maximumSize())
        window->setFixedSize(size);
    window->resize(size);
    ApplyMargins();  // a hidden window gets its resize event only when shown
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
        m_regionSet = false;
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
    const FrameMetrics& m = Metrics();
    if (shown)
        window->setContentsMargins(m.leftWidth, m.captionHeight, m.rightWidth, m.bottomHeight);
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
    const bool outlined = m_theme.UsesTran() && IsFrameShown();
    if (!m_regionStale && outlined == m_regionSet && (!outlined || window->size() == m_regionSize))
        return;
    m_regionStale = false;
    m_regionSet = outlined;
    m_regionSize = window->size();
    if (outlined)
        window->setMask(BuildWindowRegion(window->size()));
    else
        window->clearMask();
}

QRegion CSkinWnd::BuildWindowRegion(QSize size) const {
    return m_painter.WindowRegion(size);
}

FrameLook CSkinWnd::Look() {
    FrameLook look;
    look.active = active != 0;
    look.hover = hover;
    look.pressed = pressed;
    look.state = windowState;
    look.style = Style();
    if (QWidget* window = Window()) {
        look.icon = window->windowIcon();
        look.font = window->font();
        if (title.empty())
            title = window->windowTitle().toStdString();
        look.title = QString::fromStdString(title);
    }
    return look;
}

void CSkinWnd::PaintFrame(QPainter& painter, QSize size) {
    m_painter.PaintFrame(painter, size, Look());
}

// ---- messages --------------------------------------------------------------------------

bool CSkinWnd::OnMessage(QEvent* event) {
    QWidget* window = Window();
    if (window == nullptr)
        return false;
    if (loaded == 0)
        return CSubclassWnd::OnMessage(event);
    switch (event->type()) {
        case QEvent::Paint:
            return OnPaint(window);
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
            if (windowState == WindowState::Minimized &&
                !(window->windowState() & Qt::WindowMinimized)) {
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

bool CSkinWnd::OnPaint(QWidget* window) {
    if (!IsFrameShown())
        return CallDefault();
    if (eraseBackground != 0 && !Background().IsEmpty()) {
        QPainter painter(window);
        m_painter.PaintBackground(painter, ClientRect(window->size()), backgroundSplit);
    }
    CallDefault();
    QPainter painter(window);
    PaintFrame(painter, window->size());
    return true;
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
    if (IsSizingCode(code) || (code == HTCAPTION && windowState != WindowState::Maximized))
        StartMoveOrSize(code, event);
    else if (code == HTSYSMENU)
        ShowSystemMenu(event->globalPosition().toPoint());
    return true;
}

void CSkinWnd::MaximizeOrRestore() {
    if (windowState != WindowState::Maximized)
        Maximize();
    else
        Restore();
    hover = pressed = 0;
    Window()->update();
}

bool CSkinWnd::OnMouseRelease(QMouseEvent* event) {
    m_dragCode = 0;
    const QPoint pos = event->position().toPoint();
    const int code = HitTest(pos.x(), pos.y());
    if (code == HTCLIENT)
        return CSubclassWnd::OnMessage(event);
    if (event->button() != Qt::LeftButton)
        return true;
    if (code == HTCLOSE) {
        Window()->close();
    } else if (code == HTMINBUTTON) {
        Minimize();
        hover = pressed = 0;
        Window()->update();
    } else if (code == HTMAXBUTTON) {
        MaximizeOrRestore();
    }
    return true;
}

bool CSkinWnd::OnDoubleClick(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int code = HitTest(pos.x(), pos.y());
    if (code == HTCLIENT)
        return CSubclassWnd::OnMessage(event);
    if (code == HTCAPTION && hadThickFrame != 0 && event->button() == Qt::LeftButton)
        MaximizeOrRestore();
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
    const QRect r = DraggedGeometry(m_dragCode, m_dragStartGeometry, globalPos - m_dragStartGlobal,
                                    MinimumTrackSize());
    if (m_dragCode == HTCAPTION)
        window->move(r.topLeft());
    else
        window->setGeometry(r);
}

// ---- hit testing -----------------------------------------------------------------------

QRect CSkinWnd::GetButtonRect(int which) const {
    const SkinPart part = which == 0   ? SkinPart::Close
                          : which == 1 ? SkinPart::Maximize
                                       : SkinPart::Minimize;
    if (m_theme.Part(part).IsEmpty())
        return {};
    const ButtonPlace& place = which == 0   ? Metrics().close
                               : which == 1 ? Metrics().maximize
                                            : Metrics().minimize;
    return PlaceButton(place, Window() != nullptr ? Window()->width() : 0);
}

int CSkinWnd::HitTest(int x, int y) const {
    const QWidget* window = Window();
    // The frame of a full-screen window is off the screen, its buttons too.
    if (window != nullptr && window->isFullScreen())
        return HTCLIENT;
    const QSize size = window != nullptr ? window->size() : QSize(0, 0);
    return FrameHitTest(Metrics(), Style(), windowState, size, QPoint(x, y));
}
