// The main dialog's seek preview: the picture of the second under the mouse on the slider,
// from a second handle of the playing file.
#include "app/PlayerDlg.h"
#include "app/SeekPreviewPopup.h"
#include "display/VideoWnd.h"
#include "engine/Messages.h"
#include "support/SkinSliderCtrl.h"

void CPlayerDlg::SetUpPreview() {
    m_preview = new CSeekPreviewPopup(m_client);
    connect(m_preview, &CSeekPreviewPopup::PictureArrived, this, [this](int second, bool shown) {
        if (shown)
            Trace("preview " + std::to_string(second));
    });
    m_slider->SetHoverHandlers([this](int x) { OnSliderHover(x); },
                               [this] { m_preview->EndHover(); });
    // Full screen covers the slider without it seeing the mouse leave.
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_video && m_video->IsFullScreen())
            m_preview->EndHover();
    });
}

void CPlayerDlg::OnSliderHover(int x) {
    const bool shown = m_slider->isVisible() && !(m_video && m_video->IsFullScreen());
    if (!m_playing || !shown || m_slider->maximum() <= m_slider->minimum()) {
        m_preview->EndHover();
        return;
    }
    // The second a click here would seek to, the popup standing on the slider's top edge.
    m_preview->HoverAt(ClickPosition(x), m_slider->mapTo(m_client, QPoint(x, 0)));
}
