#include "app/PlayerApp.h"

#include <QFileInfo>
#include <cstdlib>
#include <cstring>

#include "app/InstanceChannel.h"
#include "app/MprisService.h"
#include "app/PlayerDlg.h"
#include "app/PlaylistView.h"
#include "engine/Messages.h"
#include "platform/Paths.h"
#include "skin/SkinList.h"
#include "support/LanguageTable.h"

namespace {

constexpr int kUiTitle = 0;
constexpr int kUiSkinEntries = 67;
CPlayerApp* g_app = nullptr;

}  // namespace

CPlayerApp* GetPlayerApp() {
    return g_app;
}

CPlayerApp::CPlayerApp() {
    g_app = this;
}

CPlayerApp::~CPlayerApp() {
    if (g_app == this)
        g_app = nullptr;
}

std::vector<std::string> CPlayerApp::ParseCommandLine(const QStringList& arguments) {
    std::vector<std::string> files;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg.startsWith('-') && arg.size() > 1)
            continue;
        files.push_back(QFileInfo(arg).absoluteFilePath().toStdString());
    }
    return files;
}

bool CPlayerApp::TraceRequested() {
    const char* trace = std::getenv("TVQ_TRACE");
    return trace && std::strcmp(trace, "1") == 0;
}

bool CPlayerApp::InitInstance(const QStringList& arguments) {
    // Waits while another copy is inside its start-up, so that its window can be found below.
    m_sharedBlock.Lock();
    m_programFolder = win::ProgramFolder();
    LanguageTable().LoadLanguageFile(m_programFolder);
    CreateSkinList(LanguageTable().UIInfo(kUiSkinEntries));
    m_commandLineFiles = ParseCommandLine(arguments);

    const std::string title = LanguageTable().UIInfo(kUiTitle);
    if (CInstanceChannel::FindWindow(title)) {
        HandOver(m_commandLineFiles);
        return false;
    }
    CPlayerDlg::Options options;
    options.programFolder = m_programFolder;
    options.commandLineFiles = m_commandLineFiles;
    options.releaseStartupLock = [this] { m_sharedBlock.Unlock(); };
    options.trace = TraceRequested();
    CPlayerDlg dialog(std::move(options));
    // Media keys and the desktop's media widget; without a session bus the player runs alone.
    CMprisService mpris(dialog);
    mpris.Register();
    dialog.DoModal();
    return true;
}

void CPlayerApp::HandOver(const std::vector<std::string>& names) {
    m_sharedBlock.Unlock();
    const std::string title = LanguageTable().UIInfo(kUiTitle);
    std::vector<std::string> movies;
    for (const std::string& name : names)
        if (CPlaylistView::CheckGivenFile(name))
            movies.push_back(name);
    if (movies.empty()) {
        // Nothing to add: the running copy is only brought forward.
        CInstanceChannel::SendMessage(title, WM_HANDOVER_FILES, 0, 0);
        return;
    }
    if (!CInstanceChannel::FindWindow(title))
        return;
    // Each name is one entry of the block; a full block keeps the names written so far.
    for (const std::string& name : movies) {
        const auto length = static_cast<int32_t>(name.size());
        std::vector<char> bytes(name.begin(), name.end());
        bytes.push_back('\0');
        if (!m_sharedBlock.CanWrite(length) || !m_sharedBlock.Write(bytes.data(), length + 1))
            break;
    }
    CInstanceChannel::SendMessage(title, WM_HANDOVER_FILES, 0, 0);
}

int CPlayerApp::ExitInstance() {
    DeleteSkinList();
    return 0;
}
