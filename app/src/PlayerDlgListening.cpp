// The main dialog's volume and resume: the user's level and mute handed to the playlist
// player and kept in the settings, and the position each movie is left at.
#include <QWheelEvent>
#include <algorithm>
#include <string>

#include "app/PlayerDlg.h"
#include "app/PlaylistView.h"
#include "display/VideoWnd.h"
#include "engine/Messages.h"
#include "platform/Paths.h"
#include "support/LanguageTable.h"

void CPlayerDlg::SetUpListening() {
    m_prefs = std::make_unique<CPlaybackPrefs>(m_settingsFile.Path());
    m_prefs->Load();
    m_player->SetVolume(m_prefs->VolumePercent(), m_prefs->Muted());
    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(kNoticeMs);
    connect(&m_noticeTimer, &QTimer::timeout, this, [this] {
        if (m_video)
            m_video->SetNoticeText("");
    });

    m_resumeStore = std::make_shared<CResumeStore>(win::WritableFolder(m_programFolder) +
                                                   CResumeStore::kFileName);
    if (!m_prefs->Resume())
        return;
    // Asked on the playlist thread: the store locks itself, the length comes from the file.
    m_player->SetStartQuery([store = m_resumeStore](const std::string& path) {
        return store->StartSecond(path, CPlaylistView::ReadMovieLength(path));
    });
}

void CPlayerDlg::SetVolumePercent(int percent) {
    ApplyVolume(percent, m_prefs->Muted());
}

void CPlayerDlg::ToggleMute() {
    ApplyVolume(m_prefs->VolumePercent(), !m_prefs->Muted());
}

void CPlayerDlg::ApplyVolume(int percent, bool muted) {
    m_prefs->SetVolume(percent, muted);
    m_player->SetVolume(m_prefs->VolumePercent(), m_prefs->Muted());
    if (m_video) {
        const CLanguageTable& texts = LanguageTable();
        m_video->SetNoticeText(m_prefs->Muted()
                                   ? texts.UIInfo(CLanguageTable::kUIMuted)
                                   : texts.UIInfo(CLanguageTable::kUIVolume) + " " +
                                         std::to_string(m_prefs->VolumePercent()) + "%");
        m_noticeTimer.start();
    }
    PublishState();
}

bool CPlayerDlg::OnVideoWheel(int angleDelta) {
    // Touchpads send fractions of a notch; only whole notches move the level.
    m_wheelDelta += angleDelta;
    const int notches = m_wheelDelta / kWheelNotch;
    m_wheelDelta %= kWheelNotch;
    if (notches != 0)
        SetVolumePercent(VolumePercent() + notches * kVolumeStepPercent);
    return true;
}

void CPlayerDlg::KeepResumePosition(int32_t second) {
    if (m_resumeFile.empty())
        return;
    if (m_prefs->Resume())
        m_resumeStore->Keep(m_resumeFile, second, m_resumeLength);
    m_resumeFile.clear();
}
