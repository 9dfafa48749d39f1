#include "app/PlayerApp.h"

#include <QFileInfo>
#include <cstdlib>
#include <cstring>

#include "app/InstanceChannel.h"
#include "app/MprisService.h"
#include "app/PlayerDlg.h"
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

std::string CPlayerApp::ParseCommandLine(const QStringList& arguments) {
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg.startsWith('-') && arg.size() > 1)
            continue;
        return QFileInfo(arg).absoluteFilePath().toStdString();
    }
    return {};
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
    m_commandLineFile = ParseCommandLine(arguments);

    const std::string title = LanguageTable().UIInfo(kUiTitle);
    if (CInstanceChannel::FindWindow(title)) {
        HandOver(m_commandLineFile);
        return false;
    }
    CPlayerDlg::Options options;
    options.programFolder = m_programFolder;
    options.commandLineFile = m_commandLineFile;
    options.releaseStartupLock = [this] { m_sharedBlock.Unlock(); };
    options.trace = TraceRequested();
    CPlayerDlg dialog(std::move(options));
    // Media keys and the desktop's media widget; without a session bus the player runs alone.
    CMprisService mpris(dialog);
    mpris.Register();
    dialog.DoModal();
    return true;
}

void CPlayerApp::HandOver(const std::string& name) {
    m_sharedBlock.Unlock();
    const std::string title = LanguageTable().UIInfo(kUiTitle);
    if (name.empty()) {
        CInstanceChannel::SendMessage(title, WM_HANDOVER_FILES, 0, 0);
        return;
    }
    const auto length = static_cast<int32_t>(name.size());
    if (!CInstanceChannel::FindWindow(title) || !m_sharedBlock.CanWrite(length))
        return;
    std::vector<char> bytes(name.begin(), name.end());
    bytes.push_back('\0');
    m_sharedBlock.Write(bytes.data(), length + 1);
    CInstanceChannel::SendMessage(title, WM_HANDOVER_FILES, 0, 0);
}

int CPlayerApp::ExitInstance() {
    DeleteSkinList();
    return 0;
}
