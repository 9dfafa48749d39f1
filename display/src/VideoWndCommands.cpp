// The display menu's commands: zoom, options kept in the settings file, speeds and the
// property box (posted to the dialog), and full screen.
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>

#include "display/VideoWnd.h"
#include "engine/Messages.h"

namespace {
constexpr float kZoomInFactor = 1.25f;
constexpr float kZoomOutFactor = 0.75f;
constexpr float kNaturalZoom = CPlayerSettings::kNaturalZoom;

// The monitor the window is on, which full screen covers (not the primary one).
QRect ScreenGeometryOf(const QWidget* window) {
    const QScreen* screen =
        window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry() : QRect();
}
}  // namespace

// ---- menu ------------------------------------------------------------------------------

display_menu::MenuState CVideoWnd::CurrentMenuState() const {
    display_menu::MenuState s;
    s.repeat = GetRepeat();
    s.fullScreen = IsFullScreen();
    s.adjust = GetAdjust();
    s.speed = GetSpeed();
    s.speedMode = GetSpeedMode();
    s.displayMode = GetDisplayMode();
    return s;
}

std::unique_ptr<QMenu> CVideoWnd::BuildContextMenu() {
    return display_menu::Build(CurrentMenuState(), this);
}

void CVideoWnd::ShowContextMenu() {
    ShowContextMenu(QCursor::pos());
}

void CVideoWnd::ShowContextMenu(const QPoint& globalPos) {
    const std::unique_ptr<QMenu> menu = BuildContextMenu();
    const QAction* chosen = menu->exec(globalPos);
    if (chosen)
        OnCommand(chosen->data().toInt());
}

void CVideoWnd::OnCommand(int id) {
    using namespace display_menu;
    const auto post = [this](uint32_t message) {
        if (dialog_)
            dialog_->PostMessage(message, 0, 0);
    };
    switch (id) {
        case kAmplify:
            ZoomIn();
            return;
        case kReduce:
            ZoomOut();
            return;
        case kEqual:
            ZoomReset();
            return;
        case kRepeat:
            ToggleRepeat();
            return;
        case kFullScreen:
            ToggleFullScreen();
            return;
        case kAdjust:
            ToggleAdjust();
            return;
        case kForward1X:
            post(WM_SPEED_FORWARD_1X);
            return;
        case kForward2X:
            post(WM_SPEED_FORWARD_2X);
            return;
        case kForward4X:
            post(WM_SPEED_FORWARD_4X);
            return;
        case kForward8X:
            post(WM_SPEED_FORWARD_8X);
            return;
        case kProperty:
            post(WM_SHOW_PROPERTY);
            return;
        default:
            break;
    }
    if (DisplayMode mode; DisplayModeOfCommand(id, &mode))
        SetDisplayMode(mode);
}

void CVideoWnd::ToggleRepeat() {
    settings_->SetRepeat(!settings_->Repeat());
    SettingsChanged();
}

void CVideoWnd::ToggleAdjust() {
    settings_->SetAdjust(!settings_->Adjust());
    SettingsChanged();
}

void CVideoWnd::SetDisplayMode(DisplayMode mode) {
    settings_->SetDisplayMode(mode);
    SetDisplayModeValue(mode);
    SettingsChanged();
}

void CVideoWnd::SettingsChanged() {
    if (settingsChanged_)
        settingsChanged_();
}

// ---- zoom ------------------------------------------------------------------------------
// None of these repaints: the next frame (or the title timer) shows the new size.

void CVideoWnd::ZoomIn() {
    if (IsFullScreen())
        return;
    // The unturned picture, also in the turned modes.
    const win::BITMAPINFOHEADER f = GetPictureFormat();
    if (f.biWidth <= 0 || f.biHeight <= 0)
        return;
    const double sx = static_cast<double>(width()) / f.biWidth;
    const double sy = static_cast<double>(GetVideoAreaBottom()) / f.biHeight;
    const float candidate = GetZoom() * kZoomInFactor;
    if (candidate < std::min(sx, sy))
        SetZoom(candidate);
}

void CVideoWnd::ZoomOut() {
    if (IsFullScreen())
        return;
    const float zoom = GetZoom();
    SetZoom(zoom <= kNaturalZoom ? kNaturalZoom : std::max(zoom * kZoomOutFactor, kNaturalZoom));
}

void CVideoWnd::ZoomReset() {
    if (!IsFullScreen())
        SetZoom(kNaturalZoom);
}

void CVideoWnd::FitZoom() {
    const float zoom = GetZoom();
    if (zoom <= kNaturalZoom)
        return;
    const win::BITMAPINFOHEADER f = GetPictureFormat();
    const int w = static_cast<int>(f.biWidth * zoom);
    const int h = static_cast<int>(f.biHeight * zoom);
    const int areaBottom = GetVideoAreaBottom();
    if (w <= width() && h <= areaBottom)
        return;
    if (w <= 0 || h <= 0)
        return;
    const double factor =
        std::min(static_cast<double>(width()) / w, static_cast<double>(areaBottom) / h);
    if (factor < 0)
        return;
    SetZoom(std::max(static_cast<float>(zoom * factor), kNaturalZoom));
}

QSize CVideoWnd::ShownPictureSize() const {
    if (!GetOverlay().hasStream)
        return QSize();
    const win::BITMAPINFOHEADER f = GetPictureFormat();
    if (f.biWidth <= 0 || f.biHeight <= 0)
        return QSize();
    return IsQuarterTurn(GetDisplayMode()) ? QSize(f.biHeight, f.biWidth)
                                           : QSize(f.biWidth, f.biHeight);
}

// ---- full screen -----------------------------------------------------------------------

void CVideoWnd::ToggleFullScreen() {
    settings_->SetFullScreen(!IsFullScreen());
    if (IsFullScreen())
        EnterFullScreen();
    else
        RestoreMainWindow();
}

void CVideoWnd::LeaveFullScreen() {
    if (!IsFullScreen())
        return;
    settings_->SetFullScreen(false);
    RestoreMainWindow();
}

void CVideoWnd::EnterFullScreen() {
    QWidget* main = window();
    const QRect screen = ScreenGeometryOf(main);
    // A window partly off its screen is first brought onto it, so that leaving full screen
    // returns it somewhere visible.
    const QRect r = main->frameGeometry();
    if (!screen.contains(r)) {
        main->move(screen.left() + std::max(0, (screen.width() - r.width()) / 2),
                   screen.top() + std::max(0, (screen.height() - r.height()) / 2));
    }
    savedMainRect_ = main->geometry();
    savedMainFullScreen_ = main->isFullScreen();
    savedVideoRect_ = geometry();
    screenSize_ = screen.size();
    if (main == this) {
        showFullScreen();
        return;
    }
    // The window system gives the whole monitor to the main window, whose skinned frame then
    // leaves the screen; this window covers the dialog's client area up to the monitor's
    // size, above its sibling controls.
    main->showFullScreen();
    main->installEventFilter(this);
    ApplyFullScreenGeometry();
}

void CVideoWnd::ApplyFullScreenGeometry() {
    QWidget* main = window();
    if (main == this || !IsFullScreen())
        return;
    const QPoint parentOrigin =
        parentWidget() ? parentWidget()->mapTo(main, QPoint(0, 0)) : QPoint(0, 0);
    const QRect wanted(-parentOrigin, screenSize_);
    if (geometry() != wanted)
        setGeometry(wanted);
    raise();
}

bool CVideoWnd::eventFilter(QObject* watched, QEvent* event) {
    // The dialog lays out its controls on every resize, the one full screen causes too; put
    // this window back over the screen after it has done so. The size is the window
    // system's answer: the monitor it chose to cover, which may not be the one the window
    // was mostly on.
    if (watched == window() && event->type() == QEvent::Resize && IsFullScreen()) {
        screenSize_ = static_cast<QResizeEvent*>(event)->size();
        QMetaObject::invokeMethod(this, &CVideoWnd::ApplyFullScreenGeometry, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void CVideoWnd::RestoreMainWindow() {
    QWidget* main = window();
    if (main != this)
        main->removeEventFilter(this);
    if (!savedMainRect_.isValid())
        return;
    if (!savedMainFullScreen_)
        main->showNormal();
    main->setGeometry(savedMainRect_);
    main->show();
    if (main == this)
        return;
    setGeometry(savedVideoRect_);
    // The dialog lays out its controls again as after any resize.
    QResizeEvent resize(main->size(), main->size());
    QCoreApplication::sendEvent(main, &resize);
}
