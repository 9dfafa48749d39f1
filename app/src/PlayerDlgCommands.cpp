// The main dialog's commands, its seek slider and the messages of the playback side.
#include <QApplication>
#include <QWindow>
#include <algorithm>
#include <cstdio>

#include "app/CustomFileDialog.h"
#include "app/PlayerDlg.h"
#include "app/QtMessageTarget.h"
#include "app/SeekPreviewPopup.h"
#include "display/VideoWnd.h"
#include "engine/Messages.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/Version.h"
#include "platform/WinTypes.h"
#include "skin/SkinButton.h"
#include "support/LanguageTable.h"
#include "support/OwnerDrawListCtrl.h"
#include "support/SkinSliderCtrl.h"

namespace {

constexpr uint16_t kLangChineseSimplified = 2052;
constexpr const char* kAddFilter = "tvq file(*.tvq)|*.tvq|";
// Room beyond the queued bytes when the hand-over names are read.
constexpr int32_t kHandoverSlackBytes = 100;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Buttons and menus

void CPlayerDlg::OnPlay() {
    m_playlistView->LoadPlayerList();
    EnableStartControls(false);
    StartPlaylist(true);
}

void CPlayerDlg::OnPause() {
    m_player->Pause();
    if (m_playing)
        m_paused = !m_paused;
    PublishState();
}

void CPlayerDlg::OnStop() {
    if (m_playing)
        KeepResumePosition(static_cast<int32_t>(m_player->GetPositionMs() / 1000));
    m_player->Stop();
}

void CPlayerDlg::OnAdd() {
    std::vector<std::string> paths;
    if (m_chooseFiles) {
        paths = m_chooseFiles();
    } else {
        using Dlg = CCustomFileDialog;
        Dlg dialog(true,
                   Dlg::OFN_OVERWRITEPROMPT | Dlg::OFN_HIDEREADONLY | Dlg::OFN_ALLOWMULTISELECT |
                       Dlg::OFN_EXPLORER | Dlg::OFN_NODEREFERENCELINKS,
                   kAddFilter, nullptr, nullptr, nullptr);
        if (dialog.DoModal() == Dlg::IDOK)
            paths = dialog.GetPathNames();
    }
    for (const std::string& path : paths) m_playlistView->AddFileToList(path);
    PublishState();
}

void CPlayerDlg::OnPrevious() {
    if (!m_playing)
        return;
    EnableControls(false, false);
    m_player->Previous();
}

void CPlayerDlg::OnNext() {
    if (!m_playing)
        return;
    EnableControls(false, false);
    m_player->Next();
}

void CPlayerDlg::OnStyle() {
    if (const int id = m_mainSkin->ShowSkinMenu(); id != 0)
        OnCommand(id);
}

void CPlayerDlg::OnCommand(int id) {
    // The playlist's Delete shares its number with the last skin-menu slot and comes first.
    if (id == kDeleteCommand) {
        SetSliderUsable(m_playlistView->DeleteSelected());
        PublishState();
        return;
    }
    if (m_mainSkin->IsSkinCommand(id))
        m_mainSkin->OnSkinCommand(id);
}

void CPlayerDlg::PlaySelected() {
    if (m_busy)
        return;
    const std::string name = m_playlistView->FirstSelectedName();
    // Without a selected entry nothing would clear the busy flag: leave it alone.
    if (name.empty())
        return;
    m_busy = true;
    if (m_playing) {
        EnableControls(false, false);
        m_player->SelectFile(name);
    } else {
        m_playlistView->LoadPlayerList();
        m_player->SelectFile(name);
        EnableStartControls(false);
        StartPlaylist(false);
        EnableControls(false, false);
    }
}

int CPlayerDlg::OnDropFiles(const std::vector<std::string>& paths) {
    const int added = m_playlistView->AddDroppedFiles(paths);
    if (added > 0 && !m_playing)
        OnPlay();
    PublishState();
    return added;
}

// ---------------------------------------------------------------------------------------------
// Control states

void CPlayerDlg::StartPlaylist(bool select) {
    const std::string selected = m_playlistView->FirstSelectedName();
    m_player->Init(m_messageTarget.get(), m_video, select ? 1 : 0);
    m_playing = true;
    m_paused = false;
    m_dragging = false;
    // After a reset the thread plays the first entry already: selecting that entry would only
    // stop it and start it again after the pause between files.
    if (!selected.empty() && select && !IsFirstEntry(selected))
        m_player->SelectFile(selected);
    PublishState();
}

bool CPlayerDlg::IsFirstEntry(const std::string& path) const {
    return m_playlistView->RowCount() > 0 && m_playlistView->PathAt(0) == path;
}

void CPlayerDlg::EnableStartControls(bool on) {
    m_play->setEnabled(on);
    m_style->setEnabled(on);
}

void CPlayerDlg::EnableControls(bool on, bool takeTitle) {
    for (CSkinButton* button : {m_pause, m_stop, m_add, m_next, m_prev}) button->setEnabled(on);
    m_busy = !on;
    if (takeTitle)
        m_playlistView->MarkPlayingItem(m_player->GetCurrentFile());
}

void CPlayerDlg::SetSliderUsable(bool usable) {
    if (usable) {
        m_slider->setEnabled(true);
        m_slider->update();
        return;
    }
    m_slider->setValue(0);
    m_slider->setRange(0, 0);
    m_slider->update();
    m_slider->setEnabled(false);
}

void CPlayerDlg::SliderToMinimum() {
    m_slider->setValue(m_slider->minimum());
    m_slider->update();
}

// ---------------------------------------------------------------------------------------------
// Seek slider

void CPlayerDlg::OnHScroll(int code, int position, int clickX) {
    if (!m_playing)
        return;
    switch (code) {
        case SB_THUMBTRACK: {
            SetDragText(win::ClockText(position));
            m_dragging = true;
            break;
        }
        case SB_THUMBPOSITION:
            ThrottledSeek(position);
            SetDragText("");
            m_dragging = false;
            break;
        case SB_PAGEUP:
        case SB_PAGEDOWN:
            ThrottledSeek(ClickPosition(clickX));
            break;
        default:
            SetDragText("");
            m_dragging = false;
            break;
    }
}

void CPlayerDlg::SeekToSecond(int second) {
    // Through the slider's own seek path, so its throttle and enabled state apply.
    if (!m_playing || !m_slider->isEnabled())
        return;
    ThrottledSeek(std::clamp(second, m_slider->minimum(), m_slider->maximum()));
}

bool CPlayerDlg::OnSliderWheel(int angleDelta) {
    m_sliderWheelDelta += angleDelta;
    const int notches = m_sliderWheelDelta / kWheelNotch;
    m_sliderWheelDelta %= kWheelNotch;
    if (notches != 0)
        SeekToSecond(m_slider->value() + notches * kKeySeekSeconds);
    return true;
}

void CPlayerDlg::ThrottledSeek(int position) {
    const uint32_t now = m_tickCount();
    if (m_lastSliderSeekTick != 0 && now <= m_lastSliderSeekTick + kSeekThrottleMs) {
        m_lastSliderSeekTick = now;  // dropped: seeks come too close together
        return;
    }
    m_lastSliderSeekTick = now;
    if (m_player->SeekTo(position) == 1) {
        m_slider->setEnabled(false);  // WM_SEEKBAR (1, 1) enables it when the seek is done
        emit Seeked(position);
    } else
        OnNext();
}

int CPlayerDlg::ClickPosition(int x) const {
    const int low = m_slider->minimum(), high = m_slider->maximum();
    const QRect channel = m_slider->GetChannelRect();
    const int left = channel.left(), right = channel.left() + channel.width();
    if (right <= left)
        return low;
    const int value = low + (high - low) * (x - left) / (right - left);
    return std::clamp(value, low, high);
}

// ---------------------------------------------------------------------------------------------
// Posted messages

// The one place where the messages' integers become what they mean.
bool CPlayerDlg::OnWinMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    // Published once the message is handled, whatever it changed.
    struct Publish {
        CPlayerDlg* dialog;
        ~Publish() { dialog->PublishState(); }
    } publish{this};
    switch (message) {
        case WM_PLAYLIST_STOPPED:
            OnPlaylistStopped();
            return true;
        case WM_PLAY_POSITION:
            OnPlayPosition(static_cast<int32_t>(wParam));
            return true;
        case WM_PLAY_STATE:
            OnPlayState(PlayStateMessage::From(wParam, lParam));
            return true;
        case WM_SPEED_FORWARD_1X:
        case WM_SPEED_FORWARD_2X:
        case WM_SPEED_FORWARD_4X:
        case WM_SPEED_FORWARD_8X:
        case WM_SPEED_BACKWARD_1X:
        case WM_SPEED_BACKWARD_2X:
        case WM_SPEED_BACKWARD_4X:
        case WM_SPEED_BACKWARD_8X:
            m_player->OnSpeedMessage(message);
            return true;
        case WM_SHOW_PROPERTY:
            m_player->ShowProperties();
            return true;
        case WM_HANDOVER_FILES:
            OnHandoverFiles();
            return true;
        case WM_SEEKBAR:
            if (SeekBarMessage seekBar; SeekBarMessage::From(wParam, lParam, &seekBar))
                OnSeekBar(seekBar);
            return true;
        case WM_PLAY_STARTING:
            if (m_video) {
                m_video->LayoutTitle();
                FitToPicture(m_video->ShownPictureSize());
            }
            return true;
        default:
            return false;
    }
}

PlaybackState CPlayerDlg::State() const {
    PlaybackState state = m_reported;
    state.status = !m_playing ? PlayStatus::Stopped
                   : m_paused ? PlayStatus::Paused
                   : m_busy   ? PlayStatus::Switching
                              : PlayStatus::Playing;
    if (m_playing)
        state.speed = m_player->GetSpeed();
    state.volumePercent = m_prefs->VolumePercent();
    state.muted = m_prefs->Muted();
    state.listEntries = m_playlistView->RowCount();
    return state;
}

void CPlayerDlg::PublishState() {
    PlaybackState now = State();
    if (now == m_published)
        return;
    m_published = now;
    emit StateChanged(now);
}

void CPlayerDlg::OnPlayPosition(int32_t second) {
    m_resumeSecond = second;
    m_reported.positionSeconds = second;
    if (!m_dragging)
        m_slider->setValue(second);  // repaints if the thumb moves
}

void CPlayerDlg::OnPlayState(PlayStateMessage state) {
    if (state.ready && state.fileStarted)
        OnFileStarted(m_player->GetCurrentFile());
    // Controls off: a file switch or a seek is under way, after which the player plays
    // unpaused. Still counted as paused, the next play command would pause it again.
    if (!state.ready)
        m_paused = false;
    EnableControls(state.ready, state.fileStarted);
}

// The same file again is a backward seek's reopening: it keeps its resume entry and its
// preview handle.
void CPlayerDlg::OnFileStarted(const std::string& file) {
    m_reported.file = file;
    if (file != m_resumeFile) {
        KeepResumePosition(m_resumeSecond);
        m_resumeFile = file;
        m_resumeLength = m_player->GetLengthSeconds();
        m_resumeSecond = static_cast<int32_t>(m_player->GetPositionMs() / 1000);
    }
    if (file != m_previewFile) {
        m_previewFile = file;
        m_preview->SetFile(file);
    }
}

void CPlayerDlg::OnSeekBar(SeekBarMessage seekBar) {
    switch (seekBar.command) {
        case SeekBarCommand::Position:
            m_resumeSecond = seekBar.value;
            m_reported.positionSeconds = seekBar.value;
            m_slider->setValue(seekBar.value);
            m_slider->update();
            break;
        case SeekBarCommand::Enable:
            m_slider->setEnabled(seekBar.value != 0);
            break;
        case SeekBarCommand::Range:
            m_resumeLength = seekBar.value;
            m_reported.lengthSeconds = seekBar.value;
            m_slider->setRange(0, seekBar.value);
            m_slider->update();
            m_slider->setPageStep(0);
            break;
    }
}

void CPlayerDlg::OnPlaylistStopped() {
    Trace("stopped");
    KeepResumePosition(m_resumeSecond);
    m_reported = {};
    m_previewFile.clear();
    m_preview->CloseFile();
    EnableStartControls(true);
    m_playing = false;
    m_paused = false;
    m_playlistView->ClearPlayingItem();
    m_dragging = false;
    if (m_video)
        m_video->LeaveFullScreen();
    SliderToMinimum();
}

void CPlayerDlg::OnHandoverFiles() {
    std::string last;
    if (const int32_t count = m_sharedBlock.GetCount(); count >= 1) {
        std::vector<char> buffer(static_cast<size_t>(count) + kHandoverSlackBytes, '\0');
        int32_t length = count;
        if (m_sharedBlock.Read(buffer.data(), length)) {
            buffer[static_cast<size_t>(length)] = '\0';
            // Consecutive zero-terminated names, up to the first empty one.
            for (size_t at = 0; at < static_cast<size_t>(length) && buffer[at] != '\0';) {
                const std::string name(buffer.data() + at);
                if (m_playlistView->AddGivenFile(name))
                    last = name;
                at += name.size() + 1;
            }
        }
    }
    if (!last.empty() && !m_playing) {
        OnPlay();
        if (!IsFirstEntry(last))
            m_player->SelectFile(last);
    }
    // Bring the window forward.
    if (isMinimized()) {
        showNormal();
    } else {
        show();
        raise();
    }
    activateWindow();
}

// ---------------------------------------------------------------------------------------------
// Keyboard

bool CPlayerDlg::OnShortcut(int key, Qt::KeyboardModifiers modifiers) {
    const bool control = (modifiers & Qt::ControlModifier) != 0;
    if (control) {
        if (key != Qt::Key_O)
            return false;
        if (m_add->isEnabled())
            OnAdd();
        return true;
    }
    if ((modifiers & (Qt::AltModifier | Qt::MetaModifier)) != 0)
        return false;
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
            SeekToSecond(m_slider->value() +
                         (key == Qt::Key_Left ? -kKeySeekSeconds : kKeySeekSeconds));
            return true;
        case Qt::Key_F:
            if (m_playing && m_video)
                m_video->ToggleFullScreen();
            return true;
        case Qt::Key_Escape:
            if (m_video && m_video->IsFullScreen())
                m_video->LeaveFullScreen();
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            if (m_video)
                m_video->ZoomIn();
            return true;
        case Qt::Key_Minus:
            if (m_video)
                m_video->ZoomOut();
            return true;
        case Qt::Key_0:
            if (m_video)
                m_video->ZoomReset();
            return true;
        case Qt::Key_Delete:
            OnCommand(kDeleteCommand);
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            // In the playlist the arrows move the selection.
            if (QApplication::focusWidget() == m_list)
                return false;
            SetVolumePercent(VolumePercent() +
                             (key == Qt::Key_Up ? kVolumeStepPercent : -kVolumeStepPercent));
            return true;
        case Qt::Key_M:
            ToggleMute();
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Credits

void CPlayerDlg::OnKeyDown(uint32_t virtualKey) {
    if (m_credits.OnKeyDown(virtualKey))
        ShowCredits();
}

void CPlayerDlg::ShowCredits() {
    std::string caption = "Information";
    std::string text = "TVQ Player V" TVQ_VERSION_TEXT
                       "\n\nWritten by the TVQ Player team.\nBuilt with Qt, SDL and "
                       "libjpeg-turbo.\nThank you for watching!";
    if (win::GetSystemDefaultLangID() == kLangChineseSimplified) {
        caption = "信息";
        text = "TVQ 播放器 V" TVQ_VERSION_TEXT
               "\n\n由 TVQ 播放器团队编写。\n使用 Qt、SDL 和 libjpeg-turbo 构建。\n"
               "感谢观看！";
    }
    win::MessageBox(text, caption, win::MB_OK);
}
