#include "app/PlaylistView.h"

#include <QString>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/PlayerControl.h"
#include "engine/TvqDecoder.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/WinTypes.h"
#include "support/LanguageTable.h"
#include "support/OwnerDrawListCtrl.h"

namespace {

// Language-table entries of the list.
constexpr int kUiFileName = 27;
constexpr int kUiTime = 49;
constexpr int kTitleError = 0;
constexpr int kDebugCannotOpen = 1;
// How many bytes past the header the length needs: it sits at 84..87.
constexpr size_t kBytesAfterHeader = 60;

bool SamePath(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

std::string Format(const std::string& format, const std::string& arg) {
    // The language file may carry any text: only a single "%s" is filled in.
    std::string out = format;
    if (const size_t at = out.find("%s"); at != std::string::npos)
        out.replace(at, 2, arg);
    return out;
}

}  // namespace

CPlaylistView::CPlaylistView(COwnerDrawListCtrl& list, Host& host) : m_list(list), m_host(host) {}

void CPlaylistView::SetupColumns() {
    const CLanguageTable& text = LanguageTable();
    m_list.InsertColumn(0, text.UIInfo(kUiFileName), COwnerDrawListCtrl::LVCFMT_LEFT,
                        kFileNameColumnWidth);
    m_list.InsertColumn(1, text.UIInfo(kUiTime), COwnerDrawListCtrl::LVCFMT_LEFT, kTimeColumnWidth);
    m_list.SetExtendedStyle(COwnerDrawListCtrl::LVS_EX_GRIDLINES |
                            COwnerDrawListCtrl::LVS_EX_FULLROWSELECT);
    m_list.DeleteAllItems();
}

bool CPlaylistView::IsTvqHeader(const uint8_t* header) {
    static const uint8_t kExpected[kHeaderBytes] = {'R', 'I', 'F', 'F', 0,   0,   0,   0,  'T', 'V',
                                                    'Q', ' ', 'L', 'I', 'S', 'T', 0,   0,  0,   0,
                                                    'h', 'd', 'r', 'l', 't', 'v', 'q', 'h'};
    return header && std::memcmp(header, kExpected, kHeaderBytes) == 0;
}

int32_t CPlaylistView::ReadMovieLength(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    uint8_t bytes[kHeaderBytes + kBytesAfterHeader];
    const bool ok =
        std::fread(bytes, 1, kHeaderBytes, file) == kHeaderBytes && IsTvqHeader(bytes) &&
        std::fread(bytes + kHeaderBytes, 1, kBytesAfterHeader, file) == kBytesAfterHeader;
    std::fclose(file);
    if (!ok)
        return -1;
    const uint8_t* time = bytes + kLengthOffset;
    const int32_t hours = static_cast<int16_t>(time[2] | (time[3] << 8));
    const int32_t length = time[0] + 60 * (time[1] + 60 * hours);
    // A writer that never finished leaves no length: measure the whole seconds it did write,
    // as the decoder will play them. Finished files cost the one header read above.
    return length > 0 ? length : CTvqDecoder::MeasureMovieLength(path);
}

std::string CPlaylistView::FormatTime(int32_t seconds) {
    return win::ClockText(seconds);
}

void CPlaylistView::ClearSelection() {
    m_list.ClearSelection();
}

int CPlaylistView::FindRow(const std::string& path) const {
    for (int row = 0; row < m_list.GetItemCount(); ++row)
        if (SamePath(m_list.GetItemText(row, 0), path))
            return row;
    return -1;
}

void CPlaylistView::FocusRow(int row) {
    m_list.EnsureVisible(row);
    m_list.SetSelected(row, true);
    m_list.setFocus();
}

bool CPlaylistView::ReportRefused(const std::string& path) {
    std::error_code error;
    const char* why = std::filesystem::exists(path, error) ? "not a .tvq movie" : "no such file";
    std::fprintf(stderr, "tvqplayer: %s: %s\n", path.c_str(), why);
    return false;
}

bool CPlaylistView::CheckGivenFile(const std::string& path) {
    return ReadMovieLength(path) > 0 || ReportRefused(path);
}

bool CPlaylistView::AddGivenFile(const std::string& path) {
    return AddFileToList(path) || ReportRefused(path);
}

bool CPlaylistView::AddFileToList(const std::string& path) {
    ClearSelection();
    if (const int row = FindRow(path); row >= 0) {
        FocusRow(row);
        if (const int32_t length = ReadMovieLength(path); length > 0)
            m_list.SetItemText(row, 1, FormatTime(length));
        return true;
    }
    const int32_t length = ReadMovieLength(path);
    if (length <= 0)
        return false;
    const int row = m_list.InsertItem(m_list.GetItemCount(), path);
    if (row < 0)
        return false;
    m_list.SetItemText(row, 1, FormatTime(length));
    if (m_host.IsPlaying())
        m_host.Player().AddFile(path);
    FocusRow(row);
    m_host.SetSliderUsable(true);
    m_host.Trace("added " + path);
    return true;
}

int CPlaylistView::AddDroppedFiles(const std::vector<std::string>& paths) {
    int counted = 0;
    for (const std::string& path : paths) {
        if (path.size() > static_cast<size_t>(win::MAX_PATH))
            continue;
        const size_t dot = path.rfind('.');
        if (dot == std::string::npos)
            continue;
        if (QString::fromStdString(path.substr(dot + 1)).compare("tvq", Qt::CaseInsensitive) != 0)
            continue;
        AddFileToList(path);
        ++counted;
    }
    return counted;
}

bool CPlaylistView::DeleteSelected() {
    const std::vector<int> rows = m_list.GetSelectedRows();  // ascending
    std::vector<std::string> names;
    names.reserve(rows.size());
    for (int row : rows) names.push_back(m_list.GetItemText(row, 0));
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) m_list.DeleteItem(*it);
    for (const std::string& name : names) m_host.Trace("removed " + name);

    if (m_host.IsPlaying() && !names.empty() && m_host.Player().RemoveFiles(names) == 1) {
        ClearPlayingItem();
        m_host.OnNext();
    }
    // After the list has ended the player still names the file it played last; no row plays.
    if (m_host.IsPlaying())
        MarkPlayingItem(m_host.Player().GetCurrentFile());
    return m_list.GetItemCount() > 0;
}

bool CPlaylistView::AddToPlayer(const std::string& path) {
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        m_host.Player().AddFile(path);
        return true;
    }
    const CLanguageTable& text = LanguageTable();
    win::MessageBox(Format(text.DebugInfo(kDebugCannotOpen), path), text.TitleInfo(kTitleError),
                    win::MB_ICONERROR);
    return false;
}

void CPlaylistView::LoadPlayerList() {
    IPlayerControl& player = m_host.Player();
    player.ClearList();
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        if (!AddToPlayer(m_list.GetItemText(row, 0))) {
            player.ClearList();
            return;
        }
    }
}

void CPlaylistView::MarkPlayingItem(const std::string& name) {
    const int row = FindRow(name);
    if (row < 0)
        return;
    if (m_list.GetCurrentRow() != row)
        m_host.Trace("playing " + m_list.GetItemText(row, 0));
    m_list.SetCurrentRow(row);
}

void CPlaylistView::ClearPlayingItem() {
    m_list.SetCurrentRow(-1);
}

std::string CPlaylistView::FirstSelectedName() const {
    const std::vector<int> rows = m_list.GetSelectedRows();
    return rows.empty() ? std::string() : m_list.GetItemText(rows.front(), 0);
}

int CPlaylistView::RowCount() const {
    return m_list.GetItemCount();
}

std::string CPlaylistView::PathAt(int row) const {
    return m_list.GetItemText(row, 0);
}
