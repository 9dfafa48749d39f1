// The main dialog's life: construction, set-up, the Qt events standing in for its window
// messages, and its end.
#include "app/PlayerDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <QWheelEvent>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/InstanceChannel.h"
#include "app/MoviePropertyDlg.h"
#include "app/QtMessageTarget.h"
#include "app/SeekPreviewPopup.h"
#include "display/VideoWnd.h"
#include "engine/Messages.h"
#include "platform/Paths.h"
#include "platform/Sync.h"
#include "skin/DialogSkin.h"
#include "skin/SkinButton.h"
#include "skin/SkinList.h"
#include "skin/SubclassWnd.h"
#include "support/LanguageTable.h"
#include "support/OwnerDrawListCtrl.h"
#include "support/SkinSliderCtrl.h"

namespace {

constexpr int kUiTitle = 0;
constexpr int kUiAbout = 24;
constexpr int kUiDelete = 30;

// Windows virtual-key code of a Qt key: letters and digits are their upper-case ASCII codes.
uint32_t VirtualKey(int qtKey) {
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) ||
        qtKey == Qt::Key_Space)
        return static_cast<uint32_t>(qtKey);
    return 0;
}

}  // namespace

CPlayerDlg::CPlayerDlg(Options options, QWidget* parent)
    : QDialog(parent),
      m_programFolder(options.programFolder.empty() ? win::ProgramFolder() : options.programFolder),
      m_commandLineFiles(std::move(options.commandLineFiles)),
      m_releaseStartupLock(std::move(options.releaseStartupLock)),
      m_tickCount(options.tickCount ? std::move(options.tickCount)
                                    : std::function<uint32_t()>(win::GetTickCount)),
      m_chooseFiles(std::move(options.chooseFiles)),
      m_availableGeometry(std::move(options.availableGeometry)),
      m_listenForCopies(options.listenForCopies),
      m_trace(options.trace),
      m_settingsFile(win::WritableFolder(m_programFolder) + CSettingsFile::kFileName),
      m_messageTarget(std::make_unique<CQtMessageTarget>(this)),
      m_player(std::move(options.player)) {
    if (!m_player) {
        m_player = std::make_unique<CPlaylistPlayerControl>(
            this, [this] { return m_slider && m_slider->isEnabled(); });
    }
    setAcceptDrops(true);
    CreateControls();
    SetUpListening();
    SetUpPreview();
    m_playlistView = std::make_unique<CPlaylistView>(*m_list, *this);
    m_mainSkin = std::make_unique<CMainSkin>(*this, m_programFolder);
    ConnectControls();
    qApp->installEventFilter(this);
    OnInitDialog();
}

CPlayerDlg::~CPlayerDlg() {
    qApp->removeEventFilter(this);
    OnDestroy();
    // The playlist player's threads use the video window; they end before it does.
    m_player.reset();
}

void CPlayerDlg::OnInitDialog() {
    const CLanguageTable& text = LanguageTable();
    AddWindowMenuItems();
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    m_timer.start(kTimerPeriodMs);
    m_playlistView->SetupColumns();

    // The title is how a second copy finds this one.
    setWindowTitle(QString::fromStdString(text.UIInfo(kUiTitle)));
    if (m_listenForCopies) {
        m_channel = std::make_unique<CInstanceChannel>(
            [this](uint32_t message, uintptr_t, intptr_t) -> intptr_t {
                if (message != WM_HANDOVER_FILES)
                    return 0;
                OnHandoverFiles();
                return 1;
            },
            this);
        m_channel->Listen(text.UIInfo(kUiTitle));
    }
    m_mainSkin->MoveControls();
    AddCommandLineFiles();
    m_mainSkin->ApplyMainSkin();
    if (m_releaseStartupLock)
        m_releaseStartupLock();
    CenterOnScreen(this);
}

void CPlayerDlg::AddCommandLineFiles() {
    int listed = 0;
    for (const std::string& path : m_commandLineFiles)
        if (m_playlistView->AddGivenFile(path))
            ++listed;
    if (listed == 0)
        return;
    // Playback starts at the selected row: the first one given, not the last one added.
    m_playlistView->ClearSelection();
    m_playlistView->FocusRow(0);
    OnPlay();
}

void CPlayerDlg::AddWindowMenuItems() {
    const std::string about = LanguageTable().UIInfo(kUiAbout);
    m_windowMenu = new QMenu(this);
    if (about.empty())
        return;
    QAction* item = m_windowMenu->addAction(QString::fromStdString(about));
    item->setData(kAboutCommand);
    connect(item, &QAction::triggered, this, [this] { OnSysCommand(kAboutCommand); });
    // The skinned frame's own window menu gets the item too.
    if (QMenu* system = CSkinWnd::GetSystemMenu(this)) {
        system->addSeparator();
        QAction* sysItem = system->addAction(QString::fromStdString(about));
        sysItem->setData(kAboutCommand);
    }
    m_mainSkin->Frame().SetSystemCommandHandler([this](unsigned id) { OnSysCommand(id); });
}

int CPlayerDlg::DoModal() {
    const int result = exec();
    OnDestroy();
    return result;
}

void CPlayerDlg::OnDestroy() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    m_timer.stop();
    if (m_channel)
        m_channel->Close();
    if (m_preview)
        m_preview->CloseFile();
    m_player->Shutdown();
    m_messageTarget->Detach();
}

void CPlayerDlg::Trace(const std::string& line) {
    if (!m_trace)
        return;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void CPlayerDlg::RunModal(const EngineReader& withEngine) {
    CMoviePropertyDlg box(withEngine, this);
    box.exec();
}

void CPlayerDlg::ShowAbout() {
    CAboutDlg box(this);
    box.exec();
}

QWidget* CPlayerDlg::SkinVideoWindow() {
    return m_video;
}

void CPlayerDlg::ReloadScope(const std::string&) {
    if (m_video)
        m_video->LoadScopeBitmap();
}

void CPlayerDlg::LoadSettings() {
    // The skin index in the file belongs to the skin list, which decides what an index out of
    // its range means.
    if (m_settingsFile.Load(m_settings) && GetSkinList())
        GetSkinList()->SelectSkin(m_settings.SkinIndex());
}

void CPlayerDlg::SaveSettings() {
    if (GetSkinList())
        m_settings.SetSkinIndex(GetSkinList()->GetCurrent());
    m_settingsFile.Save(m_settings);
}

// ---------------------------------------------------------------------------------------------
// Qt events in place of the window messages

bool CPlayerDlg::event(QEvent* event) {
    if (event->type() == WinMessageEvent::EventType()) {
        const auto* message = static_cast<WinMessageEvent*>(event);
        OnWinMessage(message->message, message->wParam, message->lParam);
        return true;
    }
    return QDialog::event(event);
}

bool CPlayerDlg::eventFilter(QObject* watched, QEvent* event) {
    // This filter is application-wide, so it already met the event on its first send.
    if (CSubclassWnd::IsBeingResent(event))
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        // Every key-down typed into this window meets the credits check first. A key event
        // travels up from the focus widget to its parents; it counts once, at the first
        // widget that gets it.
        QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : this;
        if (watched == first && first->window() == this) {
            auto* key = static_cast<QKeyEvent*>(event);
            OnKeyDown(VirtualKey(key->key()));
            if (OnShortcut(key->key(), key->modifiers()))
                return true;
        }
    } else if (watched == m_client && event->type() == QEvent::Resize && m_mainSkin) {
        // The skinned frame places the client after the window's own resize: the layout
        // grows with the client, so it follows that second step too.
        m_mainSkin->MoveControls();
    } else if (watched == m_slider && event->type() == QEvent::Wheel) {
        return OnSliderWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
    } else if (watched == m_video && event->type() == QEvent::Wheel) {
        return OnVideoWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
    } else if (watched == m_video && event->type() == QEvent::MouseButtonDblClick) {
        // A double click on the video area switches full screen, only while a file plays.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && m_playing)
            m_video->ToggleFullScreen();
    }
    return QDialog::eventFilter(watched, event);
}

void CPlayerDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Esc must not close the player.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CPlayerDlg::closeEvent(QCloseEvent* event) {
    if (!m_destroyed) {
        KeepResumePosition(static_cast<int32_t>(m_player->GetPositionMs() / 1000));
        m_player->Stop();
    }
    QDialog::done(QDialog::Accepted);
    event->accept();
}

void CPlayerDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // Without a skinned frame the client widget is the whole window.
    if (!m_mainSkin || !m_mainSkin->Frame().IsLoaded() || m_mainSkin->AttachPending())
        m_client->setGeometry(rect());
    if (m_mainSkin)
        m_mainSkin->MoveControls();
}

void CPlayerDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The video area has its own menu; elsewhere the window menu stands in for the system
    // menu that Linux window managers do not let a program extend.
    // On the skinned frame (its caption, its borders) the frame opens its own window menu.
    if (!m_client->geometry().contains(event->pos()))
        return;
    const QPoint inClient = m_client->mapFrom(this, event->pos());
    if (m_video->geometry().contains(inClient))
        return;
    if (!m_windowMenu->isEmpty())
        m_windowMenu->exec(event->globalPos());
}

void CPlayerDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CPlayerDlg::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    OnDropFiles(paths);
    event->acceptProposedAction();
}

void CPlayerDlg::ShowPlaylistMenu(QPoint globalPos) {
    QMenu menu(this);
    QAction* remove = menu.addAction(QString::fromStdString(LanguageTable().UIInfo(kUiDelete)));
    remove->setData(kDeleteCommand);
    if (menu.exec(globalPos) == remove)
        OnCommand(kDeleteCommand);
}

void CPlayerDlg::SetDragText(const std::string& text) {
    if (m_video)
        m_video->SetDragText(text);
}

void CPlayerDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0) == kAboutCommand)
        ShowAbout();
}
