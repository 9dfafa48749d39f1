// The main window's size for the movie that starts: a picture larger than the video area gets
// a larger window, so it is shown whole at its own size where the screen has room.
#include <QGuiApplication>
#include <QScreen>

#include "app/PlayerDlg.h"
#include "app/WindowFit.h"
#include "display/VideoWnd.h"

void CPlayerDlg::FitToPicture(QSize picture) {
    if (m_video == nullptr || picture.isEmpty() || !m_mainSkin->Layout().layoutValid ||
        !m_mainSkin->Frame().IsLoaded() || m_mainSkin->AttachPending())
        return;
    // The user's own arrangements win: full screen, a maximised or minimised window.
    if (m_video->IsFullScreen() || isFullScreen() || isMaximized() || isMinimized() ||
        m_mainSkin->Frame().GetWindowState() != SkinWindowState::Normal)
        return;
    // A size other than the one last given was the user's choice: grow from that from now on.
    if (!m_fitBaseSize.isValid() || (m_fittedSize.isValid() && size() != m_fittedSize))
        m_fitBaseSize = size();
    QRect available;
    if (m_availableGeometry) {
        available = m_availableGeometry();
    } else if (QScreen* screen =
                   this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        available = screen->availableGeometry();
    }
    // Everything around the picture area keeps its size as the layout grows the video window.
    const QSize area = m_video->PictureArea();
    const QRect target = FitWindowToPicture({geometry(), m_fitBaseSize, area, picture, available});
    m_fittedSize = target.size();
    if (target != geometry())
        setGeometry(target);
}
