#pragma once
// The main player window: the video area, the playlist, the seek slider and seven bitmap
// buttons, the playlist player that does the playing and the reading side of the block through
// which a second copy hands over file names. It turns the user's clicks into commands of the
// playlist player and the messages the playback side posts (engine/Messages.h) into changes
// of its controls. Its look comes from the current skin, its words from the language table.
//
// Threads: everything runs on the user-interface thread; the playback threads reach the
// dialog only through posted messages (CQtMessageTarget).
#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/CreditsCheck.h"
#include "app/PlaybackPrefs.h"
#include "app/PlayerControl.h"
#include "app/PlaylistView.h"
#include "app/SettingsFile.h"
#include "engine/IPropertyPresenter.h"
#include "engine/Messages.h"
#include "skin/MainSkin.h"
#include "support/ResumeStore.h"
#include "support/SharedFileMap.h"

Q_DECLARE_METATYPE(PlaybackState)

class CInstanceChannel;
class CQtMessageTarget;
class CSeekPreviewPopup;
class CSkinButton;
class CSkinSliderCtrl;
class COwnerDrawListCtrl;
class CVideoWnd;
class QMenu;

class CPlayerDlg : public QDialog,
                   public ISkinnedMainDialog,
                   public IPropertyPresenter,
                   public CPlaylistView::Host {
    Q_OBJECT

public:
    // Trackbar scroll codes the slider handler takes.
    enum ScrollCode {
        SB_PAGEUP = 2,
        SB_PAGEDOWN = 3,
        SB_THUMBPOSITION = 4,
        SB_THUMBTRACK = 5,
        SB_OTHER = 8
    };
    static constexpr int kTimerPeriodMs = 150;         // timer 10: title strip and idle repaint
    static constexpr uint32_t kSeekThrottleMs = 1000;  // slider seeks closer than this are dropped
    static constexpr int kAboutCommand = 16;           // window-menu item "About TVQ Player"
    static constexpr int kDeleteCommand = CPlaylistView::kPopupDeleteCommand;
    static constexpr int kKeySeekSeconds = 10;    // Left, Right and a wheel notch on the slider
    static constexpr int kVolumeStepPercent = 5;  // Up, Down and each wheel notch
    static constexpr int kWheelNotch = 120;       // angle delta of one wheel notch (1/8 degree)
    static constexpr int kNoticeMs = 1500;        // how long the volume notice stays up

    struct Options {
        std::string programFolder;  // with a trailing '/'; empty: the program's folder
        // Added in order at start; the first of them that is a movie plays.
        std::vector<std::string> commandLineFiles;
        // Null: a CPlaylistPlayer. Tests give a fake.
        std::unique_ptr<IPlayerControl> player;
        // Releases the application's start-up lock at the end of the set-up.
        std::function<void()> releaseStartupLock;
        // Answer to a second copy under the window title.
        bool listenForCopies = true;
        // GetTickCount; tests drive the slider throttle with their own clock.
        std::function<uint32_t()> tickCount;
        // The add button's file choice; null: the open dialog.
        std::function<std::vector<std::string>()> chooseFiles;
        // Prints the playlist's changes to stdout (TVQ_TRACE=1).
        bool trace = false;
        // The screen room the window may grow into; null: its screen's available geometry.
        std::function<QRect()> availableGeometry;
    };

    explicit CPlayerDlg(Options options, QWidget* parent = nullptr);
    ~CPlayerDlg() override;

    // Runs the dialog until it is closed; then shuts the playlist player down.
    int DoModal();

    // --- commands (buttons, menus) ---
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnAdd();
    void OnPrevious();
    void OnNext() override;
    void OnStyle();
    void OnCommand(int id);
    void OnSysCommand(unsigned id);
    void PlaySelected();
    // Files dropped on the window; returns how many were taken.
    int OnDropFiles(const std::vector<std::string>& paths);
    // WM_HSCROLL from the seek slider; clickX is the cursor's x in the slider for page codes.
    void OnHScroll(int code, int position, int clickX);
    // The window messages of the playback side and WM_HANDOVER_FILES; true when handled.
    bool OnWinMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    void OnHandoverFiles();
    // A key-down before the dialog's own handling (credits word).
    void OnKeyDown(uint32_t virtualKey);
    // The keyboard table (Left/Right, F, Esc, +/-/0, Delete, Up/Down, M, Ctrl+O); true when
    // the key was one of them and is used up. Enter does nothing, and Space is left to the
    // focused control (a focused button is pressed by it).
    bool OnShortcut(int key, Qt::KeyboardModifiers modifiers);

    // --- operations ---
    void StartPlaylist(bool select);
    void EnableStartControls(bool on);
    void EnableControls(bool on, bool takeTitle);
    void SetSliderUsable(bool usable) override;
    void SliderToMinimum();
    int ClickPosition(int x) const;
    void ShowCredits();
    void ShowAbout();
    // A movie of this picture size (as shown) starts: the window grows until the video area
    // holds the picture at its own size, as far as the screen allows (the picture is scaled
    // down to what room there is), and a later smaller picture takes it back towards the size
    // it grew from, never below. Nothing in full screen, maximised or minimised, or without a
    // skin layout; a size the user gave the window meanwhile becomes the size to grow from.
    void FitToPicture(QSize picture);

    // --- state, for the tests ---
    bool IsPlaying() const override { return m_playing; }
    // Pause was pressed (button, key or bus) since the list started and not pressed again.
    bool IsPaused() const { return m_paused; }
    // The slider's seek to a second of the playing file, kept inside the slider's range; does
    // nothing while idle or while an earlier seek runs (the slider is disabled then).
    void SeekToSecond(int second);
    bool IsBusy() const { return m_busy; }
    // Where the player stands now: the playing file as the player's messages reported it,
    // the dialog's status, the engine's pace, the level and the list's size.
    PlaybackState State() const;
    bool IsDragging() const { return m_dragging; }
    int CreditsIndex() const { return m_credits.Index(); }
    CPlaylistView& Playlist() { return *m_playlistView; }
    IPlayerControl& Player() override { return *m_player; }
    CSkinButton* Button(int id) const;
    CVideoWnd* VideoWindow() const { return m_video; }
    QWidget* Client() const { return m_client; }
    // Window-menu items of the dialog's own context menu (ID 16 "About TVQ Player").
    QMenu* WindowMenu() const { return m_windowMenu; }

    // --- volume and resume ---
    int VolumePercent() const { return m_prefs->VolumePercent(); }
    bool IsMuted() const { return m_prefs->Muted(); }
    // Sets the level (clamped to 0 .. 100 %), keeps it in the settings and shows it briefly.
    void SetVolumePercent(int percent);
    void ToggleMute();
    const CResumeStore& ResumeStore() const { return *m_resumeStore; }

    // --- seek preview ---
    CSeekPreviewPopup* SeekPreview() const { return m_preview; }

    // --- ISkinnedMainDialog ---
    QWidget* SkinWindow() override { return this; }
    QWidget* SkinClient() override { return m_client; }
    CSkinButton* SkinButton(int id) override { return Button(id); }
    CSkinSliderCtrl* SkinSlider() override { return m_slider; }
    COwnerDrawListCtrl* SkinPlaylist() override { return m_list; }
    QWidget* SkinVideoWindow() override;
    void ReloadScope(const std::string& skinFolder) override;
    // Writes the settings file, with the skin list's current index.
    void SaveSettings() override;
    const CPlayerSettings& Settings() const { return m_settings; }

    // --- IPropertyPresenter ---
    void RunModal(const EngineReader& withEngine) override;

signals:
    // The state after a command or a message of the player changed it; sent once per change,
    // for a queued connection (PlaybackState is a registered metatype).
    void StateChanged(const PlaybackState& state);
    // A seek to this second was accepted.
    void Seeked(int second);

public slots:
    void accept() override {}  // Enter does not close the dialog
    void reject() override {}  // nor does Esc

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void ConnectControls();
    void OnInitDialog();
    void AddCommandLineFiles();
    // Reads the settings file and selects the skin it names; before the controls are made.
    void LoadSettings();
    // The playback side's messages, as they are meant.
    void OnPlayPosition(int32_t second);
    void OnPlayState(PlayStateMessage state);
    void OnFileStarted(const std::string& file);
    void OnSeekBar(SeekBarMessage seekBar);
    void OnPlaylistStopped();
    void ThrottledSeek(int position);
    // Whether the path is the playlist's first row (the entry a reset playlist plays first).
    bool IsFirstEntry(const std::string& path) const;
    void ShowPlaylistMenu(QPoint globalPos);
    void AddWindowMenuItems();
    void SetDragText(const std::string& text);
    void OnDestroy();
    void Trace(const std::string& line) override;
    // Volume and resume (PlayerDlgListening.cpp).
    void SetUpListening();
    void ApplyVolume(int percent, bool muted);
    bool OnVideoWheel(int angleDelta);
    // Whole wheel notches over the slider seek as Left/Right do; the slider never moves its
    // thumb by itself, so the thumb moves only with a seek that is made.
    bool OnSliderWheel(int angleDelta);
    // Keeps the movie being left in the resume store (when resume is on) and forgets it here.
    void KeepResumePosition(int32_t second);
    // Seek preview (PlayerDlgPreview.cpp).
    void SetUpPreview();
    void OnSliderHover(int x);

    // Set once at construction.
    CSharedFileMapOpener m_sharedBlock;
    std::string m_programFolder;
    std::vector<std::string> m_commandLineFiles;
    std::function<void()> m_releaseStartupLock;
    std::function<uint32_t()> m_tickCount;
    std::function<std::vector<std::string>()> m_chooseFiles;
    std::function<QRect()> m_availableGeometry;
    bool m_listenForCopies;
    bool m_trace;

    // The user's options; the video window and the playlist player read them while it lives.
    CPlayerSettings m_settings;
    CSettingsFile m_settingsFile;
    std::unique_ptr<CQtMessageTarget> m_messageTarget;
    std::unique_ptr<IPlayerControl> m_player;
    std::unique_ptr<CInstanceChannel> m_channel;
    std::unique_ptr<CMainSkin> m_mainSkin;
    std::unique_ptr<CPlaylistView> m_playlistView;

    // Controls, children of the client widget.
    QWidget* m_client = nullptr;
    CVideoWnd* m_video = nullptr;
    CSkinButton* m_play = nullptr;
    CSkinButton* m_pause = nullptr;
    CSkinButton* m_stop = nullptr;
    CSkinButton* m_add = nullptr;
    CSkinButton* m_prev = nullptr;
    CSkinButton* m_next = nullptr;
    CSkinButton* m_style = nullptr;
    CSkinSliderCtrl* m_slider = nullptr;
    COwnerDrawListCtrl* m_list = nullptr;
    QMenu* m_windowMenu = nullptr;
    QTimer m_timer;

    // Dialog state.
    bool m_playing = false;   // the playlist thread was started and has not reported its end
    bool m_paused = false;    // pause toggled an odd number of times while playing
    bool m_busy = false;      // controls disabled for a file switch; blocks double-click play
    bool m_dragging = false;  // the slider thumb is held; playback positions are ignored
    bool m_destroyed = false;
    CCreditsCheck m_credits;
    uint32_t m_lastSliderSeekTick = 0;  // 0: no seek yet
    int m_sliderWheelDelta = 0;         // wheel turn over the slider not yet a whole notch
    // Growing for large pictures: the size the window grew from, and the size last given
    // for a picture (invalid until the window first grows).
    QSize m_fitBaseSize;
    QSize m_fittedSize;

    // Volume and resume.
    std::unique_ptr<CPlaybackPrefs> m_prefs;
    std::shared_ptr<CResumeStore> m_resumeStore;  // shared with the playlist thread's query
    QTimer m_noticeTimer;                         // takes the volume notice down
    int m_wheelDelta = 0;                         // wheel turn not yet a whole notch
    std::string m_resumeFile;                     // the file playing, empty when none
    int32_t m_resumeSecond = 0;                   // its last reported second
    int32_t m_resumeLength = 0;                   // its length in seconds

    // Seek preview: a child of the client, above the slider while the mouse is over it.
    CSeekPreviewPopup* m_preview = nullptr;
    std::string m_previewFile;  // the file it previews, empty when none

    // The file, position and length the player last reported (State() adds the rest), and
    // the state last sent with StateChanged.
    PlaybackState m_reported;
    PlaybackState m_published;
    void PublishState();
};
